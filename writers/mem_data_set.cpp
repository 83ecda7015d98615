// The MEM data set: title, cell, the fixed POP line, symmetry and grid, the amplitude
// block, and one line per reflection with its sigma(|Fo|). Every number must fit its field.
#include <cmath>

#include "io/fields.hpp"
#include "writers/checked_fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

constexpr std::string_view kOutput = "the MEM data set";

// The three lines of the amplitude block. With one amplitude (IAMP 0) only the positive
// one is written; the labels of the time-of-flight E line differ between the two forms.
void write_amplitude_block(Run& run, std::string& line) {
  const Store& s = run.store;
  const bool two = s.IAMP == 1;
  auto setting = [&](std::string_view name) { return setting_origin(run, name); };

  run.mem.write_line(two ? "# Positive amplitude  Negative amplitude    lambda1"
                         : "# Positive amplitude    lambda1");
  line.clear();
  CheckedLine out(line, kOutput);
  out.F(s.AMPPOS, 20, 4, "the positive amplitude", setting);
  if (two) out.F(s.AMPNEG, 20, 4, "the negative amplitude", setting);
  out.F(s.LAMBDA1, two ? 11 : 12, 6, "lambda1", setting);
  run.mem.write_line(line);

  line.assign("# E =");
  put_A(line, e_text(s.E));
  if (s.LTOF) {
    put_A(line, ",  histogram =");
    out.I(s.IHIST, 3, "the histogram number", setting);
    put_A(line, two ? ", nbank =" : ",  nbank =");
    out.I(s.NBANK, 3, "the bank number", setting);
    put_A(line, ", Phase No. =");
    out.I(s.IPHASE, 3, "the phase number", setting);
    put_A(line, two ? ", 2theta =" : ",  2theta =");
    out.F(s.TWOTH, 7, 2, "2theta of the bank", setting);
  } else {
    put_A(line, ", Phase No. =");
    out.I(s.IPHASE, 3, "the phase number", setting);
  }
  run.mem.write_line(line);
}

// A sigma(|Fo|) above 0 that its field would show as 0.000 gives the reflection an
// infinite weight all the same.
void require_visible_sigma(const Run& run, std::size_t i, std::string_view field, int w, int d) {
  // A written field holds blanks, a sign, digits and the point: any digit 1-9 is a visible
  // value. The last columns, the decimals, mostly tell at once.
  for (std::size_t c = field.size(); c > 0; --c)
    if (field[c - 1] >= '1' && field[c - 1] <= '9') return;
  const ValueOrigin at = reflection_origin(run, i, "sigma(|Fo|)");
  std::string what = at.where + ": " + at.what + " = " + number_text(run.store.SigFo[i]) +
                     " is written as " + std::string(field.substr(field.find_first_not_of(' '))) +
                     " in its field F" + std::to_string(w) + "." + std::to_string(d) +
                     ", a zero uncertainty";
  if (run.options.sigma == RunOptions::Sigma::counting) {
    what += "; E = " + number_text(run.store.E);
    if (!run.origin.E.empty()) what += " (" + run.origin.E + ")";
    what += " is too large for this reflection";
  } else {
    what += " from the table's Sigma of Iobs";
  }
  throw IoFailure("", 0, what);
}

}  // namespace

std::string e_text(double e) {
  std::string text;
  put_G(text, e, 13, 6, 1);
  return std::string(trim_right(text));
}

void write_title_cell_pop(const Run& run, OutputFile& out, std::string_view output,
                          std::string& line) {
  const Store& s = run.store;
  out.write_line("# Title");
  line.assign(trim_right(s.TITLE));  // a blank title gives an empty line
  out.write_line(line);

  out.write_line("#        a         b         c     alpha      beta     gamma");
  line.clear();
  CheckedLine cell(line, output);
  static const char* const names[] = {"the cell length a",   "the cell length b",
                                      "the cell length c",   "the cell angle alpha",
                                      "the cell angle beta", "the cell angle gamma"};
  for (int i = 0; i < 6; ++i)
    cell.F(s.CELL[static_cast<std::size_t>(i)], 10, 5, names[i],
           [&](std::string_view name) { return setting_origin(run, name); });
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
  auto setting = [&](std::string_view name) { return setting_origin(run, name); };

  write_title_cell_pop(run, out, kOutput, line);

  out.write_line("# SPG  SET   NX   NY   NZ");
  line.clear();
  CheckedLine grid(line, kOutput);
  grid.I(s.SPG, 5, "SPG", setting);
  grid.I(s.SET, 5, "SET", setting);
  grid.I(s.NX, 5, "NX", setting);
  grid.I(s.NY, 5, "NY", setting);
  grid.I(s.NZ, 5, "NZ", setting);
  out.write_line(line);

  write_amplitude_block(run, line);

  out.write_line("# NREF1");
  line.clear();
  CheckedLine(line, kOutput).I(s.NREF1, 5, "the number of reflections", setting);
  out.write_line(line);

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|"
        "          Io     Wavelength         d");
  } else {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|      Io");
  }

  const int d = s.LTOF ? 4 : 3;
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const auto i = static_cast<std::size_t>(j);
    auto reflection = [&](std::string_view name) { return reflection_origin(run, i, name); };
    line.clear();
    CheckedLine r(line, kOutput);
    r.I(s.H[i], 5, "h", reflection);
    r.I(s.K[i], 5, "k", reflection);
    r.I(s.L[i], 5, "l", reflection);
    r.F(s.FoR[i], 15, d, "Fo(r)", reflection);
    r.F(s.FoI[i], 15, d, "Fo(i)", reflection);
    const std::size_t sigma_at = line.size();
    r.F(s.SigFo[i], 15, d, "sigma(|Fo|)", reflection);
    require_visible_sigma(run, i, std::string_view(line).substr(sigma_at), 15, d);
    r.F(s.FoAbs[i], 15, d, "|Fo|", reflection);
    if (s.LTOF) {
      put_X(line, 4);
      r.G(s.Io[i], 12, 6, 0, "Io", reflection);
      put_X(line, 1);
      r.F(s.Wavelength[i], 10, 4, "the wavelength", reflection);
      r.F(s.Dspacing[i], 10, 4, "d", reflection);
    } else {
      r.G(s.Io[i] * 1.0e-10, 12, 4, 1, "Io", reflection);
    }
    out.write_line(line);
  }
}

}  // namespace memprep
