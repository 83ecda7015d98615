// memprep_gen_fos DIR N: writes DIR/run.ctl and DIR/bench.fos, a binary structure-factor
// file of N reflections with varied indices, signs and intensities (the Io column moves
// between the fixed and the exponent form).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <string>

namespace {

void put_le(std::string& out, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

struct Record {
  std::string data;
  void integer(std::int64_t v) { put_le(data, static_cast<std::uint64_t>(v), 8); }
  void real(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, 8);
    put_le(data, bits, 8);
  }
  void text(const std::string& t, std::size_t width) {
    std::string padded = t;
    padded.resize(width, ' ');
    data += padded;
  }
  void append_to(std::string& file) const {
    put_le(file, data.size(), 4);
    file += data;
    put_le(file, data.size(), 4);
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: memprep_gen_fos DIR N\n");
    return 2;
  }
  const std::string dir = argv[1];
  const long long n = std::atoll(argv[2]);
  if (n < 0) {
    std::fprintf(stderr, "memprep_gen_fos: N must not be negative\n");
    return 2;
  }

  std::string file;
  file.reserve(static_cast<std::size_t>(n) * 64 + 512);
  {
    Record r;
    r.text("Benchmark: " + std::to_string(n) + " reflections", 70);
    r.append_to(file);
  }
  {
    Record r;
    for (double v : {8.0532, 8.0532, 8.0532, 90.0, 90.0, 90.0}) r.real(v);
    r.append_to(file);
  }
  {
    Record r;
    for (int v : {128, 128, 128}) r.integer(v);
    r.append_to(file);
  }
  {
    Record r;
    r.integer(227);
    r.integer(2);
    r.data += 'F';
    r.append_to(file);
  }
  {
    Record r;
    r.real(0.0);
    r.real(0.0);
    r.append_to(file);
  }
  {
    Record r;
    r.real(1216.0);
    r.real(-35.5);
    r.append_to(file);
  }
  {
    Record r;
    r.integer(n);
    r.append_to(file);
  }

  std::uint64_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(seed >> 11) / 9007199254740992.0;  // [0, 1)
  };
  Record r;
  for (long long i = 0; i < n; ++i) {
    r.data.clear();
    r.integer(static_cast<std::int64_t>(i % 41) - 20);
    r.integer(static_cast<std::int64_t>((i / 41) % 41) - 20);
    r.integer(static_cast<std::int64_t>(i / 1681) % 61);
    const double fabs = 1 + 400 * next();
    const double phase = 2 * std::numbers::pi * next();
    r.real(fabs * std::cos(phase));
    r.real(fabs * std::sin(phase));
    r.real(fabs);
    // 1e8 .. 1e16 before the factor 1e-10: every sigma(|Fo|) shows in its F15.3 field.
    r.real(std::pow(10.0, 8 + 8 * next()));
    r.append_to(file);
  }

  std::ofstream fos(dir + "/bench.fos", std::ios::binary);
  fos.write(file.data(), static_cast<std::streamsize>(file.size()));
  std::ofstream ctl(dir + "/run.ctl");
  ctl << "bench.fos\nbench.mem\n1.0                 # E\n1                   # IAMP\n"
         "0.710730            # lambda1\n";
  if (!fos || !ctl) {
    std::fprintf(stderr, "memprep_gen_fos: cannot write in %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
