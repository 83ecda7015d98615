// The direct paths of the output descriptors Iw, Fw.d and Gw.d (io/fields.hpp), writing a
// field in its place: at a pointer into a record being built, such as the room of an output
// file's buffer. Each writes exactly the w columns at `at` and returns true, or returns
// false, leaving those columns unspecified, for a value it does not take: one that does not
// fit, one that is not finite, a width beyond kWidth, and the rare values whose digits they
// do not get exactly. put_I, put_F and put_G are these with the general path behind them,
// which writes whatever they leave, so either path gives the same text for every value.
//
// Iw and Fw.d are inline: they run for most fields of files with 100000 lines.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "io/fields_decimal.hpp"

namespace memprep::direct {

// The widest field the direct paths take.
inline constexpr int kWidth = 64;

// 10^0 to 10^19 as integers.
inline constexpr auto kPow10u = [] {
  std::array<std::uint64_t, 20> t{};
  t[0] = 1;
  for (std::size_t i = 1; i < t.size(); ++i) t[i] = t[i - 1] * 10;
  return t;
}();

// "00" "01" ... "99": the digits are made two at a time.
inline constexpr auto kDigitPairs = [] {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    t[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return t;
}();

// Writes the decimal digits of u backwards, ending before p; returns the first one.
inline char* digits_before(char* p, std::uint64_t u) {
  while (u >= 100) {
    const std::uint64_t q = u / 100;
    p -= 2;
    std::memcpy(p, kDigitPairs.data() + 2 * (u - q * 100), 2);
    u = q;
  }
  if (u >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs.data() + 2 * u, 2);
  } else {
    *--p = static_cast<char>('0' + u);
  }
  return p;
}

// Writes exactly n digits of u (u < 10^n) backwards, ending before p; returns the first.
inline char* n_digits_before(char* p, std::uint64_t u, int n) {
  for (; n >= 2; n -= 2) {
    const std::uint64_t q = u / 100;
    p -= 2;
    std::memcpy(p, kDigitPairs.data() + 2 * (u - q * 100), 2);
    u = q;
  }
  if (n == 1) *--p = static_cast<char>('0' + u);
  return p;
}

// Iw.
[[gnu::always_inline]] inline bool I(char* at, std::int64_t v, int w) {
  if (w < 1 || w > kWidth) return false;
  const bool neg = v < 0;
  const std::uint64_t u = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  const int room = w - (neg ? 1 : 0);  // columns for the digits
  if (room < 1 || (room < 20 && u >= kPow10u[static_cast<std::size_t>(room)])) return false;
  std::memset(at, ' ', static_cast<std::size_t>(w));  // whole, in a few stores when w is known
  char* p = digits_before(at + w, u);
  if (neg) p[-1] = '-';
  return true;
}

// The d decimals (1 <= d <= 9) of a fraction 0 <= f < 1 of a value, f * 10^d correctly
// rounded with ties to even from its exact 128-bit product: for the values that lie too near
// a half for the double product to tell.
std::uint64_t exact_decimals(double f, int d);

// A value 0 <= a < 2^53 with 0 to 9 decimals, correctly rounded with ties to even, as its
// integer part ip and its d decimals r: the digits of the exact binary value, as the Fortran
// run time gets them from the C library. The integer part is exact in a double, and so is
// a - ip. The fraction times 10^d in double precision is below 2^30, within 2^-24 of the
// exact product: unless it lies within 2^-20 of a half, it rounds as the exact product does.
[[gnu::always_inline]] inline void fixed_parts(double a, int d, std::uint64_t& ip,
                                               std::uint64_t& r) {
  ip = static_cast<std::uint64_t>(a);
  const double f = a - static_cast<double>(ip);
  const double x = f * decimal::kPow10[d];
  r = static_cast<std::uint64_t>(x);
  const double fr = x - static_cast<double>(r);
  if (std::fabs(fr - 0.5) > 0x1p-20) [[likely]]
    r += fr > 0.5 ? 1 : 0;
  else if (d == 0)  // a tie goes to the even integer part
    r = f > 0.5 || (f == 0.5 && (ip & 1)) ? 1 : 0;
  else
    r = exact_decimals(f, d);
  if (r == kPow10u[static_cast<std::size_t>(d)]) {  // rounded up into the integer part
    r = 0;
    ++ip;
  }
}

// Fw.d of a finite value below 2^53 with 0 to 9 decimals, rounded by fixed_parts. A negative
// value that rounds to zero keeps its minus sign, as does negative zero ("-0.00"), as
// gfortran writes them; "0." loses its zero only where the field has no room for it.
[[gnu::always_inline]] inline bool F(char* at, double v, int w, int d) {
  if (d < 0 || d > 9 || w < 1 || w > kWidth) return false;
  const double a = std::fabs(v);
  if (!(a < 9007199254740992.0)) return false;  // 2^53, and not finite
  const bool neg = std::signbit(v);
  const int room = w - d - 1 - (neg ? 1 : 0);  // columns for the integer digits
  if (room < 0) return false;
  std::uint64_t ip = 0, r = 0;
  fixed_parts(a, d, ip, r);
  if (ip != 0 && room < 20 && ip >= kPow10u[static_cast<std::size_t>(room)]) return false;
  std::memset(at, ' ', static_cast<std::size_t>(w));  // whole, in a few stores when w is known
  char* p = n_digits_before(at + w, r, d);
  *--p = '.';
  if (ip != 0 || room > 0) p = digits_before(p, ip);
  if (neg) p[-1] = '-';
  return true;
}

// Gw.d under the scale factor 0 or 1 (1P), in either form.
bool G(char* at, double v, int w, int d, int scale);

}  // namespace memprep::direct
