// Writes a benchmark run for an earlier MEM data set as the source:
//   memprep_gen_zmemin DIR N
// DIR/run.ctl and DIR/bench.zmemin with N reflections in all: single reflections and a few
// thousand overlap groups whose members count against the same total. A few reflections
// with Fo(r) = Fo(i) = 0 and a few groups with G'o' = 0 are added; the program leaves
// them out, so they are not counted in N.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace {

// A small deterministic generator, so that every run benchmarks the same file.
struct Lcg {
  std::uint64_t state = 0x2545F4914F6CDD1DULL;
  double uniform() {  // in [0, 1)
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;
  }
};

struct Indices {
  int h = 0, k = 0, l = 0;
  // The next (h, k, l) in a fixed sweep of -20..20, leaving out 0 0 0.
  void advance() {
    do {
      if (++l > 20) {
        l = -20;
        if (++k > 20) {
          k = -20;
          if (++h > 20) h = -20;
        }
      }
    } while (h == 0 && k == 0 && l == 0);
  }
};

std::string reflection(const Indices& i, double fr, double fi, double sig) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%5d%5d%5d%15.4f%15.4f%15.4f\n", i.h, i.k, i.l, fr, fi, sig);
  return buf;
}

std::string member(const Indices& i, int m) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%5d%5d%5d%9d\n", i.h, i.k, i.l, m);
  return buf;
}

std::string closing(double go, double sum) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "} %14.4f %14.4f\n", go, sum);
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: memprep_gen_zmemin DIR N\n";
    return 2;
  }
  const std::string dir = argv[1];
  const long long n = std::atoll(argv[2]);
  if (n < 0 || n > 100000) {
    std::cerr << "memprep_gen_zmemin: N must be 0 to 100000\n";
    return 2;
  }

  // Groups of 2, 3 or 4 members, about one member in eleven reflections, at most 3000.
  long long groups = n / 33;
  if (groups > 3000) groups = 3000;
  long long members = 0;  // group sizes cycle 2, 3, 4
  for (long long g = 0; g < groups; ++g) members += 2 + g % 3;
  const long long singles = n - members;

  std::ofstream ctl(dir + "/run.ctl");
  ctl << "# benchmark: an earlier MEM data set with " << n << " reflections\n"
      << "bench.zmemin\nbench.mem\nBenchmark, earlier MEM data set\nP 1\n145.0\n"
      << "1.0 0.0 0.0\n";

  std::ofstream src(dir + "/bench.zmemin");
  std::string text;
  text.reserve(static_cast<std::size_t>(n) * 64 + 4096);
  text +=
      "# MEM data set written for the benchmark\n#Initial\n   0.800000\n"
      "#a b c alpha beta gamma\n   7.1234   8.2345   9.3456  84.5000  97.2500 102.7500\n"
      "#NX NY NZ\n  72  80  96\n#amplitudes\n  452.1250  -18.5000\n#\n#\n2\n"
      "#   h    k    l          Fo(r)          Fo(i)    sigma(|Fo|)\n";

  Lcg rng;
  Indices idx;
  for (long long j = 1; j <= singles; ++j) {
    idx.advance();
    if (j % 5000 == 1) text += reflection(idx, 0.0, 0.0, 1.0);  // left out by the program
    double fr = 200 * rng.uniform() - 100;
    double fi = rng.uniform() < 0.3 ? 0.0 : 40 * rng.uniform() - 20;
    double sig = 0.05 + 2 * rng.uniform();
    text += reflection(idx, fr, fi, sig);
  }
  text += "# NREF2\n";
  char count[32];
  std::snprintf(count, sizeof count, "%5lld\n", groups);
  text += count;
  for (long long g = 0; g < groups; ++g) {
    if (g % 500 == 7) {  // a group with G'o' = 0, left out with its members
      text += "{\n";
      idx.advance();
      text += member(idx, 4);
      text += closing(0.0, 3.0);
    }
    text += "{\n";
    int size = 2 + static_cast<int>(g % 3);
    for (int m = 0; m < size; ++m) {
      idx.advance();
      text += member(idx, 2 + 2 * static_cast<int>(rng.uniform() * 12));
    }
    text += closing(10 + 5000 * rng.uniform(), 1 + 50 * rng.uniform());
  }
  src << text;
  if (!ctl || !src) {
    std::cerr << "memprep_gen_zmemin: cannot write to " << dir << "\n";
    return 1;
  }
  return 0;
}
