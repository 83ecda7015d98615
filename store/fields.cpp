#include "store/fields.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include "store/errors.hpp"

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

bool is_blank(std::string_view s) { return s.find_first_not_of(' ') == std::string_view::npos; }

std::string_view trim_right(std::string_view s) {
  std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

// ---- Fixed-column input ---------------------------------------------------------------

namespace {

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

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The text without blanks (Fortran ignores blanks in numeric input fields).
std::string squeeze(std::string_view field) {
  std::string s;
  s.reserve(field.size());
  for (char c : field)
    if (c != ' ') s += c;
  return s;
}

// Parses an integer made of an optional sign and digits; false when it is not one or does
// not fit in 64 bits (out_of_range set then).
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

enum class RealStatus { ok, bad, out_of_range };

// A real in Fortran's input form, blanks already removed: optional sign, digits with at
// most one point, then optionally an exponent (a letter E, D or Q with an optional sign, or
// a sign alone, followed by digits). Without a point the last d digits are decimals; without
// an exponent the value is divided by 10^scale.
RealStatus parse_real(std::string_view s, int d, int scale, double& v) {
  std::size_t i = 0, n = s.size();
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  std::string digits;
  long long point_shift = 0;  // power of ten to apply to the digit string
  bool point = false;
  std::size_t mantissa_digits = 0;
  for (; i < n; ++i) {
    char c = s[i];
    if (is_digit(c)) {
      digits += c;
      ++mantissa_digits;
      if (point) --point_shift;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (mantissa_digits == 0) return RealStatus::bad;
  bool has_exp = false;
  long long exp = 0;
  if (i < n) {
    char c = s[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q') ++i;
    else if (c != '+' && c != '-') return RealStatus::bad;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
      eneg = s[i] == '-';
      ++i;
    }
    if (i == n) return RealStatus::bad;
    for (; i < n; ++i) {
      if (!is_digit(s[i])) return RealStatus::bad;
      if (exp < 100000) exp = exp * 10 + (s[i] - '0');
    }
    if (eneg) exp = -exp;
    has_exp = true;
  }
  if (!point) point_shift = -d;
  long long total = point_shift + exp - (has_exp ? 0 : scale);
  std::string text = digits + "e" + std::to_string(total);
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too small to represent reads as zero; too large is an error.
    bool all_zero = digits.find_first_not_of('0') == std::string::npos;
    if (total < 0 || all_zero) value = 0;
    else return RealStatus::out_of_range;
  } else if (ec != std::errc() || ptr != text.data() + text.size()) {
    return RealStatus::bad;
  }
  v = neg ? -value : value;
  return RealStatus::ok;
}

std::string columns_text(std::size_t first, std::size_t last) {
  return "columns " + std::to_string(first) + "-" + std::to_string(last) + ": ";
}

}  // namespace

std::int64_t parse_I(std::string_view field) {
  std::string s = squeeze(field);
  if (s.empty()) return 0;
  std::int64_t v = 0;
  bool too_big = false;
  if (!parse_integer(s, v, too_big))
    throw FieldError(quoted(field) + (too_big ? " does not fit in a 64-bit integer"
                                              : " is not an integer"));
  return v;
}

double parse_F(std::string_view field, int d, int scale) {
  std::string s = squeeze(field);
  if (s.empty()) return 0;
  double v = 0;
  switch (parse_real(s, d, scale, v)) {
    case RealStatus::ok:
      return v;
    case RealStatus::out_of_range:
      throw FieldError(quoted(field) + " is too large for a real number");
    case RealStatus::bad:
      break;
  }
  throw FieldError(quoted(field) + " is not a number");
}

std::int64_t get_I(std::string_view rec, std::size_t first, std::size_t last) {
  std::string_view f = cols(rec, first, last);
  try {
    return parse_I(f);
  } catch (const FieldError& e) {
    throw FieldError(columns_text(first, last) + e.what());
  }
}

double get_F(std::string_view rec, std::size_t first, std::size_t last, int d, int scale) {
  std::string_view f = cols(rec, first, last);
  try {
    return parse_F(f, d, scale);
  } catch (const FieldError& e) {
    throw FieldError(columns_text(first, last) + e.what());
  }
}

// ---- Free format ------------------------------------------------------------------------

ListInput::ListInput(std::string_view record) : rec_(record) {}

ListInput::ListInput(std::string_view record, More more) : rec_(record), more_(std::move(more)) {}

bool ListInput::refill() {
  if (!more_) return false;
  std::optional<std::string_view> r = more_();
  if (!r) return false;
  rec_ = *r;
  pos_ = 0;
  return true;
}

namespace {
bool is_space(char c) { return c == ' ' || c == '\t'; }
}  // namespace

bool ListInput::next_token(std::string_view& tok) {
  ++item_;
  if (ended_) return false;
  if (repeat_ > 0) {
    --repeat_;
    tok = held_;
    return true;
  }
  for (;;) {
    while (pos_ < rec_.size() && is_space(rec_[pos_])) ++pos_;
    if (pos_ >= rec_.size()) {
      if (!refill())
        throw FieldError(std::string(more_ ? "end of file" : "end of record") +
                         " where value " + std::to_string(item_) + " is needed");
      continue;
    }
    char c = rec_[pos_];
    if (c == ',') {
      ++pos_;
      if (after_value_) {
        after_value_ = false;  // the separator of the value before
        continue;
      }
      tok = {};  // two separators in a row: a null value
      return true;
    }
    if (c == '/') {
      ended_ = true;
      return false;
    }
    std::size_t start = pos_;
    while (pos_ < rec_.size() && !is_space(rec_[pos_]) && rec_[pos_] != ',' && rec_[pos_] != '/')
      ++pos_;
    tok = rec_.substr(start, pos_ - start);
    after_value_ = true;
    // r*c: c repeated r times; r*: r null values.
    std::size_t star = tok.find('*');
    if (star != std::string_view::npos && star > 0) {
      std::int64_t r = 0;
      bool too_big = false;
      std::string_view count = tok.substr(0, star);
      if (count.find_first_not_of("0123456789") == std::string_view::npos &&
          parse_integer(count, r, too_big) && r > 0) {
        held_ = std::string(tok.substr(star + 1));
        repeat_ = r - 1;
        tok = held_;
      }
    }
    return true;
  }
}

bool ListInput::next(std::int64_t& v) {
  std::string_view tok;
  if (!next_token(tok) || tok.empty()) return false;
  bool too_big = false;
  if (!parse_integer(tok, v, too_big))
    throw FieldError("value " + std::to_string(item_) + ": " + quoted(tok) +
                     (too_big ? " does not fit in a 64-bit integer" : " is not an integer"));
  return true;
}

bool ListInput::next(double& v) {
  std::string_view tok;
  if (!next_token(tok) || tok.empty()) return false;
  switch (parse_real(tok, 0, 0, v)) {
    case RealStatus::ok:
      return true;
    case RealStatus::out_of_range:
      throw FieldError("value " + std::to_string(item_) + ": " + quoted(tok) +
                       " is too large for a real number");
    case RealStatus::bad:
      break;
  }
  throw FieldError("value " + std::to_string(item_) + ": " + quoted(tok) + " is not a number");
}

bool ListInput::next_word(std::string& w) {
  std::string_view tok;
  if (!next_token(tok) || tok.empty()) return false;
  w.assign(tok);
  return true;
}

// ---- Output -----------------------------------------------------------------------------

namespace {

void stars(std::string& out, int w) { out.append(static_cast<std::size_t>(std::max(w, 0)), '*'); }

void right(std::string& out, std::string_view text, int w) {
  if (static_cast<int>(text.size()) > w) return stars(out, w);
  out.append(static_cast<std::size_t>(w) - text.size(), ' ');
  out.append(text);
}

void put_nonfinite(std::string& out, double v, int w) {
  if (std::isnan(v)) return right(out, "NaN", w);
  bool neg = v < 0;
  std::string_view longer = neg ? "-Infinity" : "Infinity";
  std::string_view shorter = neg ? "-Inf" : "Inf";
  right(out, static_cast<int>(longer.size()) <= w ? longer : shorter, w);
}

// Fixed-point digits of |v| with d decimals, correctly rounded ("0.500", "12.000").
std::string fixed_digits(double a, int d) {
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, d);
  std::string s(buf, r.ptr);
  if (d == 0) s += '.';
  return s;
}

// 10^n as a double, built the way a Fortran run time does for its G-editing bounds.
double power_of_ten(int n) {
  double r = 1.0;
  for (int i = 0; i < (n >= 0 ? n : -n); ++i) r *= 10;
  return n >= 0 ? r : 1.0 / r;
}

}  // namespace

void put_I(std::string& out, std::int64_t v, int w) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  right(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w);
}

