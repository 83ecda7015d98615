#include <algorithm>
#include <string>

#include "store/errors.hpp"
#include "store/fields.hpp"
#include "store/fields_decimal.hpp"

namespace memprep {

// ---- Columns ------------------------------------------------------------------------

std::string_view cols(std::string_view rec, std::size_t first, std::size_t last) {
  if (first < 1) first = 1;
  if (last < first || first > rec.size()) return {};
  return rec.substr(first - 1, std::min(last, rec.size()) - (first - 1));
}

bool at(std::string_view rec, std::size_t first, std::string_view literal) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    std::size_t p = first - 1 + i;
    char c = p < rec.size() ? rec[p] : ' ';
    if (c != literal[i]) return false;
  }
  return true;
}

bool is_blank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

std::string_view trim_right(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

// ---- Fixed-column input ---------------------------------------------------------------

namespace {

using decimal::convert;
using decimal::DigitText;
using decimal::is_digit;
using decimal::quoted;
using decimal::RealStatus;
using decimal::shown;

// A real in an Fw.d or Ew.d field, by the rules of gfortran's formatted input (checked
// against gfortran 12 over every form; libgfortran io/read.c, read_f):
// - blanks are ignored everywhere (BN); an all-blank field, or a sign with nothing after
//   it, reads +0;
// - the mantissa is digits with at most one point; it may be empty ("-.", "E5": zero, with
//   its sign); without a point its last d digits are decimals;
// - an exponent starts with E, D or Q (either case) or with a sign alone; it needs at least
//   one digit; without an exponent the value is divided by 10^scale;
// - a total exponent of 10000 or more in magnitude is not a number.
// Departing from gfortran by project decision: Inf, Infinity and NaN are not numbers, and a
// value beyond the largest double is an error (gfortran gives Infinity).
RealStatus fixed_real(std::string_view f, int d, int scale, double& v) {
  std::size_t i = 0, n = f.size();
  auto skip_blanks = [&] {
    while (i < n && f[i] == ' ') ++i;
  };
  skip_blanks();
  bool neg = false;
  if (i < n && (f[i] == '+' || f[i] == '-')) {
    neg = f[i] == '-';
    ++i;
    skip_blanks();
  }
  if (i == n) {
    v = 0;
    return RealStatus::ok;
  }
  DigitText text(n + 32);
  bool point = false, int_digit = false, dec_digit = false, has_exp = false;
  for (; i < n; ++i) {
    char c = f[i];
    if (is_digit(c)) {
      text.put(c);
      (point ? dec_digit : int_digit) = true;
    } else if (c == ' ') {
    } else if (c == '.') {
      if (point) return RealStatus::bad;
      if (!int_digit) text.put('0');
      text.put('.');
      point = true;
    } else if (c == '+' || c == '-') {
      has_exp = true;
      break;
    } else if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q') {
      ++i;
      has_exp = true;
      break;
    } else {
      return RealStatus::bad;
    }
  }
  long long exp = 0;
  if (has_exp) {
    skip_blanks();
    bool eneg = false;
    if (i < n && (f[i] == '+' || f[i] == '-')) {
      eneg = f[i] == '-';
      ++i;
    }
    bool digit = false;
    for (; i < n; ++i) {
      char c = f[i];
      if (c == ' ') continue;
      if (!is_digit(c)) return RealStatus::bad;
      digit = true;
      if (exp < 1000000000) exp = exp * 10 + (c - '0');
    }
    if (!digit) return RealStatus::bad;
    if (eneg) exp = -exp;
  } else {
    exp = -scale;
  }
  if (!point) exp -= d;
  if (point && !dec_digit)
    text.put('0');
  else if (!int_digit && !dec_digit)
    text.put('0');
  if (exp >= 10000 || exp <= -10000) return RealStatus::bad;
  return convert(text, exp, neg, v);
}

// The forms files usually hold, converted directly; everything else goes through the full
// conversion below, which gives the same values for these forms.
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A plain real: blanks, an optional sign, at most 18 digits with at most one point,
// optionally E, a sign and up to four digits, then blanks; its digits and power of ten exact
// in double precision, so that one multiplication or division gives the correctly rounded
// value. False for anything else.
bool plain_real(std::string_view f, int d, int scale, double& v) {
  const char* p = f.data();
  const char* const end = p + f.size();
  while (p < end && *p == ' ') ++p;
  if (p == end) {
    v = 0;
    return true;
  }
  bool neg = false;
  if (*p == '-' || *p == '+') neg = *p++ == '-';
  // Unsigned arithmetic: more than 18 digits may wrap, and are refused below.
  std::uint64_t m = 0;
  const char* const digits = p;
  while (p < end && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
  long long frac = 0;
  const bool point = p < end && *p == '.';
  if (point) {
    const char* const decimals = ++p;
    while (p < end && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
    frac = p - decimals;
  }
  const long long count = (p - digits) - (point ? 1 : 0);
  if (count == 0 || count > 18) return false;
  long long e = 0;
  const bool has_exp = p < end && *p == 'E';
  if (has_exp) {
    ++p;
    bool eneg = false;
    if (p < end && (*p == '-' || *p == '+')) eneg = *p++ == '-';
    const char* const exp_digits = p;
    while (p < end && is_digit(*p) && p - exp_digits < 5) e = e * 10 + (*p++ - '0');
    if (p == exp_digits || p - exp_digits > 4) return false;
    if (eneg) e = -e;
  }
  while (p < end && *p == ' ') ++p;
  if (p != end) return false;
  if (!has_exp) e -= scale;
  if (!point) e -= d;
  const long long e10 = e - frac;
  if (m > (std::uint64_t{1} << 53) || e10 < -22 || e10 > 22) return false;
  const double mant = static_cast<double>(m);
  const double value = e10 >= 0 ? mant * kExactPow10[e10] : mant / kExactPow10[-e10];
  v = neg ? -value : value;
  return true;
}

// A plain integer: blanks, an optional sign, up to 18 digits, blanks.
bool plain_integer(std::string_view f, std::int64_t& v) {
  const char* p = f.data();
  const char* const end = p + f.size();
  while (p < end && *p == ' ') ++p;
  if (p == end) {
    v = 0;
    return true;
  }
  bool neg = false;
  if (*p == '-' || *p == '+') neg = *p++ == '-';
  std::uint64_t m = 0;
  const char* const digits = p;
  while (p < end && is_digit(*p)) m = m * 10 + static_cast<std::uint64_t>(*p++ - '0');
  if (p == digits || p - digits > 18) return false;
  while (p < end && *p == ' ') ++p;
  if (p != end) return false;
  const auto value = static_cast<std::int64_t>(m);
  v = neg ? -value : value;
  return true;
}

std::string columns_text(std::size_t first, std::size_t last) {
  return "columns " + std::to_string(first) + "-" + std::to_string(last) + ": ";
}

}  // namespace

// An Iw field by gfortran's rules (libgfortran io/read.c, read_decimal, checked against
// gfortran 12): blanks ignored; all blank reads 0; an optional sign and at least one digit.
std::int64_t parse_I(std::string_view field) {
  std::size_t i = 0, n = field.size();
  while (i < n && field[i] == ' ') ++i;
  if (i == n) return 0;
  bool neg = false;
  if (field[i] == '+' || field[i] == '-') {
    neg = field[i] == '-';
    ++i;
  }
  // Accumulate negatively so that the most negative value fits.
  std::int64_t acc = 0;
  bool digit = false;
  for (; i < n; ++i) {
    char c = field[i];
    if (c == ' ') continue;
    if (!is_digit(c)) throw FieldError(quoted(shown(field)) + " is not an integer");
    int dgt = c - '0';
    if (acc < (INT64_MIN + dgt) / 10) {
      // Keep checking the rest: a letter further on makes it "not an integer".
      for (++i; i < n; ++i)
        if (field[i] != ' ' && !is_digit(field[i]))
          throw FieldError(quoted(shown(field)) + " is not an integer");
      throw FieldError(quoted(shown(field)) + " does not fit in a 64-bit integer");
    }
    acc = acc * 10 - dgt;
    digit = true;
  }
  if (!digit) throw FieldError(quoted(shown(field)) + " is not an integer");
  if (!neg) {
    if (acc == INT64_MIN)
      throw FieldError(quoted(shown(field)) + " does not fit in a 64-bit integer");
    acc = -acc;
  }
  return acc;
}

double parse_F(std::string_view field, int d, int scale) {
  double v = 0;
  switch (fixed_real(field, d, scale, v)) {
    case RealStatus::ok:
      return v;
    case RealStatus::out_of_range:
      throw FieldError(quoted(shown(field)) + " is too large for a real number");
    case RealStatus::bad:
      break;
  }
  throw FieldError(quoted(shown(field)) + " is not a number");
}

std::int64_t get_I(std::string_view rec, std::size_t first, std::size_t last) {
  std::string_view f = cols(rec, first, last);
  std::int64_t v;
  if (plain_integer(f, v)) return v;
  try {
    return parse_I(f);
  } catch (const FieldError& e) {
    throw FieldError(columns_text(first, last) + e.what());
  }
}

double get_F(std::string_view rec, std::size_t first, std::size_t last, int d, int scale) {
  std::string_view f = cols(rec, first, last);
  double v;
  if (plain_real(f, d, scale, v)) return v;
  try {
    return parse_F(f, d, scale);
  } catch (const FieldError& e) {
    throw FieldError(columns_text(first, last) + e.what());
  }
}

}  // namespace memprep
