// The field notation of every file the program reads or writes: fixed columns, the
// Fortran edit descriptors Iw, Fw.d, Ew.d, Gw.d (with or without the 1P scale factor),
// nX and A, and list-directed ("free format") input.
//
// Columns are 1-based and inclusive, as the file layouts give them. A record shorter
// than the columns asked for reads as if padded with blanks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "io/fields_decimal.hpp"

namespace memprep {

// ---- Columns ------------------------------------------------------------------------

// Columns first..last of rec, as far as rec reaches (possibly empty).
inline std::string_view cols(std::string_view rec, std::size_t first, std::size_t last) {
  if (first < 1) first = 1;
  if (last < first || first > rec.size()) return {};
  return rec.substr(first - 1, std::min(last, rec.size()) - (first - 1));
}

// True when the columns of rec starting at `first` hold `literal` exactly (case and
// blanks significant), rec taken as padded with blanks.
bool at_padded(std::string_view rec, std::size_t first, std::string_view literal);
inline bool at(std::string_view rec, std::size_t first, std::string_view literal) {
  if (first >= 1 && rec.size() >= first - 1 + literal.size())  // within the record
    return rec.substr(first - 1, literal.size()) == literal;
  return at_padded(rec, first, literal);
}

// True when rec begins with literal (at(rec, 1, literal)).
inline bool starts(std::string_view rec, std::string_view literal) {
  return at(rec, 1, literal);
}

// True when s holds only blanks (or nothing).
bool is_blank(std::string_view s);

// s without its trailing blanks.
std::string_view trim_right(std::string_view s);

// s without its leading and trailing blanks.
inline std::string_view trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string_view() : trim_right(s.substr(b));
}

// The record cut to a buffer of n characters (a longer record loses its tail).
inline std::string_view cut(std::string_view rec, std::size_t n) {
  return rec.substr(0, n);
}

// ---- Fixed-column input ---------------------------------------------------------------
// The rules of gfortran's formatted READ (checked against gfortran 12 over every form):
// blanks anywhere in a numeric field are ignored; an all-blank field reads 0. A field that
// does not convert throws FieldError("columns A-B: 'TEXT' is not ..."), TEXT being the
// field without its leading and trailing blanks.

// The refusals of the field conversions below, out of their way: "columns A-B: 'text' is
// not an integer" and the like.
[[noreturn, gnu::cold]] void refuse_integer_field(std::string_view field, std::size_t first,
                                                  std::size_t last, decimal::Status st);
[[noreturn, gnu::cold]] void refuse_real_field(std::string_view field, std::size_t first,
                                               std::size_t last, decimal::Status st);

// Iw over columns first..last: an optional sign and at least one digit.
inline std::int64_t get_I(std::string_view rec, std::size_t first, std::size_t last) {
  const std::string_view f = cols(rec, first, last);
  std::int64_t v = 0;
  const decimal::Status st = decimal::read_integer(f, v);
  if (st != decimal::Status::ok) refuse_integer_field(f, first, last, st);
  return v;
}

// Fw.d or Ew.d over columns first..last: without a decimal point the last d digits are
// decimals ("1024" under F6.3 reads 1.024); an explicit point overrides d; an exponent may
// follow (E, D or Q in either case, or a sign alone: "16-2" under F4.1 reads 0.016), with
// at least one digit. Under a scale factor k (kP) a value without an exponent is divided
// by 10^k. As gfortran, a sign or a point alone reads 0, and so does a missing mantissa
// ("E5"). Refused deliberately, where gfortran reads NaN or Infinity: the texts NaN, Inf,
// Infinity, and a value beyond the largest double (a damaged number stops the run).
inline double get_F(std::string_view rec, std::size_t first, std::size_t last, int d,
                    int scale = 0) {
  const std::string_view f = cols(rec, first, last);
  double v = 0;
  const decimal::Status st = decimal::read_real(f, {true, d, scale}, v);
  if (st != decimal::Status::ok) refuse_real_field(f, first, last, st);
  return v;
}

// The refusals of get_F without the value: for a field that is only checked.
inline void check_F(std::string_view rec, std::size_t first, std::size_t last, int d,
                    int scale = 0) {
  const std::string_view f = cols(rec, first, last);
  const decimal::Status st = decimal::check_real(f, {true, d, scale});
  if (st != decimal::Status::ok) refuse_real_field(f, first, last, st);
}

// The same conversions on a bare field text (no columns), used by get_I/get_F.
std::int64_t parse_I(std::string_view field);
double parse_F(std::string_view field, int d, int scale = 0);

