// Decimal conversion under both readers of the field notation (io/fields.hpp): the one
// scanner of digits, signs, points and exponents that fixed-column fields and free-format
// items are read with, the one table of powers of ten, and the quoting of refused texts.
//
// The scanner and the direct conversion are inline: they run for every field of files with
// 100000 lines, and the plain forms those files hold never leave them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace memprep::decimal {

// 10^0 to 10^22: the powers of ten that are exact in double precision.
// clang-format off
inline constexpr double kPow10[] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// clang-format on

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

enum class Status { ok, bad, out_of_range };

// The digits of a number, gathered over one or more runs (integer part, then decimals).
struct Digits {
  std::uint64_t value = 0;  // the digits as an integer: exact for up to 19 digits
  long long count = 0;      // digits read, leading zeros included
};

// The first character from p on that is not a blank, or `end`: eight at a time while eight
// are left.
[[gnu::always_inline]] inline const char* skip_blanks(const char* p, const char* end) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (end - p >= 8) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w ^= 0x2020202020202020u;
    if (w != 0) return p + __builtin_ctzll(w) / 8;
    p += 8;
  }
#endif
  while (p < end && *p == ' ') ++p;
  return p;
}

// Reads a run of digits from p on into m (m * 10 + digit each); returns where it ends.
[[gnu::always_inline]] inline const char* plain_digits(const char* p, const char* end,
                                                       std::uint64_t& m) {
  std::uint64_t v = m;
  for (; p < end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit > 9) break;
    v = v * 10 + digit;
  }
  m = v;
  return p;
}

// Reads digits from p on into d, passing over blanks among and after them; returns where
// they end: at `end`, or at the first character that is neither a digit nor a blank.
[[gnu::always_inline]] inline const char* scan_digits(const char* p, const char* end, Digits& d) {
  std::uint64_t v = d.value;  // wraps beyond 19 digits, which `count` tells
  long long count = d.count;
  for (;;) {
    const char* const run = p;
    while (p < end && is_digit(*p)) v = v * 10 + static_cast<std::uint64_t>(*p++ - '0');
    count += p - run;
    if (p == end || *p != ' ') break;
    while (p < end && *p == ' ') ++p;
    if (p == end || !is_digit(*p)) break;
  }
  d.value = v;
  d.count = count;
  return p;
}

// The digits from p on (blanks among them) without their leading zeros: for a run of more
// than 19 digits, which may still have a value of 19 digits or fewer.
inline Digits significant_digits(const char* p, const char* end) {
  while (p < end && (*p == '0' || *p == ' ')) ++p;
  Digits d;
  scan_digits(p, end, d);
  return d;
}

// The digits of `mantissa` (as scanned: blanks and a point may stand among them) times
// 10^e10, correctly rounded, with the sign given: the full conversion, for what the direct
// one in read_real() does not take.
Status convert_long(std::string_view mantissa, long long e10, bool neg, double& v);

// How a real is written: in an Fw.d or Ew.d field under a scale factor, or as a free-format
// item (which holds no blanks).
struct RealForm {
  bool fixed;     // a fixed field
  int d = 0;      // its decimals where no point is written
  int scale = 0;  // its scale factor, where no exponent is written
};

// The exponent of a real as written, with what a fixed field implies where the text writes
// none: the scale factor without an exponent, the d decimals without a point.
inline long long implied_exponent(RealForm form, bool point, bool has_exp, long long exp) {
  if (!form.fixed) return exp;
  if (!has_exp) exp = -form.scale;
  if (!point) exp -= form.d;
  return exp;
}

// The digits m times 10^e10 with the sign, when that is up to 2^53 times a power of ten up
// to 10^22 in magnitude: both exact doubles, so one multiplication or division gives the
// correctly rounded value (set in v when kValue). False for any other.
template <bool kValue>
[[gnu::always_inline]] inline bool direct_real(std::uint64_t m, long long e10, bool neg,
                                               double& v) {
  if (m > (std::uint64_t{1} << 53) || e10 < -22 || e10 > 22) return false;
  if constexpr (kValue) {
    const double mant = static_cast<double>(m);
    const double value = e10 >= 0 ? mant * kPow10[e10] : mant / kPow10[-e10];
    v = neg ? -value : value;
  }
  return true;
}

// The plain forms alone: true, with the value in v when kValue, for leading blanks, a sign, up
// to 19 digits with at most one point, an exponent of E or e, a sign and up to four digits,
// nothing after them, and a value one multiplication or division away; false for every other
// text, which the full scan then reads.
template <bool kValue>
[[gnu::always_inline]] inline bool plain_real(std::string_view f, RealForm form, double& v) {
  const char* const end = f.data() + f.size();
  const char* q = skip_blanks(f.data(), end);
  bool neg = false;
  if (q < end && (*q == '+' || *q == '-')) neg = *q++ == '-';
  const char* const first = q;
  std::uint64_t m = 0;
  q = plain_digits(q, end, m);
  long long decimals = 0;
  const bool point = q < end && *q == '.';
  if (point) {
    const char* const after = ++q;
    q = plain_digits(q, end, m);
    decimals = q - after;
  }
  const long long digits = q - first - (point ? 1 : 0);
  if (digits <= 0 || digits > 19) return false;
  bool has_exp = false;
  long long exp = 0;
  if (q < end) {
    if (*q != 'E' && *q != 'e') return false;
    ++q;
    bool eneg = false;
    if (q < end && (*q == '+' || *q == '-')) eneg = *q++ == '-';
    const char* const e = q;
    while (q < end && is_digit(*q) && q - e < 4) exp = exp * 10 + (*q++ - '0');
    if (q != end || q == e) return false;
    if (eneg) exp = -exp;
    has_exp = true;
  }
  return direct_real<kValue>(m, implied_exponent(form, point, has_exp, exp) - decimals, neg, v);
}

