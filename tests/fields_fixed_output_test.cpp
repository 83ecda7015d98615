// Fw.d output checked against the correctly rounded text of the exact binary value, over
// many values: ties (exact halves), their neighbours, every magnitude from subnormals to far
// beyond 1e9, and decimals from 0 to 12. Then the direct paths of Iw, Fw.d and Gw.d against
// the general path, over the descriptors the outputs use and their neighbours.
#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

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

// The descriptors of the outputs (I3 to I9; F7.2 to F20.4; G12.6, 1PG12.4, 1PG13.6,
// 1PG14.6) and more: each value written by the direct path and by the general path.
TEST(DirectOutput, SameTextAsTheGeneralPath) {
  std::mt19937_64 gen(20261209);
  int failures = 0;
  // kind: "I", "F" or "G"; d and k are not shown for I, k not for F.
  auto report = [&](const char* kind, int w, int d, int k, double v, const std::string& direct,
                    const std::string& general) {
    if (direct == general || ++failures > 10) return;
    char what[80];
    std::snprintf(what, sizeof what, "%dP%s%d.%d of %.17g", k, kind, w, d, v);
    ADD_FAILURE() << what << ": direct '" << direct << "', general '" << general << "'";
  };
  auto both_F = [&](double v, int w, int d) {
    std::string a = "x", b = "x";
    put_F(a, v, w, d);
    general::put_F(b, v, w, d);
    report("F", w, d, 0, v, a, b);
  };
  auto both_G = [&](double v, int w, int d, int k) {
    std::string a = "x", b = "x";
    put_G(a, v, w, d, k);
    general::put_G(b, v, w, d, k);
    report("G", w, d, k, v, a, b);
  };
  auto both_I = [&](std::int64_t v, int w) {
    std::string a = "x", b = "x";
    put_I(a, v, w);
    general::put_I(b, v, w);
    report("I", w, 0, 0, static_cast<double>(v), a, b);
  };
  auto with_neighbours = [](double v) {
    return std::array<double, 6>{v,  std::nextafter(v, 0.0),  std::nextafter(v, 1e308),
                                 -v, -std::nextafter(v, 0.0), -std::nextafter(v, 1e308)};
  };
  auto any_magnitude = [&](int lo, int hi) {
    double v = std::ldexp(static_cast<double>(gen() >> 11) / 9007199254740992.0 + 0.5,
                          lo + static_cast<int>(gen() % static_cast<unsigned>(hi - lo)));
    return gen() & 1 ? -v : v;
  };

  for (int w : {1, 2, 3, 5, 7, 9, 19, 20, 21, 64, 65})
    for (std::int64_t v : {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{99},
                           std::int64_t{-99}, std::int64_t{99999}, std::int64_t{-9999},
                           std::int64_t{100000}, std::int64_t{-10000}, INT64_MAX, INT64_MIN})
      both_I(v, w);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t v = static_cast<std::int64_t>(gen()) >> (gen() % 64);
    both_I(v, static_cast<int>(gen() % 24));
  }

  const std::pair<int, int> fixed[] = {{7, 2},  {10, 4},  {10, 5}, {12, 4}, {12, 6}, {15, 3},
                                       {15, 4}, {15, 7},  {20, 4}, {3, 1},  {64, 9}, {65, 4},
                                       {15, 0}, {15, 10}, {8, 1},  {2, 1},  {1, 1},  {4, 2}};
  for (auto [w, d] : fixed) {
    const double p = std::pow(10.0, d);
    std::vector<double> edges = {0.0,    -0.0,    5e-324, 1e-300, 0.5 / p,    1.5 / p, 2.5 / p,
                                 9.9995, 9.99995, 99.995, 0.9995, 9999.99995, 2.675,   1e15};
    // The largest value that fits, and the rounding of the next: positive and negative.
    edges.push_back(std::pow(10.0, w - d - 1) - 0.5 / p);
    edges.push_back(std::pow(10.0, w - d - 2) - 0.5 / p);
    edges.push_back(std::pow(10.0, w - d - 2));
    for (int e = 0; e < 12; ++e) edges.push_back(std::pow(10.0, e) - 0.5 / p);
    for (double edge : edges)
      for (double v : with_neighbours(edge)) both_F(v, w, d);
    for (int i = 0; i < 3000; ++i) {
      both_F(any_magnitude(-40, 40), w, d);
      const double tie = (static_cast<double>(gen() % 2000000000u) + 0.5) / p;
      for (double v : with_neighbours(tie)) both_F(v, w, d);
    }
  }

  const std::array<int, 3> general_fields[] = {{12, 6, 0},  {12, 4, 1},  {13, 6, 1}, {14, 6, 1},
                                               {12, 4, 0},  {10, 3, 1},  {9, 1, 0},  {9, 1, 1},
                                               {22, 14, 1}, {22, 14, 0}, {6, 6, 1},  {12, 15, 1}};
  for (auto [w, d, k] : general_fields) {
    const double p = std::pow(10.0, d);
    const double r_sc = 1 - 0.5 / p;
    // The switch points between the forms, the carries into the next power of ten and the
    // ties of the E form's last digit.
    std::vector<double> edges = {
        0.0,    -0.0,   5e-324,  1e-310,        0.1 * r_sc, p - 0.5,
        9.9995, 99.995, 0.99995, 9.99995e-11,   9.9995e20,  1.25,
        0.125,  1e100,  1e-100,  9.99999999e99, 1e-99,      1.7976931348623157e308};
    for (int s = 0; s <= d; ++s) edges.push_back(std::pow(10.0, s) * r_sc);
    for (int e = -30; e <= 30; ++e) {
      edges.push_back(std::pow(10.0, e));
      edges.push_back(std::pow(10.0, e) * (1 - 0.5 / p));
      edges.push_back(std::pow(10.0, e) * (1 - 0.05 / p));
    }
    for (double edge : edges)
      for (double v : with_neighbours(edge)) both_G(v, w, d, k);
    for (int i = 0; i < 4000; ++i) {
      both_G(any_magnitude(-120, 120), w, d, k);
      both_G(any_magnitude(-4, 40), w, d, k);
      // Exact halves of the last digit: dyadic values with few significant bits.
      both_G(std::ldexp(static_cast<double>(gen() % 4096) + 0.5, -static_cast<int>(gen() % 40)), w,
             d, k);
    }
  }
  for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    both_F(v, 15, 3);
    both_G(v, 12, 4, 1);
  }
}

}  // namespace
}  // namespace memprep
