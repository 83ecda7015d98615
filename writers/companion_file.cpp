#include "io/fields.hpp"
#include "writers/checked_fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

std::string companion_name(const std::string& outfile) {
  std::string name(trim_right(outfile));
  name.resize(name.size() > 4 ? name.size() - 4 : 0);
  return name + ".fos";
}

namespace {

constexpr std::string_view kOutput = "the companion file";

// The three lines that give the amplitudes and E; with time-of-flight data the E line also
// names the histogram, the bank, the phase and the bank's 2theta. IAMP is 0 or 1 (the
// settings refuse anything else).
void write_amplitude_block(Run& run, const std::string& etext) {
  const Store& s = run.store;
  OutputFile& out = run.companion;
  auto setting = [&](std::string_view name) { return setting_origin(run, name); };
  std::string line;
  CheckedLine fields(line, kOutput);
  if (s.IAMP == 1) {
    out.write_line(s.LTOF ? "# Total SA b+ & b-                 lambda0"
                          : "# Positive amplitude  Negative amplitude");
    int w = s.LTOF ? 15 : 20, d = s.LTOF ? 3 : 4;
    fields.F(s.AMPPOS, w, d, "the positive amplitude", setting);
    fields.F(s.AMPNEG, w, d, "the negative amplitude", setting);
  } else {
    out.write_line(s.LTOF ? "# Positive amplitude   Negative" : "# Positive amplitude    Negative");
    fields.F(s.AMPPOS, 20, 4, "the positive amplitude", setting);
    put_F(line, 0.0, 12, 6);  // the negative amplitude is not used with IAMP 0
  }
  out.write_line(line);

  line = "# E =";
  line += etext;
  if (s.LTOF) {
    line += ",  histogram =";
    fields.I(s.IHIST, 3, "the histogram number", setting);
    line += ",  nbank =";
    fields.I(s.NBANK, 3, "the bank number", setting);
    line += ", Phase No. =";
    fields.I(s.IPHASE, 3, "the phase number", setting);
    line += s.IAMP == 1 ? ", 2theta =" : ",  2theta =";
    fields.F(s.TWOTH, 7, 2, "2theta of the bank", setting);
  } else {
    line += ", Phase No. =";
    fields.I(s.IPHASE, 3, "the phase number", setting);
  }
  out.write_line(line);
}

}  // namespace

void write_companion_file(Run& run) {
  const Store& s = run.store;
  run.FOSFILE = companion_name(run.OUTFILE);
  run.companion.create(run.FOSFILE);
  OutputFile& out = run.companion;
  std::string line;
  auto setting = [&](std::string_view name) { return setting_origin(run, name); };

  write_title_cell_pop(run, out, kOutput, line);

  out.write_line("#  NX   NY   NZ  SPG  SET  VOL");
  line.clear();
  CheckedLine grid(line, kOutput);
  grid.I(s.NX, 5, "NX", setting);
  grid.I(s.NY, 5, "NY", setting);
  grid.I(s.NZ, 5, "NZ", setting);
  grid.I(s.SPG, 5, "SPG", setting);
  grid.I(s.SET, 5, "SET", setting);
  put_X(line, 4);
  line += s.VOL;
  out.write_line(line);

  out.write_line("# s");
  out.write_line("  1.000000E-01  0.000000E-08");

  run.LINE = e_text(s.E);
  write_amplitude_block(run, run.LINE);

  // Every reflection on its own line, in the order the reader gave them: with overlap groups
  // formed from the source, their members as well.
  const bool grouped = !s.source_order.empty();
  const auto listed = grouped ? static_cast<std::int64_t>(s.source_order.size()) : s.NREF1;
  out.write_line("# NREF1");
  line.clear();
  CheckedLine(line, kOutput).I(listed, 5, "the number of reflections", setting);
  out.write_line(line);

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)         |Fo|          Io           tof"
        "      Wavelength       d");
  } else {
    out.write_line("#   h    k    l          Fo(r)          Fo(i)        |Fo|          Io");
  }
  for (std::int64_t j = 1; j <= listed; ++j) {
    const auto i = static_cast<std::size_t>(grouped ? s.source_order[j - 1] : j);
    auto reflection = [&](std::string_view name) { return reflection_origin(run, i, name); };
    line.clear();
    CheckedLine r(line, kOutput);
    r.I(s.H[i], 5, "h", reflection);
    r.I(s.K[i], 5, "k", reflection);
    r.I(s.L[i], 5, "l", reflection);
    r.F(s.FoR[i], 15, 4, "Fo(r)", reflection);
    r.F(s.FoI[i], 15, 4, "Fo(i)", reflection);
    r.F(s.FoAbs[i], 15, 4, "|Fo|", reflection);
    if (s.LTOF) {
      r.G(s.Io[i], 14, 6, 1, "Io", reflection);
      r.G(s.Tof[i], 14, 6, 1, "the time of flight", reflection);
      r.F(s.Wavelength[i], 12, 4, "the wavelength", reflection);
      r.F(s.Dspacing[i], 8, 4, "d", reflection);
    } else {
      r.G(s.Io[i] * 1.0e-10, 14, 6, 1, "Io", reflection);
    }
    out.write_line(line);
  }

  out.write_line("# NREF2");
  out.write_line("    0");
  out.write_line("# NREF3");
  out.write_line("    0");
  out.write_line("#   h    k    l");
}

}  // namespace memprep
