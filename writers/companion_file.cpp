#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

std::string companion_name(const std::string& outfile) {
  std::string name(trim_right(outfile));
  name.resize(name.size() > 4 ? name.size() - 4 : 0);
  return name + ".fos";
}

namespace {

// The three lines that give the amplitudes and E; with time-of-flight data the E line also
// names the histogram, the bank, the phase and the bank's 2theta. IAMP is 0 or 1 (the
// settings refuse anything else).
void write_amplitude_block(Run& run, const std::string& etext) {
  const Store& s = run.store;
  OutputFile& out = run.companion;
  std::string line;
  if (s.IAMP == 1) {
    out.write_line(s.LTOF ? "# Total SA b+ & b-                 lambda0"
                          : "# Positive amplitude  Negative amplitude");
    int w = s.LTOF ? 15 : 20, d = s.LTOF ? 3 : 4;
    put_F(line, s.AMPPOS, w, d);
    put_F(line, s.AMPNEG, w, d);
  } else {
    out.write_line(s.LTOF ? "# Positive amplitude   Negative" : "# Positive amplitude    Negative");
    put_F(line, s.AMPPOS, 20, 4);
    put_F(line, 0.0, 12, 6);  // the negative amplitude is not used with IAMP 0
  }
  out.write_line(line);

  line = "# E =";
  line += etext;
  if (s.LTOF) {
    line += ",  histogram =";
    put_I(line, s.IHIST, 3);
    line += ",  nbank =";
    put_I(line, s.NBANK, 3);
    line += ", Phase No. =";
    put_I(line, s.IPHASE, 3);
    line += s.IAMP == 1 ? ", 2theta =" : ",  2theta =";
    put_F(line, s.TWOTH, 7, 2);
  } else {
    line += ", Phase No. =";
    put_I(line, s.IPHASE, 3);
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

  write_title_cell_pop(out, s, line);

  out.write_line("#  NX   NY   NZ  SPG  SET  VOL");
  line.clear();
  for (std::int64_t v : {s.NX, s.NY, s.NZ, s.SPG, s.SET}) put_I(line, v, 5);
  put_X(line, 4);
  line += s.VOL;
  out.write_line(line);

  out.write_line("# s");
  out.write_line("  1.000000E-01  0.000000E-08");

  run.LINE = e_text(s.E);
  write_amplitude_block(run, run.LINE);

  out.write_line("# NREF1");
  line.clear();
  put_I(line, s.NREF1, 5);
  out.write_line(line);

  if (s.LTOF) {
    out.write_line(
        "#   h    k    l          Fo(r)          Fo(i)         |Fo|          Io           tof"
        "      Wavelength       d");
  } else {
    out.write_line("#   h    k    l          Fo(r)          Fo(i)        |Fo|          Io");
  }
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    std::size_t i = static_cast<std::size_t>(j);
    line.clear();
    put_I(line, s.H[i], 5);
    put_I(line, s.K[i], 5);
    put_I(line, s.L[i], 5);
    put_F(line, s.FoR[i], 15, 4);
    put_F(line, s.FoI[i], 15, 4);
    put_F(line, s.FoAbs[i], 15, 4);
    if (s.LTOF) {
      put_G(line, s.Io[i], 14, 6, 1);
      put_G(line, s.Tof[i], 14, 6, 1);
      put_F(line, s.Wavelength[i], 12, 4);
      put_F(line, s.Dspacing[i], 8, 4);
    } else {
      put_G(line, s.Io[i] * 1.0e-10, 14, 6, 1);
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