// ---- Free format (list-directed input) -------------------------------------------------
// The rules of gfortran's list-directed READ (checked against gfortran 12, libgfortran
// io/list_read.c):
// - items are separated by a comma, a semicolon, blanks (blank, tab, CR) or the end of a
//   record, with blanks around a comma; a comma right after another separator leaves a
//   null value (the variable keeps its value), as does a comma first in the read;
// - after a value that ends its record, and after blank records at the start of the read,
//   commas at the start of the next records are taken as that separator (no null value);
// - r*c gives c r times, r* gives r null values (0 < r <= 200000000); a repeated value
//   keeps the type of the item that read it first;
// - a slash ends the list: every later item keeps its value;
// - integers: an optional sign and digits; reals: an optional sign, digits with at most one
//   point, an optional exponent (E, D or Q with an optional sign, or a sign alone, then
//   digits); an item must end at a separator;
// - a text item is a word up to a blank, comma, semicolon, slash or the end of the record,
//   or a string in quotes or apostrophes (a doubled quote stands for one; the string may go
//   on over records).
// Departing from gfortran deliberately: Inf, Infinity and NaN are not numbers, a real beyond
// the largest double is an error (a damaged number stops the run); a slash after blank
// records at the start of a read, or after a value's record end, ends the list as the
// Fortran standard has it (gfortran 12 there reads the character after the slash).
class ListInput {
 public:
  // Supplies the next record when the current one is used up; nullopt at the end of file.
  using More = std::function<std::optional<std::string_view>()>;

  // Reads from one record only (an internal read of a line buffer): running out of the
  // record where a value is needed throws FieldError("end of record ...").
  explicit ListInput(std::string_view record);
  // Reads from `record`, then from further records as `more` gives them (blank records are
  // only separators); running out of records throws FieldError("end of file ...").
  ListInput(std::string_view record, More more);

  // Each returns true when the variable was given a value, false when it keeps its value
  // (a null value, or a slash has ended the list). A value that does not convert throws
  // FieldError("value N, column C: 'TEXT' is not ...").
  bool next(std::int64_t& v);
  bool next(double& v);
  // A text item: the word up to the next blank, comma, semicolon or slash, or a quoted string.
  bool next_word(std::string& w);

  // 1-based number of the item read last (for messages).
  int item() const { return item_; }

 private:
  enum class Kind { integer, real, word };
  static constexpr int kEor = -2;  // the end of the current record
  static constexpr int kEof = -1;  // past the last record

  void fill();
  int peek();
  void bump();
  void eat_spaces();
  void eat_separator();
  void finish_separator();
  // Finds item `kind`: false when it is null or the list has ended; otherwise its constant
  // in `tok` (a view into the record, or held_).
  bool start_item(Kind kind, std::string_view& tok);
  // Takes the separator after a value just read (not after a repeated one).
  void end_item();
  void read_quoted();
  [[noreturn]] void fail(std::string_view tok, const char* what) const;

  std::string_view rec_;
  std::size_t pos_ = 0;
  More more_;
  bool pending_ = false;      // the end of rec_ was taken; the next record not yet fetched
  bool eof_ = false;          // past the last record
  bool first_ = true;         // no item read yet
  bool ended_ = false;        // a slash was met
  bool comma_ = false;        // the last separator held a comma
  bool at_eol_ = false;       // the last separator was the end of a record
  bool fresh_ = false;        // the current value was read from the text (not repeated)
  std::int64_t repeat_ = 0;   // items still to give from an r*c or r* item
  bool repeat_null_ = false;  // r*: they are null
  Kind repeat_kind_ = Kind::integer;
  std::string held_;        // a repeated constant, or a quoted string
  std::size_t column_ = 0;  // 1-based column of the current item's constant
  int item_ = 0;
};

// ---- Output ---------------------------------------------------------------------------
// Each appends one field to a line buffer. A number that does not fit its field gives w
// asterisks. Non-finite reals give right-justified "Infinity", "-Infinity" or "NaN"
// ("Inf", "-Inf" when the field is narrower than the long form; asterisks when even those
// do not fit).

void put_I(std::string& out, std::int64_t v, int w);
void put_F(std::string& out, double v, int w, int d);
// Ew.d under a scale factor k (0: 0.123457E+04; 1: 1.234568E+03). Exponents beyond 99
// take three digits and no letter.
void put_E(std::string& out, double v, int w, int d, int scale = 0);
// Gw.d: the F form (F(w-4).(d-s) and four blanks) for magnitudes in
// [0.1 - 0.5e-(d+1), 10^d - 0.5) and for 0, otherwise the E form under the scale factor.
void put_G(std::string& out, double v, int w, int d, int scale = 0);
void put_X(std::string& out, int n);
// A: the text at its own length. Aw: the text in w columns (right-justified when shorter,
// its first w characters when longer).
inline void put_A(std::string& out, std::string_view text) {
  out.append(text);
}
void put_A(std::string& out, std::string_view text, int w);

// The general paths of put_I, put_F, put_E and put_G, which they take for whatever their
// direct paths do not: every value and width gives the same text by either path.
namespace general {
void put_I(std::string& out, std::int64_t v, int w);
void put_F(std::string& out, double v, int w, int d);
void put_E(std::string& out, double v, int w, int d, int scale = 0);
void put_G(std::string& out, double v, int w, int d, int scale = 0);
}  // namespace general

}  // namespace memprep
