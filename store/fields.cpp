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

bool is_blank(std::string_view s) {
  return s.find_first_not_of(' ') == std::string_view::npos;
}

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

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The field without its leading and trailing blanks, for messages.
std::string_view shown(std::string_view field) {
  std::size_t b = field.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return field.substr(b, field.find_last_not_of(' ') + 1 - b);
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

// A buffer for the digits of one number: on the stack for any field of ordinary width.
class DigitText {
 public:
  DigitText(const DigitText&) = delete;
  DigitText& operator=(const DigitText&) = delete;
  explicit DigitText(std::size_t n) {
    if (n > sizeof small_) {
      big_.resize(n);
      p_ = big_.data();
    }
    end_ = p_;
  }
  void put(char c) { *end_++ = c; }
  const char* begin() const { return p_; }
  const char* end() const { return end_; }

 private:
  char small_[128];
  std::string big_;
  char* p_ = small_;
  char* end_;
};

// The value of `mantissa` (digits with at most one point, at least one digit) times
// 10^exp, correctly rounded. A value beyond the largest double is out_of_range; one below
// the smallest denormal reads as zero (of the sign given), as strtod gives it.
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

// ---- Free format ------------------------------------------------------------------------

namespace {

bool is_blank_char(int c) {
  return c == ' ' || c == '\t' || c == '\r';
}
// A character that ends a constant: a blank, a comma, a semicolon or a slash.
bool ends_constant(int c) {
  return c < 0 || is_blank_char(c) || c == ',' || c == ';' || c == '/';
}

// A real in list-directed form (the whole token): an optional sign, digits with at most one
// point (at least one digit), and optionally an exponent: E, D or Q (either case) with an
// optional sign, or a sign alone, followed by at least one digit.
RealStatus list_real(std::string_view s, double& v) {
  std::size_t i = 0, n = s.size();
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) {
    neg = s[i] == '-';
    ++i;
  }
  DigitText text(n + 32);
  bool point = false, digit = false;
  for (; i < n; ++i) {
    char c = s[i];
    if (is_digit(c)) {
      text.put(c);
      digit = true;
    } else if (c == '.' && !point) {
      text.put('.');
      point = true;
    } else {
      break;
    }
  }
  if (!digit) return RealStatus::bad;
  long long exp = 0;
  if (i < n) {
    char c = s[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q')
      ++i;
    else if (c != '+' && c != '-')
      return RealStatus::bad;
    bool eneg = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) {
      eneg = s[i] == '-';
      ++i;
    }
    if (i == n) return RealStatus::bad;
    for (; i < n; ++i) {
      if (!is_digit(s[i])) return RealStatus::bad;
      if (exp < 1000000000) exp = exp * 10 + (s[i] - '0');
    }
    if (eneg) exp = -exp;
  }
  return convert(text, exp, neg, v);
}

constexpr std::int64_t kMaxRepeat = 200000000;  // gfortran's MAX_REPEAT

}  // namespace

ListInput::ListInput(std::string_view record) : rec_(record) {}

ListInput::ListInput(std::string_view record, More more) : rec_(record), more_(std::move(more)) {}

// The next record is fetched only when a character of it is needed: a read that ends at
// the end of a record leaves the following record to the next read.
void ListInput::fill() {
  if (!pending_) return;
  pending_ = false;
  std::optional<std::string_view> r;
  if (more_) r = more_();
  if (!r) {
    eof_ = true;
    return;
  }
  rec_ = *r;
  pos_ = 0;
}

int ListInput::peek() {
  fill();
  if (eof_) return kEof;
  if (pos_ < rec_.size()) return static_cast<unsigned char>(rec_[pos_]);
  return kEor;
}

void ListInput::bump() {
  fill();
  if (eof_) return;
  if (pos_ < rec_.size())
    ++pos_;
  else
    pending_ = true;  // the end of the record
}

void ListInput::eat_spaces() {
  fill();
  if (eof_) return;
  while (pos_ < rec_.size() && is_blank_char(static_cast<unsigned char>(rec_[pos_]))) ++pos_;
}