void put_F(std::string& out, double v, int w, int d) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  std::string s = fixed_digits(std::fabs(v), d);
  bool neg = std::signbit(v);
  // The zero before the point is optional: it goes when the field has no room for it.
  int len = static_cast<int>(s.size()) + (neg ? 1 : 0);
  if (len > w && s.size() > 1 && s[0] == '0' && s[1] == '.') {
    s.erase(0, 1);
    --len;
  }
  if (len > w) return stars(out, w);
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (neg) out += '-';
  out += s;
}

void put_E(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  double a = std::fabs(v);
  bool neg = std::signbit(v);
  // Significant digits: d under scale 0, d + 1 under 1P.
  int sig = scale > 0 ? d + 1 : d;
  if (sig < 1) sig = 1;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, sig - 1);
  std::string_view sci(buf, static_cast<std::size_t>(r.ptr - buf));
  std::size_t epos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, epos))
    if (c != '.') digits += c;
  int exp10 = 0;
  std::from_chars(sci.data() + epos + 1 + (sci[epos + 1] == '+'), sci.data() + sci.size(), exp10);
  std::string s;
  int printed_exp;
  if (scale > 0) {
    s = digits.substr(0, 1) + "." + digits.substr(1);
    printed_exp = a == 0 ? 0 : exp10;
  } else {
    s = "0." + digits;
    printed_exp = a == 0 ? 0 : exp10 + 1;
  }
  int ae = std::abs(printed_exp);
  char ebuf[8];
  if (ae <= 99) {
    std::snprintf(ebuf, sizeof ebuf, "E%c%02d", printed_exp < 0 ? '-' : '+', ae);
  } else if (ae <= 999) {
    std::snprintf(ebuf, sizeof ebuf, "%c%03d", printed_exp < 0 ? '-' : '+', ae);
  } else {
    return stars(out, w);
  }
  s += ebuf;
  int len = static_cast<int>(s.size()) + (neg ? 1 : 0);
  if (len > w && scale <= 0) {  // the optional zero before the point
    s.erase(0, 1);
    --len;
  }
  if (len > w) return stars(out, w);
  out.append(static_cast<std::size_t>(w - len), ' ');
  if (neg) out += '-';
  out += s;
}

