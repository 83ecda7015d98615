#include "store/fields_decimal.hpp"

#include <charconv>
#include <system_error>

namespace memprep::decimal {

std::string quoted(std::string_view text) {
  std::string q = "'";
  for (char c : text) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7f) {
      static const char hex[] = "0123456789abcdef";
      q += "\\x";
      q += hex[u >> 4];
      q += hex[u & 15];
    } else {
      q += c;
    }
  }
  return q + "'";
}

std::string_view shown(std::string_view field) {
  std::size_t b = field.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return field.substr(b, field.find_last_not_of(' ') + 1 - b);
}

bool parse_integer(std::string_view s, std::int64_t& v, bool& out_of_range) {
  out_of_range = false;
  if (s.empty()) return false;
  std::size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  if (i == s.size()) return false;
  for (std::size_t j = i; j < s.size(); ++j)
    if (!is_digit(s[j])) return false;
  // Accumulate negatively so that the most negative value fits.
  std::int64_t acc = 0;
  for (std::size_t j = i; j < s.size(); ++j) {
    int dgt = s[j] - '0';
    if (acc < (INT64_MIN + dgt) / 10) {
      out_of_range = true;
      return false;
    }
    acc = acc * 10 - dgt;
  }
  if (!neg) {
    if (acc == INT64_MIN) {
      out_of_range = true;
      return false;
    }
    acc = -acc;
  }
  v = acc;
  return true;
}

RealStatus convert(DigitText& text, long long exp, bool neg, double& v) {
  const char* mant_end = text.end();
  {
    // Fast path: an integer mantissa of at most 2^53 times a power of ten up to 10^22 in
    // magnitude. Both are exact doubles, so one multiplication or division gives the
    // correctly rounded value, as the full conversion below does.
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::uint64_t m = 0;
    int digits = 0;
    long long frac = 0;
    bool point = false;
    for (const char* c = text.begin(); c < mant_end && digits <= 19; ++c) {
      if (*c == '.') {
        point = true;
        continue;
      }
      if (point) ++frac;
      if (digits == 0 && *c == '0') continue;
      ++digits;
      m = m * 10 + static_cast<std::uint64_t>(*c - '0');
    }
    const long long e10 = exp - frac;
    if (digits <= 19 && m <= (std::uint64_t{1} << 53) && e10 >= -22 && e10 <= 22) {
      const double mant = static_cast<double>(m);
      double value = e10 >= 0 ? mant * kPow10[e10] : mant / kPow10[-e10];
      v = neg ? -value : value;
      return RealStatus::ok;
    }
  }
  if (exp != 0) {
    text.put('e');
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, exp);
    for (const char* c = buf; c < r.ptr; ++c) text.put(*c);
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.begin(), text.end(), value);
  if (ec == std::errc::result_out_of_range) {
    // The decimal magnitude of the first significant digit decides: a value of 1 or more
    // overflowed, a smaller one underflowed.
    long long int_digits = 0, frac_digits = 0, first = 0;
    bool point = false, found = false;
    for (const char* c = text.begin(); c < mant_end; ++c) {
      if (*c == '.') {
        point = true;
        continue;
      }
      long long& count = point ? frac_digits : int_digits;
      ++count;
      if (!found && *c != '0') {
        found = true;
        first = point ? -count : count;  // 1-based; negative: after the point
      }
    }
    // value in [10^(m-1), 10^m) times 10^exp
    long long m = first > 0 ? int_digits - first + 1 : first + 1;
    if (found && m + exp > 0) return RealStatus::out_of_range;
    value = 0;
  } else if (ec != std::errc() || ptr != text.end()) {
    return RealStatus::bad;
  }
  v = neg ? -value : value;
  return RealStatus::ok;
}

}  // namespace memprep::decimal