// The full scan: every form read_real() takes (below), the plain ones included.
template <bool kValue>
[[gnu::noinline]] Status full_real(std::string_view f, RealForm form, double& v) {
  const char* const end = f.data() + f.size();
  const char* p = skip_blanks(f.data(), end);
  bool neg = false;
  if (p < end && (*p == '+' || *p == '-')) neg = *p++ == '-';
  const char* const mantissa = p;
  Digits m;
  p = scan_digits(p, end, m);
  const bool point = p < end && *p == '.';
  long long decimals = 0;
  if (point) {
    const long long before = m.count;
    p = scan_digits(p + 1, end, m);
    decimals = m.count - before;
  }
  const std::string_view text(mantissa, static_cast<std::size_t>(p - mantissa));
  bool has_exp = false;
  long long exp = 0;
  if (p < end) {
    const char c = *p;
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q')
      ++p;
    else if (c != '+' && c != '-')
      return Status::bad;
    has_exp = true;
    while (p < end && *p == ' ') ++p;
    bool eneg = false;
    if (p < end && (*p == '+' || *p == '-')) eneg = *p++ == '-';
    const char* const digits = p;
    Digits e;
    p = scan_digits(p, end, e);
    if (p != end || e.count == 0) return Status::bad;
    if (e.count > 19) e = significant_digits(digits, end);
    // Any exponent of 10^9 or more gives the same result: taken as 10^9.
    exp = e.count > 19 || e.value >= 1000000000 ? 1000000000 : static_cast<long long>(e.value);
    if (eneg) exp = -exp;
  }
  if (m.count == 0 && !form.fixed) return Status::bad;
  if (m.count == 0 && !point && !has_exp) {  // a fixed field all blank, or a sign alone
    v = 0;
    return Status::ok;
  }
  exp = implied_exponent(form, point, has_exp, exp);
  const long long e10 = exp - decimals;
  if (m.count <= 19 && direct_real<kValue>(m.value, e10, neg, v)) return Status::ok;
  // (An exponent so large never takes the direct conversion above.)
  if (form.fixed && (exp >= 10000 || exp <= -10000)) return Status::bad;
  return convert_long(text, e10, neg, v);
}

// Reads f as a real: an optional sign, a mantissa of digits with at most one point, and
// optionally an exponent: E, D or Q in either case with an optional sign, or a sign alone,
// then at least one digit. Blanks are passed over everywhere. A free-format item needs a
// mantissa digit. In a fixed field an empty mantissa reads zero (with its sign), and an
// all-blank field, or a sign alone, +0; without a point the last d digits are decimals;
// without an exponent the value is divided by 10^scale; and a total exponent of 10000 or
// more in magnitude is not a number. A value beyond the largest double is out_of_range; one
// below the smallest denormal reads as zero.
//
// With kValue false the text is only checked: the same status, but v is set only where the
// value needs the full conversion to tell whether it is one.
//
// The plain forms that files hold are read in one pass (plain_real), without the passing
// over of blanks among the digits; every other text takes the full scan, which gives the
// same value for the plain ones (kPlainPass false: the full scan alone).
template <bool kValue = true, bool kPlainPass = true>
[[gnu::always_inline]] inline Status scan_real(std::string_view f, RealForm form, double& v) {
  if constexpr (kPlainPass)
    if (plain_real<kValue>(f, form, v)) return Status::ok;
  return full_real<kValue>(f, form, v);
}

[[gnu::always_inline]] inline Status read_real(std::string_view f, RealForm form, double& v) {
  return scan_real<true>(f, form, v);
}

// Whether read_real takes f, without giving its value.
[[gnu::always_inline]] inline Status check_real(std::string_view f, RealForm form) {
  double v = 0;
  return scan_real<false>(f, form, v);
}

// Reads f as an integer: an optional sign and at least one digit, blanks passed over
// everywhere (a free-format item holds none); all blank reads 0. `out_of_range` when it does
// not fit in 64 bits, `bad` when it is not an integer (which a wrong character anywhere
// makes it, however many digits come before).
inline Status read_integer(std::string_view f, std::int64_t& v) {
  const char* const end = f.data() + f.size();
  const char* p = skip_blanks(f.data(), end);
  if (p == end) {
    v = 0;
    return Status::ok;
  }
  bool neg = false;
  if (*p == '+' || *p == '-') neg = *p++ == '-';
  const char* const digits = p;
  {  // digits alone to the end, up to 18 of them: no blanks among them, and no overflow
    std::uint64_t m = 0;
    const char* const q = plain_digits(p, end, m);
    if (q == end && q > digits && q - digits <= 18) {
      v = neg ? -static_cast<std::int64_t>(m) : static_cast<std::int64_t>(m);
      return Status::ok;
    }
  }
  Digits d;
  p = scan_digits(p, end, d);
  if (p != end || d.count == 0) return Status::bad;
  if (d.count > 19) d = significant_digits(digits, end);
  const std::uint64_t limit = (std::uint64_t{1} << 63) - (neg ? 0 : 1);
  if (d.count > 19 || d.value > limit) return Status::out_of_range;
  v = static_cast<std::int64_t>(neg ? 0 - d.value : d.value);
  return Status::ok;
}

// The text in apostrophes for a message, control and non-ASCII bytes as \xNN.
std::string quoted(std::string_view text);

// The field without its leading and trailing blanks, for messages.
std::string_view shown(std::string_view field);

}  // namespace memprep::decimal
