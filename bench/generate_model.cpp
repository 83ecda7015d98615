// memprep_gen_model DIR N [ATOMS]: writes DIR/run.ctl and DIR/bench.out, a FullProf output
// of neutron data at a fixed wavelength whose phase prints its model whole: ATOMS atoms (50
// by default) in general positions of P m -3 m (48 operations) and a reflection table of N
// unique reflections whose Icalc is the model's Mult |F|^2 LP, so that the conversion takes
// |Fo| and the phases from the model (the control file's auxiliary file is "-").
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "crystal/crystal.hpp"

namespace {

std::string fixed(double v, int w, int d) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.*f", w, d, v);
  return buf;
}

std::string integer(long long v, int w) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%*lld", w, v);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: memprep_gen_model DIR N [ATOMS]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long long n = std::atoll(argv[2]);
  const int atoms = argc > 3 ? std::atoi(argv[3]) : 50;
  const double a = 25.0, lambda = 0.7, b_fm = 5.803;

  memprep::crystal::Model model;
  model.cell = {a, a, a, 90, 90, 90};
  memprep::crystal::SymmetryGiven given;
  given.number = 221;
  model.group = memprep::crystal::space_group(given);
  model.radiation = memprep::crystal::Radiation::neutron;
  std::string initial, cycle;
  unsigned seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return 0.02 + 0.46 * static_cast<double>((seed >> 8) % 100000) / 100000.0;
  };
  for (int i = 0; i < atoms; ++i) {
    memprep::crystal::Atom at;
    at.label = "O" + std::to_string(i + 1);
    at.type = "O";
    at.xyz = {next(), next(), next()};
    at.B_iso = 0.5;
    at.b_fm = b_fm;
    model.atoms.push_back(at);
    std::string label = at.label;
    label.resize(7, ' ');
    initial += " " + label + "O              " + fixed(at.xyz[0], 10, 5) + fixed(at.xyz[1], 10, 5) +
               fixed(at.xyz[2], 10, 5) + fixed(0.5, 10, 5) + fixed(1.0, 10, 5) +
               "           0    0    1   48\n";
    cycle += " " + label + " " + fixed(at.xyz[0], 8, 5) + " 0.00000 0.00000 " +
             fixed(at.xyz[1], 8, 5) + " 0.00000 0.00000 " + fixed(at.xyz[2], 8, 5) +
             " 0.00000 0.00000  0.50000 0.00000 0.00000  1.00000 0.00000 0.00000\n";
  }
  memprep::crystal::StructureFactors sf(model);

  std::string out = " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:  1\n\n";
  out += " => Global Refinement of neutron powder data\n => Title: model benchmark\n\n";
  out += " => Phase  No. 1\n       bench\n =>-------> Data for PHASE: 1\n";
  out += " => Crystal Structure Refinement\n";
  out += " => Symmetry information on space group: P m -3 m\n";
  out += " -> The multiplicity of the general position is:  48\n";
  out += " =>   Number of Space group: 221\n =>  Hermann-Mauguin Symbol: P m -3 m\n";
  out += " =>             Hall Symbol: -P 4 2 3\n\n => Initial parameters ==>\n";
  out +=
      " Atom    Ntyp                  X         Y         Z         B         occ.         in"
      "  fin  Spc  Mult\n";
  out += "                             B11       B22       B33       B12       B13       B23\n";
  out += initial + "\n";
  out += "    The given occupation factors have been obtained mutiplying m/M by   1.0000\n";
  out += " => Direct cell parameters:\n\n";
  out += "         a =      25.0000      b =      25.0000      c =      25.0000\n";
  out += "     alpha =       90.000   beta =       90.000  gamma =       90.000\n\n";
  out += " => Scattering lengths:\n\n O      0.5803\n\n";
  out += " => CYCLE No.:    1\n => Phase  1 Name: bench\n";
  out += " => New parameters, shifts, and standard deviations\n\n";
  out +=
      " Atom        x       dx      sx       y       dy      sy       z       dz      sz       B"
      "       dB      sB      occ.    docc.   socc.\n\n";
  out += cycle + "\n";
  out += " ==> PROFILE PARAMETERS FOR PATTERN#  1\n\n => Cell parameters: \n";
  for (double c : {a, a, a, 90.0, 90.0, 90.0})
    out += fixed(c, 15, 6) + "    0.000000    0.000000\n";
  out += "\n ------------------------------------------------------------\n";
  out += " Pattern#  1 Phase No.:   1 Phase name: bench\n";
  out += " ------------------------------------------------------------\n\n";

  // The unique reflections of m-3m, h >= k >= l >= 0, by increasing |h|, as far as they have
  // a Bragg angle.
  struct Hkl {
    int h, k, l;
    double d;
  };
  std::vector<Hkl> list;
  for (int h = 1; static_cast<long long>(list.size()) < n && h < 200; ++h)
    for (int k = 0; k <= h; ++k)
      for (int l = 0; l <= k; ++l) {
        const double d = a / std::sqrt(double(h * h + k * k + l * l));
        if (lambda / (2 * d) < 0.98) list.push_back({h, k, l, d});
      }
  if (static_cast<long long>(list.size()) > n) list.resize(static_cast<std::size_t>(n));
  const std::string heading =
      "   No.  Code     H   K   L  Mult     Hw         2theta      Icalc       Iobs      Sigma";
  const double pi = std::acos(-1.0);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i % 60 == 0) out += heading + "\n\n";
    const Hkl& r = list[i];
    const auto info = memprep::crystal::reflection_info(model.group, model.cell, r.h, r.k, r.l);
    const double f = std::abs(sf(r.h, r.k, r.l));
    const double s = lambda / (2 * r.d), theta = std::asin(s);
    const double lp = 1 / (s * s * std::cos(theta));
    const double icalc = 1e-3 * info.multiplicity * f * f * lp + 0.05;
    std::string line = integer(static_cast<long long>(i + 1), 7) + integer(1, 4);
    line.resize(14, ' ');
    line += integer(r.h, 4) + integer(r.k, 4) + integer(r.l, 4) + integer(info.multiplicity, 6);
    line += fixed(0.08, 10, 6) + fixed(2 * theta * 180 / pi, 12, 3);
    line.resize(54, ' ');
    line += fixed(icalc, 11, 1) + fixed(icalc * 1.02, 11, 1) + fixed(std::sqrt(icalc + 1), 11, 3);
    out += line + "\n";
  }
  out += "\n     -----------------------------------------------------\n";
  out += "     BRAGG R-Factors and weight fractions for Pattern #  1\n";
  out += "     -----------------------------------------------------\n\n";
  out += " => Run finished at:     Date: 01/01/2026\n";

  const std::string ctl = "bench.out\n-\nbench.mem\nModel benchmark\nP 221\n1.0\n64 64 64\n0\n" +
                          fixed(48.0 * atoms * b_fm, 0, 3) + "\n" + fixed(lambda, 0, 5) +
                          "\n1\n1\n";
  std::ofstream o(dir + "/bench.out", std::ios::binary), c(dir + "/run.ctl", std::ios::binary);
  o << out;
  c << ctl;
  o.close();
  c.close();
  if (!o || !c) {
    std::fprintf(stderr, "memprep_gen_model: cannot write in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