// The separator after a value or a null: blanks, then one comma or semicolon (with the
// blanks after it), a slash, or the end of the record.
void ListInput::eat_separator() {
  eat_spaces();
  comma_ = false;
  at_eol_ = false;
  int c = peek();
  if (c == ',' || c == ';') {
    bump();
    comma_ = true;
    eat_spaces();
  } else if (c == '/') {
    bump();
    ended_ = true;
  } else if (c == kEor) {
    bump();
    at_eol_ = true;
  }
}

// At a record end: passes over record ends and blank records, and over commas standing
// before a record end or before the next value, unless the separator already held a comma.
void ListInput::finish_separator() {
  for (;;) {
    eat_spaces();
    int c = peek();
    if (c == kEor) {
      bump();
      continue;
    }
    if ((c == ',' || c == ';') && !comma_) {
      bump();
      eat_spaces();
      if (peek() == kEor) {
        bump();
        continue;
      }
      return;
    }
    if (c == '/') {
      bump();
      ended_ = true;
    }
    return;
  }
}

void ListInput::fail(std::string_view tok, const char* what) const {
  throw FieldError("value " + std::to_string(item_) + ", column " + std::to_string(column_) + ": " +
                   quoted(tok) + what);
}

void ListInput::read_quoted() {
  char q = static_cast<char>(peek());
  bump();
  held_.clear();
  for (;;) {
    int c = peek();
    if (c == kEof) break;  // not closed at the end of the file: the text read (as gfortran)
    if (c == kEor) {       // the string goes on in the next record
      bump();
      continue;
    }
    bump();
    if (c == q) {
      if (peek() == q) {
        held_ += q;
        bump();
        continue;
      }
      break;
    }
    held_ += static_cast<char>(c);
  }
  if (!ends_constant(peek())) {
    std::size_t end = pos_;
    while (end < rec_.size() && !ends_constant(static_cast<unsigned char>(rec_[end]))) ++end;
    fail(rec_.substr(pos_, end - pos_), " follows a quoted string without a separator");
  }
}

bool ListInput::start_item(Kind kind, std::string_view& tok) {
  ++item_;
  fresh_ = false;
  if (repeat_ > 0) {
    --repeat_;
    if (repeat_null_) return false;
    if (kind != repeat_kind_) fail(held_, " is repeated from an item of another type");
    tok = held_;
    return true;
  }
  if (ended_) return false;
  if (first_) {
    first_ = false;
    eat_spaces();
    int c = peek();
    if (c == kEor) {  // a blank record first
      bump();
      comma_ = false;
      finish_separator();
    } else if (c == ',' || c == ';' || c == '/') {
      eat_separator();  // a null value first, or the slash
      return false;
    }
  } else {
    eat_spaces();
    if (at_eol_ || peek() == kEor) finish_separator();
  }
  if (ended_) return false;
  int c = peek();
  if (c == kEof)
    throw FieldError(std::string(more_ ? "end of file" : "end of record") + " where value " +
                     std::to_string(item_) + " is needed");
  if (c == ',' || c == ';' || c == '/') {  // a null value, or the slash
    eat_separator();
    return false;
  }
  column_ = pos_ + 1;
  // r*c or r*: digits and an asterisk.
  std::size_t p = pos_;
  while (p < rec_.size() && is_digit(rec_[p])) ++p;
  std::int64_t count = 0;
  if (p > pos_ && p < rec_.size() && rec_[p] == '*') {
    std::string_view digits = rec_.substr(pos_, p - pos_);
    bool too_big = false;
    if (!parse_integer(digits, count, too_big) || count > kMaxRepeat)
      fail(rec_.substr(pos_, p + 1 - pos_), " is a repeat count above 200000000");
    if (count == 0) fail(rec_.substr(pos_, p + 1 - pos_), " is a zero repeat count");
    pos_ = p + 1;
    if (ends_constant(peek())) {  // r*: null values
      repeat_ = count - 1;
      repeat_null_ = true;
      eat_separator();
      return false;
    }
  }
  if (kind == Kind::word && (peek() == '\'' || peek() == '"')) {
    read_quoted();
    tok = held_;
  } else {
    std::size_t start = pos_;
    while (pos_ < rec_.size() && !ends_constant(static_cast<unsigned char>(rec_[pos_]))) ++pos_;
    tok = rec_.substr(start, pos_ - start);
  }
  if (count > 1) {
    if (tok.data() != held_.data()) held_.assign(tok);
    tok = held_;
    repeat_ = count - 1;
    repeat_null_ = false;
    repeat_kind_ = kind;
  }
  fresh_ = true;
  return true;
}