void put_G(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  double m = std::fabs(v);
  if (m == 0) {
    put_F(out, v, w - 4, d - 1);
    return put_X(out, 4);
  }
  // The bounds are computed in floating point as a Fortran run time does:
  // E form below 0.1 * (1 - 0.5 / 10^d) and from 10^d - 0.5 up.
  double exp_d = power_of_ten(d);
  double r_sc = 1 - 0.5 / exp_d;
  volatile double low = 0.1 * r_sc;
  if (m < low || 0.5 >= exp_d - m) return put_E(out, v, w, d, scale);
  // s digits before the point: the smallest s with m < 10^s * (1 - 0.5 / 10^d).
  int s = 0;
  while (s < d) {
    volatile double bound = power_of_ten(s) * r_sc;
    if (m < bound) break;
    ++s;
  }
  put_F(out, v, w - 4, d - s);
  put_X(out, 4);
}

void put_X(std::string& out, int n) { out.append(static_cast<std::size_t>(std::max(n, 0)), ' '); }

void put_A(std::string& out, std::string_view text, int w) {
  if (static_cast<int>(text.size()) >= w) {
    out.append(text.substr(0, static_cast<std::size_t>(w)));
  } else {
    out.append(static_cast<std::size_t>(w) - text.size(), ' ');
    out.append(text);
  }
}

}  // namespace memprep
