// Fw.d output checked against the correctly rounded text of the exact binary value, over
// many values: ties (exact halves), their neighbours, every magnitude from subnormals to far
// beyond 1e9, and decimals from 0 to 12.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "io/fields.hpp"

namespace memprep {
namespace {

std::string reference(double v, int d) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed, d);
  std::string s = std::signbit(v) ? "-" : "";
  s.append(buf, r.ptr);
  if (d == 0) s += '.';
  return s;
}

std::string written(double v, int d) {
  std::string out;
  put_F(out, v, 400, d);
  return out.substr(out.find_first_not_of(' '));
}

TEST(FixedOutput, DigitsAreTheExactValueCorrectlyRounded) {
  std::mt19937_64 gen(20261208);
  int failures = 0;
  auto check = [&](double v, int d) {
    if (!std::isfinite(v) || failures > 10) return;
    std::string want = reference(v, d), got = written(v, d);
    if (want != got) {
      ++failures;
      ADD_FAILURE() << "F." << d << " of " << v << ": got " << got << ", expected " << want;
    }
  };
  for (int d = 0; d <= 12; ++d) {
    const double scale = std::pow(10.0, d);
    for (int i = 0; i < 4000; ++i) {
      // Any magnitude, either sign.
      double any =
          std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 140) - 120);
      check(gen() & 1 ? -any : any, d);
      // Exact halves between two d-decimal values, and their neighbours.
      double tie = (static_cast<double>(gen() % 4000000000u) + 0.5) / scale;
      check(tie, d);
      check(std::nextafter(tie, 0.0), d);
      check(std::nextafter(tie, 1e300), d);
      // Dyadic fractions, which are exact halves at many widths.
      check(-std::ldexp(static_cast<double>(gen() % 100000000), -static_cast<int>(gen() % 45)), d);
      // Raw bit patterns: subnormals and huge values included.
      std::uint64_t bits = gen();
      double raw;
      std::memcpy(&raw, &bits, sizeof raw);
      check(raw, d);
    }
    for (double v : {0.0, -0.0, 5e-324, 0.5, 1.5, 2.5, 0.125, -0.0625, 999999999.5, 1e9 - 1e-7, 1e9,
                     1e9 + 0.5, 4.9999999999e-10, 5e-10})
      check(v, d);
  }
}

}  // namespace
}  // namespace memprep