void ListInput::end_item() {
  if (fresh_) eat_separator();
}

bool ListInput::next(std::int64_t& v) {
  std::string_view tok;
  if (!start_item(Kind::integer, tok)) return false;
  std::int64_t x = 0;
  bool too_big = false;
  if (!parse_integer(tok, x, too_big))
    fail(tok, too_big ? " does not fit in a 64-bit integer" : " is not an integer");
  end_item();
  v = x;
  return true;
}

bool ListInput::next(double& v) {
  std::string_view tok;
  if (!start_item(Kind::real, tok)) return false;
  double x = 0;
  switch (list_real(tok, x)) {
    case RealStatus::ok:
      end_item();
      v = x;
      return true;
    case RealStatus::out_of_range:
      fail(tok, " is too large for a real number");
    case RealStatus::bad:
      break;
  }
  fail(tok, " is not a number");
}

bool ListInput::next_word(std::string& w) {
  std::string_view tok;
  if (!start_item(Kind::word, tok)) return false;
  w.assign(tok);
  end_item();
  return true;
}

// ---- Output -----------------------------------------------------------------------------
// Every field is built in a stack buffer and appended once: these run for every field of
// files with 100000 lines.

namespace {

void stars(std::string& out, int w) {
  out.append(static_cast<std::size_t>(std::max(w, 0)), '*');
}

// Appends the minus sign (when neg) and body right-justified in w columns, which must hold
// them; built in one stack buffer and appended once.
void emit(std::string& out, bool neg, std::string_view body, int w) {
  const std::size_t width = static_cast<std::size_t>(w);
  const std::size_t len = body.size() + (neg ? 1 : 0);
  char buf[128];
  if (width > sizeof buf) {
    out.append(width - len, ' ');
    if (neg) out += '-';
    out.append(body);
    return;
  }
  std::memset(buf, ' ', width - len);
  if (neg) buf[width - len] = '-';
  std::memcpy(buf + width - body.size(), body.data(), body.size());
  out.append(buf, width);
}

void right(std::string& out, std::string_view text, int w) {
  if (static_cast<int>(text.size()) > w) return stars(out, w);
  emit(out, false, text, w);
}

void put_nonfinite(std::string& out, double v, int w) {
  if (std::isnan(v)) return right(out, "NaN", w);
  bool neg = v < 0;
  std::string_view longer = neg ? "-Infinity" : "Infinity";
  std::string_view shorter = neg ? "-Inf" : "Inf";
  right(out, static_cast<int>(longer.size()) <= w ? longer : shorter, w);
}

// Appends the minus sign (when neg) and body, right-justified in w columns. A body that
// begins "0." loses that optional zero when the field has no room for it (if
// may_drop_zero). Returns false, appending nothing, when the field is too narrow.
bool place(std::string& out, bool neg, std::string_view body, int w, bool may_drop_zero) {
  int len = static_cast<int>(body.size()) + (neg ? 1 : 0);
  if (len > w && may_drop_zero && body.size() > 1 && body[0] == '0' && body[1] == '.') {
    body.remove_prefix(1);
    --len;
  }
  if (len > w) return false;
  emit(out, neg, body, w);
  return true;
}

// The digits of a (0 <= a < 2^53) with d decimals (1 <= d <= 9), correctly rounded with
// ties to even, in exact integer arithmetic: the integer part is exact in a double, and the
// fraction m * 2^-k times 10^d is rounded from its exact 128-bit product. Gives the same
// text as std::to_chars(fixed, d), several times faster. Returns the length written.
__extension__ typedef unsigned __int128 u128;

std::size_t fixed_digits_exact(char* buf, double a, int d) {
  static constexpr std::uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                             100000, 1000000, 10000000, 100000000, 1000000000};
  std::uint64_t ip = static_cast<std::uint64_t>(a);  // truncation: a - ip is exact
  double f = a - static_cast<double>(ip);
  std::uint64_t r = 0;
  // The fraction times 10^d in double precision is below 2^30, within 2^-24 of the exact
  // product: unless it lies within 2^-20 of a half, it rounds as the exact product does.
  const double x = f * static_cast<double>(kPow10[d]);
  const std::uint64_t fl = static_cast<std::uint64_t>(x);
  const double fr = x - static_cast<double>(fl);
  if (f != 0 && std::fabs(fr - 0.5) > 0x1p-20) {
    r = fl + (fr > 0.5 ? 1 : 0);
    if (r == kPow10[d]) {  // rounded up into the integer part
      r = 0;
      ++ip;
    }
  } else if (f != 0) {
    std::uint64_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    int biased = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int shift;  // f = m * 2^-shift
    if (biased == 0) {
      shift = 1074;
    } else {
      m |= std::uint64_t{1} << 52;
      shift = 1075 - biased;
    }
    u128 p = static_cast<u128>(m) * kPow10[d];  // below 2^83
    if (shift < 127) {
      u128 q = p >> shift;
      u128 rem = p - (q << shift);
      u128 half = static_cast<u128>(1) << (shift - 1);
      if (rem > half || (rem == half && (q & 1))) ++q;
      r = static_cast<std::uint64_t>(q);
    }
    if (r == kPow10[d]) {  // rounded up into the integer part
      r = 0;
      ++ip;
    }
  }
  auto res = std::to_chars(buf, buf + 20, ip);
  char* e = res.ptr;
  *e++ = '.';
  for (int i = d - 1; i >= 0; --i) {
    e[i] = static_cast<char>('0' + r % 10);
    r /= 10;
  }
  return static_cast<std::size_t>(e + d - buf);
}

