#include "io/fields_decimal.hpp"

#include <charconv>
#include <system_error>

namespace memprep::decimal {

namespace {

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

}  // namespace

// More than 19 digits, or a power of ten beyond 10^22: the significant digits and the
// exponent go to the standard library's correctly rounded conversion.
Status convert_long(std::string_view mantissa, long long e10, bool neg, double& v) {
  DigitText text(mantissa.size() + 32);
  for (char c : mantissa)  // the digits from the first nonzero one, without blanks or point
    if (is_digit(c) && (c != '0' || text.begin() != text.end())) text.put(c);
  const long long significant = text.end() - text.begin();
  if (significant == 0) {  // all zeros, whatever the exponent
    v = neg ? -0.0 : 0.0;
    return Status::ok;
  }
  text.put('e');
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, e10);
  for (const char* c = buf; c < r.ptr; ++c) text.put(*c);
  double value = 0;
  auto [ptr, ec] = std::from_chars(text.begin(), text.end(), value);
  if (ec == std::errc::result_out_of_range) {
    // The value lies in [10^(s-1), 10^s) times 10^e10 for s significant digits: at 1 or more
    // it overflowed, below 1 it underflowed and reads as zero.
    if (significant + e10 > 0) return Status::out_of_range;
    value = 0;
  } else if (ec != std::errc() || ptr != text.end()) {
    return Status::bad;
  }
  v = neg ? -value : value;
  return Status::ok;
}

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

}  // namespace memprep::decimal
