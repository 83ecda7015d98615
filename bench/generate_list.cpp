// Writes a refinement list file with N reflections and the control file that converts it:
//   memprep_gen_list DIR N VARIANT
// VARIANT pxc (X-ray), pnc (neutron, two phases with phase fractions) or pnt (neutron time
// of flight, with a profile dump of 100000 points). Writes DIR/run.ctl and DIR/bench.lst.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

constexpr int kProfilePoints = 100000;
constexpr int kPageLines = 60;

std::string format(const char* fmt, auto... v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, v...);
  return buf;
}

struct Random {
  std::uint64_t state = 88172645463325252ull;
  double uniform() {  // in [0, 1)
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
  int below(int n) { return static_cast<int>(uniform() * n); }
};

std::string title(const char* name) {
  return format(" %-33s%s   listing\n", "refinement suite", name);
}

std::string structure() {
  std::string s = " The atomic and magnetic scattering factors for  2 atom types\n";
  s += " Type  b         a1       b1       a2       b2       a3       b3       a4       b4"
       "       c\n";
  s += " Si        0.4149   6.2915   2.4386   3.0353  32.3337   1.9891   0.6785   1.5410  "
       "81.6937   1.1407\n";
  s += " <  magnetic form factors not used\n";
  s += " O         0.5803   3.0485  13.2771   2.2868   5.7011   1.5463   0.3239   0.8670  "
       "32.9089   0.2508\n";
  s += " Type seq  Name        mult          frac      x          y          z\n";
  const char* atoms[][2] = {{"Si", "0.0000"}, {"O ", "0.1250"}, {"Si", "0.5000"}};
  for (auto& a : atoms)
    s += format(" %s                    8         1.0000     %s     %s     %s\n", a[0], a[1], a[1],
                a[1]);
  s += "\n Lattice parameters are not constrained\n";
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: memprep_gen_list DIR N pxc|pnc|pnt\n";
    return 2;
  }
  const std::string dir = argv[1];
  const long n = std::atol(argv[2]);
  const std::string variant = argv[3];
  if (variant != "pxc" && variant != "pnc" && variant != "pnt") {
    std::cerr << "memprep_gen_list: VARIANT is pxc, pnc or pnt\n";
    return 2;
  }
  const bool tof = variant == "pnt";
  const char* dtype = variant == "pxc" ? "PXC" : variant == "pnc" ? "PNC" : "PNT";

  std::ofstream ctl(dir + "/run.ctl");
  // E scales the time-of-flight intensities, as large as the profile makes them, so that
  // every sigma(|Fo|) shows in its field.
  ctl << "bench.lst\nbench.mem\nGenerated " << dtype << " list file\nF 227\n"
      << (tof ? "1.0e-6" : "1.0") << "\n64 64 64\n1\n"
      << "0 0               # amplitudes from the structure\n1.540560\n1\n1\n";
  if (variant == "pxc") ctl << "0.5 0.8\n";
  if (tof) ctl << "30.0 90.0 145.0 /\n5000 0 0\n";
  if (!ctl) {
    std::cerr << "memprep_gen_list: cannot write " << dir << "/run.ctl\n";
    return 1;
  }

  std::string s;
  s.reserve(static_cast<std::size_t>(n) * 125 + (tof ? kProfilePoints * 90 : 0) + 4096);
  s += title("GENLES") + structure();
  s += " Diffractometer constants for powder data:\n Hst  Type   Lambda\n";
  s += format("  1  %s  %9.7f   0.000\n", dtype, tof ? 0.0 : 1.54056);
  if (tof) s += " Hstgm  1 PNT   3  bank data\n";
  s += " Reduced CHI**2 =     1.234   for  12 variables\n";
  if (variant == "pnc") {
    for (int phase = 1; phase <= 2; ++phase)
      s += format(" Phase/element fractions for phase no.%3d\n", phase) +
           " ----------------------------------------\n Hist:    1\n" +
           format(" Frac:  %10.6f\n", phase == 1 ? 0.75 : 0.25);
  }
  s += " Histogram scale factors:\n     1.2345\n";
  s += "                 a         b         c       alpha     beta      gamma\n";
  s += " Values:     5.431020  5.431020  5.431020    90.000    90.000    90.000\n";
  s += title("REFLIST");
  s += " Histogram  1 data  from the sample   phase 1\n";
  s += "     h  k  l mul code    d-space   Fosq      sig       Fcsq      FCsq    phase\n";

  Random rnd;
  for (long i = 0; i < n; ++i) {
    if (i > 0 && i % kPageLines == 0)
      s += "1" + std::string(67, ' ') + "REFLIST\n page title\n Hstgm  1 continued\n";
    // d from 0.8 (above half the X-ray wavelength) to 4.0 in steps of 1e-4: many
    // reflections share a wavelength.
    const double d = 0.8 + rnd.below(32000) * 1e-4;
    const double e1 = 1e2 + rnd.uniform() * 1e5, e3 = 1e1 + rnd.uniform() * 1e4;
    const double phi = rnd.below(2) * 180.0;
    const int code = variant == "pnc" && i % 5 == 4 ? 2021 : 1021;
    s += format("      %3d%3d%3d%4d%5d%8.5f%10.3E%10.3E%10.3E%10.3E%6.1f%10.4f%10.4f%10.4f%10.4f\n",
                rnd.below(20), rnd.below(20), rnd.below(20), 1 + rnd.below(48), code, d, e1, 1.0,
                e3, e3 * 1.01, phi, 0.0, 0.0, 0.0, 0.0);
  }
  s += "\n";

  if (tof) {
    // Times of flight 5 d for d from 0.8 to 4.0: a profile from 2 to 22.
    s += title("HSTDMP");
    s += " RecNo   TOF       Iobs    Icalc    Multiplier      bkg     Factor          Div\n";
    for (int r = 1; r <= kProfilePoints; ++r) {
      if (r % kPageLines == 0) s += "1" + std::string(33, ' ') + "HSTDMP\n page title\n RecNo\n";
      const double t = 2.0 + 20.0 * (r - 1) / kProfilePoints;
      s += format("%6d  %10.5f%8.2f%12.3f%16.6E%8.2f%16.6E%8.3f\n", r, t, 1.0, 2.0,
                  1e10 * (1 + rnd.uniform()), 3.0, 4.0, 0.5 + rnd.uniform());
    }
  }

  std::ofstream lst(dir + "/bench.lst", std::ios::binary);
  lst << s;
  if (!lst) {
    std::cerr << "memprep_gen_list: cannot write " << dir << "/bench.lst\n";
    return 1;
  }
  return 0;
}