// Fw.d of a finite value; false (nothing appended) when it does not fit. The digits are
// those of the exact binary value correctly rounded (ties to even, as the Fortran run time
// gets them from the C library). A negative value that rounds to zero keeps its minus sign,
// as does negative zero ("-0.00"), as gfortran writes them.
bool fixed_field(std::string& out, double v, int w, int d) {
  if (d < 0) d = 0;
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  if (d >= 1 && d <= 9 && a < 9007199254740992.0) {  // below 2^53: the exact integer path
    char buf[40];
    std::size_t n = fixed_digits_exact(buf, a, d);
    return place(out, neg, std::string_view(buf, n), w, true);
  }
  // The widest text: 309 integer digits, the point and d decimals. A text longer than the
  // buffer cannot fit any field narrower than it.
  char buf[352];
  auto r = std::to_chars(buf, buf + sizeof buf - 1, a, std::chars_format::fixed, d);
  if (r.ec != std::errc()) {
    if (w < static_cast<int>(sizeof buf)) return false;
    std::string big(static_cast<std::size_t>(d) + 400, '\0');
    auto rb =
        std::to_chars(big.data(), big.data() + big.size() - 1, a, std::chars_format::fixed, d);
    if (rb.ec != std::errc()) return false;
    big.resize(static_cast<std::size_t>(rb.ptr - big.data()));
    if (d == 0) big += '.';
    return place(out, neg, big, w, true);
  }
  char* end = r.ptr;
  if (d == 0) *end++ = '.';
  return place(out, neg, std::string_view(buf, static_cast<std::size_t>(end - buf)), w, true);
}

