// The MEM data set: title, cell, the fixed POP line, symmetry and grid, the amplitude
// block, and one line per reflection with its sigma(|Fo|). Every number must fit its field.
#include "io/fields.hpp"
#include "io/ordered_output.hpp"
#include "writers/record.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

constexpr std::string_view kOutput = "the MEM data set";

constexpr Origin kCell = Origin::of(Setting::cell);
constexpr Origin kAmplitudes = Origin::of(Setting::amplitudes);
constexpr Origin kHistogram = Origin::of(Setting::histogram);
constexpr Origin kPhase = Origin::of(Setting::phase);

// The three lines of the amplitude block. With one amplitude (IAMP 0) only the positive
// one is written; the labels of the time-of-flight E line differ between the two forms.
void write_amplitude_block(Run& run, std::string& line) {
  const Store& s = run.store;
  OutputFile& out = run.mem;
  constexpr Origin kLambda1 = Origin::of(Setting::lambda1);
  if (s.IAMP == 1) {
    out.write_line("# Positive amplitude  Negative amplitude    lambda1");
    write_record(run, out, kOutput, F(s.AMPPOS, 20, 4, "the positive amplitude", kAmplitudes),
                 F(s.AMPNEG, 20, 4, "the negative amplitude", kAmplitudes),
                 F(s.LAMBDA1, 11, 6, "lambda1", kLambda1));
  } else {
    out.write_line("# Positive amplitude    lambda1");
    write_record(run, out, kOutput, F(s.AMPPOS, 20, 4, "the positive amplitude", kAmplitudes),
                 F(s.LAMBDA1, 12, 6, "lambda1", kLambda1));
  }

  const bool two = s.IAMP == 1;
  line.assign("# E =");
  put_A(line, e_text(s.E));
  if (s.LTOF)
    put_fields(run, kOutput, line, A(",  histogram ="),
               I(s.IHIST, 3, "the histogram number", kHistogram),
               A(two ? ", nbank =" : ",  nbank ="), I(s.NBANK, 3, "the bank number", kHistogram),
               A(", Phase No. ="), I(s.IPHASE, 3, "the phase number", kPhase),
               A(two ? ", 2theta =" : ",  2theta ="),
               F(s.TWOTH, 7, 2, "2theta of the bank", Origin::of(Setting::bank_angle)));
  else
    put_fields(run, kOutput, line, A(", Phase No. ="), I(s.IPHASE, 3, "the phase number", kPhase));
  out.write_line(line);
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
  write_record(run, out, output, F(s.CELL[0], 10, 5, "the cell length a", kCell),
               F(s.CELL[1], 10, 5, "the cell length b", kCell),
               F(s.CELL[2], 10, 5, "the cell length c", kCell),
               F(s.CELL[3], 10, 5, "the cell angle alpha", kCell),
               F(s.CELL[4], 10, 5, "the cell angle beta", kCell),
               F(s.CELL[5], 10, 5, "the cell angle gamma", kCell));

  out.write_line("#          POP1           POP2  IPTYP  JPH  JPK  JPL");
  write_record(run, out, output, F(0.0, 15, 7), F(0.0, 15, 7), I(-1, 7), I(0, 5), I(0, 5), I(0, 5),
               X(6), A("P"));
}

void write_mem_data_set(Run& run) {
  const Store& s = run.store;
  OutputFile& out = run.mem;
  std::string line;
  line.reserve(160);

  write_title_cell_pop(run, out, kOutput, line);

  constexpr Origin kSymmetry = Origin::of(Setting::symmetry), kGrid = Origin::of(Setting::grid);
  out.write_line("# SPG  SET   NX   NY   NZ");
  write_record(run, out, kOutput, I(s.SPG, 5, "SPG", kSymmetry), I(s.SET, 5, "SET", kSymmetry),
               I(s.NX, 5, "NX", kGrid), I(s.NY, 5, "NY", kGrid), I(s.NZ, 5, "NZ", kGrid));

  write_amplitude_block(run, line);

  out.write_line("# NREF1");
  write_record(run, out, kOutput,
               I(s.NREF1, 5, "the number of reflections", Origin::count_of_reflections()));

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|"
        "          Io     Wavelength         d");
    write_in_order(out, static_cast<std::size_t>(s.NREF1), [&](ChunkText& text, std::size_t j) {
      const std::size_t i = j + 1;
      const Origin r = Origin::reflection(i);
      write_record(run, text, kOutput, I(s.H[i], 5, "h", r), I(s.K[i], 5, "k", r),
                   I(s.L[i], 5, "l", r), F(s.FoR[i], 15, 4, "Fo(r)", r),
                   F(s.FoI[i], 15, 4, "Fo(i)", r),
                   uncertainty(F(s.SigFo[i], 15, 4, "sigma(|Fo|)", r)),
                   F(s.FoAbs[i], 15, 4, "|Fo|", r), X(4), G(s.Io[i], 12, 6, "Io", r), X(1),
                   F(s.Wavelength[i], 10, 4, "the wavelength", r), F(s.Dspacing[i], 10, 4, "d", r));
    });
  } else {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)           |Fo|      Io");
    write_in_order(out, static_cast<std::size_t>(s.NREF1), [&](ChunkText& text, std::size_t j) {
      const std::size_t i = j + 1;
      const Origin r = Origin::reflection(i);
      write_record(run, text, kOutput, I(s.H[i], 5, "h", r), I(s.K[i], 5, "k", r),
                   I(s.L[i], 5, "l", r), F(s.FoR[i], 15, 3, "Fo(r)", r),
                   F(s.FoI[i], 15, 3, "Fo(i)", r),
                   uncertainty(F(s.SigFo[i], 15, 3, "sigma(|Fo|)", r)),
                   F(s.FoAbs[i], 15, 3, "|Fo|", r), PG(s.Io[i] * 1.0e-10, 12, 4, "Io", r));
    });
  }
}

}  // namespace memprep
