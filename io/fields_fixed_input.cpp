#include <algorithm>
#include <string>

#include "io/errors.hpp"
#include "io/fields.hpp"
#include "io/fields_decimal.hpp"

namespace memprep {

// ---- Columns ------------------------------------------------------------------------

// at() where the literal reaches past the end of rec (or first is 0).
bool at_padded(std::string_view rec, std::size_t first, std::string_view literal) {
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

using decimal::Status;

[[noreturn]] void refuse_integer(std::string prefix, std::string_view field, Status st) {
  throw FieldError(
      prefix + decimal::quoted(decimal::shown(field)) +
      (st == Status::out_of_range ? " does not fit in a 64-bit integer" : " is not an integer"));
}

[[noreturn]] void refuse_real(std::string prefix, std::string_view field, Status st) {
  throw FieldError(
      prefix + decimal::quoted(decimal::shown(field)) +
      (st == Status::out_of_range ? " is too large for a real number" : " is not a number"));
}

std::string columns_text(std::size_t first, std::size_t last) {
  return "columns " + std::to_string(first) + "-" + std::to_string(last) + ": ";
}

}  // namespace

// An Iw field by gfortran's rules (libgfortran io/read.c, read_decimal, checked against
// gfortran 12): blanks ignored; all blank reads 0; an optional sign and at least one digit.
std::int64_t parse_I(std::string_view field) {
  std::int64_t v = 0;
  Status st = decimal::read_integer(field, v);
  if (st != Status::ok) refuse_integer({}, field, st);
  return v;
}

// A real in an Fw.d or Ew.d field, by the rules of gfortran's formatted input (checked
// against gfortran 12 over every form; libgfortran io/read.c, read_f), as decimal::read_real
// gives them. Departing from gfortran deliberately: Inf, Infinity and NaN are not numbers,
// and a value beyond the largest double is an error (gfortran gives Infinity).
double parse_F(std::string_view field, int d, int scale) {
  double v = 0;
  Status st = decimal::read_real(field, {true, d, scale}, v);
  if (st != Status::ok) refuse_real({}, field, st);
  return v;
}

void refuse_integer_field(std::string_view field, std::size_t first, std::size_t last, Status st) {
  refuse_integer(columns_text(first, last), field, st);
}

void refuse_real_field(std::string_view field, std::size_t first, std::size_t last, Status st) {
  refuse_real(columns_text(first, last), field, st);
}

}  // namespace memprep
