// memprep_gen_cif DIR N: writes DIR/run.ctl and DIR/bench.fcf, a list-code-6 reflection
// file of N reflections in P 1 21 1 (Fo², sigma(Fo²), Fcalc and phase), with Friedel mates
// and 2-fold equivalents among them, so that the merging step does its work, and some
// Fo² at or below 0.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: memprep_gen_cif DIR N\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long n = std::atol(argv[2]);
  std::ofstream ctl(dir + "/run.ctl");
  ctl << "bench.fcf\n-\nbench.mem\n-\n-\n1.0\n64 64 64\n0.71073\n1234.0\n";
  std::ofstream out(dir + "/bench.fcf");
  out << "data_bench\n_shelx_refln_list_code 6\nloop_\n _space_group_symop_id\n"
         " _space_group_symop_operation_xyz\n 1 x,y,z\n 2 -x,y+1/2,-z\n\n"
         "_space_group_IT_number 4\n_space_group_name_H-M_alt 'P 1 21 1'\n"
         "_cell_length_a 17.7727(9)\n_cell_length_b 18.7216(11)\n_cell_length_c 20.8637(11)\n"
         "_cell_angle_alpha 90\n_cell_angle_beta 102.983(11)\n_cell_angle_gamma 90\n\n"
         "loop_\n _refln_index_h\n _refln_index_k\n _refln_index_l\n _refln_F_squared_meas\n"
         " _refln_F_squared_sigma\n _refln_F_calc\n _refln_phase_calc\n";
  char line[128];
  long written = 0;
  for (int h = -40; h <= 40 && written < n; ++h)
    for (int k = -40; k <= 40 && written < n; ++k)
      for (int l = 0; l <= 40 && written < n; ++l) {
        if (h == 0 && k == 0 && l == 0) continue;
        if (h == 0 && l == 0 && k % 2 != 0) continue;  // absent
        const double x = std::sin(0.37 * h + 1.1 * k - 0.53 * l) + std::cos(0.19 * h * k);
        const double fc = 2.0 + 30.0 * x * x;
        const double f2 = fc * fc * (1.0 + 0.05 * std::sin(7.0 * h + l)) - 20.0;
        const double sigma = 1.0 + 0.03 * std::abs(f2);
        const double phase = std::fmod(37.0 * h + 53.0 * k + 11.0 * l, 360.0) - 180.0;
        std::snprintf(line, sizeof line, "%d %d %d %.3f %.3f %.3f %.3f\n", h, k, l, f2, sigma, fc,
                      phase);
        out << line;
        ++written;
      }
  return written == n ? 0 : 1;
}
