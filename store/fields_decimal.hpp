// Decimal conversion shared by the fixed-column and free-format readers of the field
// notation (store/fields.hpp): the digits of one number and their correctly rounded value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace memprep::decimal {

inline bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// The text in apostrophes for a message, control and non-ASCII bytes as \xNN.
std::string quoted(std::string_view text);

// The field without its leading and trailing blanks, for messages.
std::string_view shown(std::string_view field);

// Parses an integer made of an optional sign and digits; false when it is not one or does
// not fit in 64 bits (out_of_range set then).
bool parse_integer(std::string_view s, std::int64_t& v, bool& out_of_range);

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
RealStatus convert(DigitText& text, long long exp, bool neg, double& v);

}  // namespace memprep::decimal