// Ew.d under scale factor k of a finite value; false (nothing appended) when it does not
// fit or k is out of the range Fortran allows (-d < k < d + 2).
bool exp_field(std::string& out, double v, int w, int d, int k) {
  if (k <= -d || k >= d + 2 || d > 120) return false;
  // Significant digits: d + 1 under a positive k (k before the point, d - k + 1 after it),
  // otherwise d + k after "0." and -k zeros.
  int sig = k > 0 ? d + 1 : d + k;
  bool neg = std::signbit(v);
  double a = std::fabs(v);
  char sci[160];
  auto r = std::to_chars(sci, sci + sizeof sci, a, std::chars_format::scientific, sig - 1);
  if (r.ec != std::errc()) return false;
  char digits[130];
  int nd = 0;
  const char* p = sci;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[nd++] = *p;
  int exp10 = 0;
  ++p;  // 'e'
  bool eneg = *p == '-';
  for (++p; p < r.ptr; ++p) exp10 = exp10 * 10 + (*p - '0');
  if (eneg) exp10 = -exp10;
  int e = a == 0 ? 0 : exp10 - k + 1;

  char body[300];
  int n = 0;
  if (k > 0) {
    for (int i = 0; i < k; ++i) body[n++] = digits[i];
    body[n++] = '.';
    for (int i = k; i < nd; ++i) body[n++] = digits[i];
  } else {
    body[n++] = '0';
    body[n++] = '.';
    for (int i = 0; i < -k; ++i) body[n++] = '0';
    for (int i = 0; i < nd; ++i) body[n++] = digits[i];
  }
  int ae = e < 0 ? -e : e;
  if (ae <= 99) {
    body[n++] = 'E';
    body[n++] = e < 0 ? '-' : '+';
  } else if (ae <= 999) {  // three digits, no letter
    body[n++] = e < 0 ? '-' : '+';
    body[n++] = static_cast<char>('0' + ae / 100);
  } else {
    return false;
  }
  body[n++] = static_cast<char>('0' + ae / 10 % 10);
  body[n++] = static_cast<char>('0' + ae % 10);
  return place(out, neg, std::string_view(body, static_cast<std::size_t>(n)), w, k <= 0);
}

}  // namespace

void put_I(std::string& out, std::int64_t v, int w) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  right(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), w);
}

void put_F(std::string& out, double v, int w, int d) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (!fixed_field(out, v, w, d)) stars(out, w);
}

void put_E(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (!exp_field(out, v, w, d, scale)) stars(out, w);
}

void put_G(std::string& out, double v, int w, int d, int scale) {
  if (!std::isfinite(v)) return put_nonfinite(out, v, w);
  if (d <= 0) return put_E(out, v, w, d, scale);
  double m = std::fabs(v);
  int s = 1;  // digits before the point in the F form; 0 takes F(w-4).(d-1)
  if (m != 0) {
    // The bounds are computed in floating point exactly as gfortran's run time does
    // (libgfortran write_float.def, output_float_FMT_G_): 10^d by repeated multiplication,
    // r_sc = 1 - 0.5/10^d; the E form below 0.1 * r_sc and from 10^d - 0.5 up (tested
    // against gfortran at every bound and its neighbours).
    double exp_d = 1;
    for (int i = 0; i < d; ++i) exp_d *= 10;
    double r_sc = 1 - 0.5 / exp_d;
    if (m < 0.1 * r_sc || 0.5 >= exp_d - m) return put_E(out, v, w, d, scale);
    // s: the smallest s with m < 10^s * r_sc.
    double p = 1;
    for (s = 0; s < d; ++s, p *= 10)
      if (m < p * r_sc) break;
  }
  if (!fixed_field(out, v, w - 4, d - s)) return stars(out, w);
  put_X(out, 4);
}

void put_X(std::string& out, int n) {
  out.append(static_cast<std::size_t>(std::max(n, 0)), ' ');
}

void put_A(std::string& out, std::string_view text, int w) {
  if (w <= 0) return;
  if (static_cast<int>(text.size()) >= w) {
    out.append(text.substr(0, static_cast<std::size_t>(w)));
  } else {
    out.append(static_cast<std::size_t>(w) - text.size(), ' ');
    out.append(text);
  }
}

}  // namespace memprep
