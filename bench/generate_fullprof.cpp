// memprep_gen_fullprof DIR N VARIANT: writes DIR/run.ctl, DIR/bench.out (a FullProf output
// file with a reflection table of N lines) and DIR/bench.amp (its auxiliary file of
// amplitudes and phase angles). VARIANT chooses the data and the table heading:
//   xray  X-ray data, heading of the three-blank form with five blanks before "Hw"
//   v1 v2 v3 v4  X-ray data under that heading form (v3 is the same as xray)
//   etam  neutron data at a fixed wavelength under the heading with an ETA/M column
//   tof   time-of-flight data under the three-blank heading, bank 1 at 144.845 degrees
// Every line has Mult, Hw, the peak position and Sigma, in the columns of its layout, and the
// auxiliary file |F|calc: the peaks rise by 0.06 and 0.01 in turn, FWHM 0.08, so that with
// --overlap-fwhm 0.5 a third of the reflections come in pairs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void put_int(std::string& out, long long v, int w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%*lld", w, v);
  out += buf;
}

void put_fixed(std::string& out, double v, int w, int d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
  out += buf;
}

void pad_to(std::string& s, std::size_t start, std::size_t col) {
  if (s.size() - start < col - 1) s.append(col - 1 - (s.size() - start), ' ');
}

bool write(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
  f.close();
  if (!f) std::fprintf(stderr, "memprep_gen_fullprof: cannot write %s\n", path.c_str());
  return static_cast<bool>(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: memprep_gen_fullprof DIR N VARIANT (xray v1 v2 v3 v4 etam tof)\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long long n = std::atoll(argv[2]);
  const std::string variant = argv[3];
  if (n < 0) {
    std::fprintf(stderr, "memprep_gen_fullprof: N must not be negative\n");
    return 2;
  }

  // Heading, start column of H, of Icalc, and of d (time of flight).
  std::string heading;
  std::size_t hcol = 15, icol = 55, dcol = 0;
  const bool tof = variant == "tof";
  if (variant == "v1") {
    heading = " No.  Code     H   K   L  Mult      Hw     2theta      Icalc       Iobs      Sigma";
    hcol = 13, icol = 63;
  } else if (variant == "v2") {
    heading = " No.  Code     H   K   L  Mult     Hw     2theta      Icalc       Iobs      Sigma";
    hcol = 13, icol = 53;
  } else if (variant == "v3" || variant == "xray") {
    heading =
        "   No.  Code     H   K   L  Mult     Hw         2theta      Icalc       Iobs      Sigma";
  } else if (variant == "v4") {
    heading =
        "   No.  Code     H   K   L  Mult      Hw         2theta      Icalc       Iobs      Sigma";
  } else if (variant == "etam") {
    heading =
        "   No.  Code     H   K   L  Mult      Hw      ETA/M    2theta/TOF     Icalc       Iobs"
        "      Sigma";
    icol = 65;
  } else if (tof) {
    heading =
        "   No.  Code     H   K   L  Mult     Hw     2theta/TOF      Icalc       Iobs      Sigma"
        "    HwG     HwL     ETA     d-hkl";
    icol = 55, dcol = 112;
  } else {
    std::fprintf(stderr, "memprep_gen_fullprof: unknown variant %s\n", variant.c_str());
    return 2;
  }

  std::string out;
  out.reserve(static_cast<std::size_t>(n) * 130 + 4096);
  out += " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:  1\n\n";
  if (tof)
    out += " => Global Refinement of neutron powder data\n => Neutron Time-Of-Flight data\n";
  else if (variant == "etam")
    out += " => Global Refinement of neutron powder data\n => Title: benchmark\n";
  else
    out += " => Global Refinement of X-ray powder data\n => Title: benchmark\n";
  out += "\n";
  for (int cycle = 1; cycle <= 3; ++cycle) {
    out += " => CYCLE No.:    " + std::to_string(cycle) + "\n";
    out += " => Phase  1 Name: benchmark\n";
    out += " ==> PROFILE PARAMETERS FOR PATTERN#  1\n\n";
    out += " => Cell parameters: \n";
    for (double c : {12.3456, 12.3456, 12.3456, 90.0, 90.0, 90.0}) {
      put_fixed(out, c + 0.0001 * cycle * (c < 50), 15, 6);
      out += "    0.000000    0.000000\n";
    }
    out += "\n";
  }
  out += " ------------------------------------------------------------\n";
  out += " Pattern#  1 Phase No.:   1 Phase name: benchmark\n";
  out += " ------------------------------------------------------------\n\n";

  std::string amp = " Phase no.:   1\n";
  amp.reserve(static_cast<std::size_t>(n) * 50 + 64);
  double position = 10.0;
  for (long long i = 1; i <= n; ++i) {
    if ((i - 1) % 60 == 0) out += heading + "\n\n";
    long long h = i % 41 - 20, k = (i / 41) % 41 - 20, l = (i / 1681) % 61 - 30;
    double icalc = 0.1 * static_cast<double>((i * 7919) % 9999991);
    double iobs = (i % 97 == 0) ? 0.0 : icalc * 1.03 + 0.4;
    std::size_t start = out.size();
    put_int(out, i, hcol == 13 ? 6 : 7);
    put_int(out, 1, 4);
    pad_to(out, start, hcol);
    put_int(out, h, 4);
    put_int(out, k, 4);
    put_int(out, l, 4);
    put_int(out, 8, 6);
    put_fixed(out, 0.08, 10, 6);
    if (variant == "etam") put_fixed(out, 0.5, 10, 4);
    position += i % 3 == 0 ? 0.01 : 0.06;
    put_fixed(out, position, 12, 3);
    pad_to(out, start, icol);
    put_fixed(out, icalc, 11, 1);
    put_fixed(out, iobs, 11, 1);
    put_fixed(out, std::sqrt(icalc + 1), 11, 3);  // counting statistics
    if (dcol) {
      pad_to(out, start, dcol);
      put_fixed(out, 0.3 + 3.0 / static_cast<double>(1 + i % 500), 10, 6);
    }
    out += "\n";

    put_int(amp, h, 4);
    put_int(amp, k, 4);
    put_int(amp, l, 4);
    put_fixed(amp, 0.5 + 0.01 * static_cast<double>(i % 100000), 12, 4);
    put_fixed(amp, 0.49 + 0.01 * static_cast<double>(i % 100000), 12, 4);
    put_fixed(amp, static_cast<double>((i * 37) % 360), 12, 4);
    amp += "\n";
  }
  out += "\n     -----------------------------------------------------\n";
  out += "     BRAGG R-Factors and weight fractions for Pattern #  1\n";
  out += "     -----------------------------------------------------\n\n";
  out += " => Run finished at:     Date: 01/01/2026\n";

  std::string ctl = "bench.out\nbench.amp\nbench.mem\nBenchmark: " + std::to_string(n) +
                    " reflections\nF 229\n1.0\n64 64 64\n1\n112.0 -8.5\n1.540560\n1\n1\n";
  if (tof) ctl += "144.845\n";
  ctl += "10.0\n";

  if (!write(dir + "/bench.out", out) || !write(dir + "/bench.amp", amp) ||
      !write(dir + "/run.ctl", ctl))
    return 1;
  return 0;
}
