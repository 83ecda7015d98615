#include "io/fields.hpp"
#include "io/ordered_output.hpp"
#include "writers/record.hpp"
#include "writers/writers.hpp"

namespace memprep {

// Beside the MEM data set: its extension (from the last "." of the file's own name, not
// its first character) replaced by ".fos", or ".fos" appended when it has none.
std::string companion_name(const std::string& outfile) {
  std::string name(trim_right(outfile));
  const std::size_t slash = name.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > base) name.resize(dot);
  return name + ".fos";
}

namespace {

constexpr std::string_view kOutput = "the companion file";

constexpr Origin kAmplitudes = Origin::of(Setting::amplitudes);
constexpr Origin kHistogram = Origin::of(Setting::histogram);
constexpr Origin kPhase = Origin::of(Setting::phase);

// The three lines that give the amplitudes and E; with time-of-flight data the E line also
// names the histogram, the bank, the phase and the bank's 2theta. IAMP is 0 or 1 (the
// settings refuse anything else).
void write_amplitude_block(Run& run, const std::string& etext, std::string& line) {
  const Store& s = run.store;
  OutputFile& out = run.companion;
  if (s.IAMP == 1) {
    out.write_line(s.LTOF ? "# Total SA b+ & b-                 lambda0"
                          : "# Positive amplitude  Negative amplitude");
    const int w = s.LTOF ? 15 : 20, d = s.LTOF ? 3 : 4;
    write_record(run, out, kOutput, F(s.AMPPOS, w, d, "the positive amplitude", kAmplitudes),
                 F(s.AMPNEG, w, d, "the negative amplitude", kAmplitudes));
  } else {
    out.write_line(s.LTOF ? "# Positive amplitude   Negative" : "# Positive amplitude    Negative");
    // The negative amplitude is not used with IAMP 0.
    write_record(run, out, kOutput, F(s.AMPPOS, 20, 4, "the positive amplitude", kAmplitudes),
                 F(0.0, 12, 6));
  }

  line = "# E =";
  line += etext;
  if (s.LTOF)
    put_fields(
        run, kOutput, line, A(",  histogram ="), I(s.IHIST, 3, "the histogram number", kHistogram),
        A(",  nbank ="), I(s.NBANK, 3, "the bank number", kHistogram), A(", Phase No. ="),
        I(s.IPHASE, 3, "the phase number", kPhase), A(s.IAMP == 1 ? ", 2theta =" : ",  2theta ="),
        F(s.TWOTH, 7, 2, "2theta of the bank", Origin::of(Setting::bank_angle)));
  else
    put_fields(run, kOutput, line, A(", Phase No. ="), I(s.IPHASE, 3, "the phase number", kPhase));
  out.write_line(line);
}

}  // namespace

void write_companion_file(Run& run) {
  const Store& s = run.store;
  run.FOSFILE = companion_name(run.OUTFILE);
  run.companion.create(run.FOSFILE);
  OutputFile& out = run.companion;
  std::string line;

  write_title_cell_pop(run, out, kOutput, line);

  constexpr Origin kSymmetry = Origin::of(Setting::symmetry), kGrid = Origin::of(Setting::grid);
  out.write_line("#  NX   NY   NZ  SPG  SET  VOL");
  write_record(run, out, kOutput, I(s.NX, 5, "NX", kGrid), I(s.NY, 5, "NY", kGrid),
               I(s.NZ, 5, "NZ", kGrid), I(s.SPG, 5, "SPG", kSymmetry),
               I(s.SET, 5, "SET", kSymmetry), X(4), A(std::string_view(&s.VOL, 1)));

  out.write_line("# s");
  out.write_line("  1.000000E-01  0.000000E-08");

  run.LINE = e_text(s.E);
  write_amplitude_block(run, run.LINE, line);

  // Every reflection on its own line, in the order the reader gave them: with overlap groups
  // formed from the source, their members as well.
  const bool grouped = !s.source_order.empty();
  const auto listed = grouped ? static_cast<std::int64_t>(s.source_order.size()) : s.NREF1;
  out.write_line("# NREF1");
  write_record(run, out, kOutput,
               I(listed, 5, "the number of reflections", Origin::count_of_reflections()));

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)         |Fo|          Io           tof"
        "      Wavelength       d");
  } else {
    out.write_line("#   h    k    l          Fo(r)          Fo(i)        |Fo|          Io");
  }
  write_in_order(out, static_cast<std::size_t>(listed), [&](ChunkText& text, std::size_t j) {
    const auto i = grouped ? static_cast<std::size_t>(s.source_order[j]) : j + 1;
    const Origin r = Origin::reflection(i);
    if (s.LTOF)
      write_record(run, text, kOutput, I(s.H[i], 5, "h", r), I(s.K[i], 5, "k", r),
                   I(s.L[i], 5, "l", r), F(s.FoR[i], 15, 4, "Fo(r)", r),
                   F(s.FoI[i], 15, 4, "Fo(i)", r), F(s.FoAbs[i], 15, 4, "|Fo|", r),
                   PG(s.Io[i], 14, 6, "Io", r), PG(s.Tof[i], 14, 6, "the time of flight", r),
                   F(s.Wavelength[i], 12, 4, "the wavelength", r), F(s.Dspacing[i], 8, 4, "d", r));
    else
      write_record(run, text, kOutput, I(s.H[i], 5, "h", r), I(s.K[i], 5, "k", r),
                   I(s.L[i], 5, "l", r), F(s.FoR[i], 15, 4, "Fo(r)", r),
                   F(s.FoI[i], 15, 4, "Fo(i)", r), F(s.FoAbs[i], 15, 4, "|Fo|", r),
                   PG(s.Io[i] * 1.0e-10, 14, 6, "Io", r));
  });

  out.write_line("# NREF2");
  out.write_line("    0");
  out.write_line("# NREF3");
  out.write_line("    0");
  out.write_line("#   h    k    l");
}

}  // namespace memprep
