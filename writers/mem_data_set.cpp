// The MEM data set: title, cell, the fixed POP line, symmetry and grid, the amplitude
// block, and one line per reflection with sigma(|Fo|) derived from E and Io.
#include <cmath>

#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

std::string e_text(double e) {
  std::string text;
  put_G(text, e, 13, 6, 1);
  return std::string(trim_right(text));
}

namespace {

// The three lines of the amplitude block. With one amplitude (IAMP 0) only the positive
// one is written; the labels of the time-of-flight E line differ between the two forms.
void write_amplitude_block(Run& run, std::string& line) {
  const Store& s = run.store;
  const bool two = s.IAMP == 1;

  run.mem.write_line(two ? "# Positive amplitude  Negative amplitude    lambda1"
                         : "# Positive amplitude    lambda1");
  line.clear();
  if (two) {
    put_F(line, s.AMPPOS, 20, 4);
    put_F(line, s.AMPNEG, 20, 4);
    put_F(line, s.LAMBDA1, 11, 6);
  } else {
    put_F(line, s.AMPPOS, 20, 4);
    put_F(line, s.LAMBDA1, 12, 6);
  }
  run.mem.write_line(line);

  line.assign("# E =");
  put_A(line, e_text(s.E));
  if (s.LTOF) {
    put_A(line, ",  histogram =");
    put_I(line, s.IHIST, 3);
    put_A(line, two ? ", nbank =" : ",  nbank =");
    put_I(line, s.NBANK, 3);
    put_A(line, ", Phase No. =");
    put_I(line, s.IPHASE, 3);
    put_A(line, two ? ", 2theta =" : ",  2theta =");
    put_F(line, s.TWOTH, 7, 2);
  } else {
    put_A(line, ", Phase No. =");
    put_I(line, s.IPHASE, 3);
  }
  run.mem.write_line(line);
}

}  // namespace

void write_title_cell_pop(OutputFile& out, const Store& s, std::string& line) {
  out.write_line("# Title");
  line.assign(trim_right(s.TITLE));  // a blank title gives an empty line
  out.write_line(line);

  out.write_line("#        a         b         c     alpha      beta     gamma");
  line.clear();
  for (double v : s.CELL) put_F(line, v, 10, 5);
  out.write_line(line);

  out.write_line("#          POP1           POP2  IPTYP  JPH  JPK  JPL");
  line.clear();
  put_F(line, 0.0, 15, 7);
  put_F(line, 0.0, 15, 7);
  put_I(line, -1, 7);
  for (int i = 0; i < 3; ++i) put_I(line, 0, 5);
  put_X(line, 6);
  put_A(line, "P");
  out.write_line(line);
}

void write_mem_data_set(Run& run) {
  const Store& s = run.store;
  OutputFile& out = run.mem;
  std::string line;
  line.reserve(160);

  write_title_cell_pop(out, s, line);

  out.write_line("# SPG  SET   NX   NY   NZ");
  line.clear();
  for (std::int64_t v : {s.SPG, s.SET, s.NX, s.NY, s.NZ}) put_I(line, v, 5);
  out.write_line(line);

  write_amplitude_block(run, line);

  out.write_line("# NREF1");
  line.clear();
  put_I(line, s.NREF1, 5);
  out.write_line(line);

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|"
        "          Io     Wavelength         d");
  } else {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|      Io");
  }

  for (std::int64_t i = 1; i <= s.NREF1; ++i) {
    // sigma(|Fo|) = |Fo| / (2 sqrt(E Io')), in this order of operations. Io' = 0 gives an
    // infinity, a negative E or Io' a NaN; both are written as such.
    double t = s.E * s.Io[i];
    if (!s.LTOF) t = t * 1.0e-10;
    const double sigma = (0.5 * s.FoAbs[i]) * std::sqrt(1.0 / t);

    line.clear();
    put_I(line, s.H[i], 5);
    put_I(line, s.K[i], 5);
    put_I(line, s.L[i], 5);
    if (s.LTOF) {
      for (double v : {s.FoR[i], s.FoI[i], sigma, s.FoAbs[i]}) put_F(line, v, 15, 4);
      put_X(line, 4);
      put_G(line, s.Io[i], 12, 6);
      put_X(line, 1);
      put_F(line, s.Wavelength[i], 10, 4);
      put_F(line, s.Dspacing[i], 10, 4);
    } else {
      for (double v : {s.FoR[i], s.FoI[i], sigma, s.FoAbs[i]}) put_F(line, v, 15, 3);
      put_G(line, s.Io[i] * 1.0e-10, 12, 4, 1);
    }
    out.write_line(line);
  }
}

}  // namespace memprep
