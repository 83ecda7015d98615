// The field notation of every file the program reads or writes: fixed columns, the
// Fortran edit descriptors Iw, Fw.d, Ew.d, Gw.d (with or without the 1P scale factor),
// nX and A, and list-directed ("free format") input.
//
// Columns are 1-based and inclusive, as the file layouts give them. A record shorter
// than the columns asked for reads as if padded with blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace memprep {

// ---- Columns ------------------------------------------------------------------------

// Columns first..last of rec, as far as rec reaches (possibly empty).
std::string_view cols(std::string_view rec, std::size_t first, std::size_t last);

// True when the columns of rec starting at `first` hold `literal` exactly (case and
// blanks significant), rec taken as padded with blanks.
bool at(std::string_view rec, std::size_t first, std::string_view literal);

// True when rec begins with literal (at(rec, 1, literal)).
inline bool starts(std::string_view rec, std::string_view literal) { return at(rec, 1, literal); }

// True when s holds only blanks (or nothing).
bool is_blank(std::string_view s);

// s without its trailing blanks.
std::string_view trim_right(std::string_view s);

// The record cut to a buffer of n characters (a longer record loses its tail).
inline std::string_view cut(std::string_view rec, std::size_t n) { return rec.substr(0, n); }

// ---- Fixed-column input ---------------------------------------------------------------
// Blanks anywhere in a numeric field are ignored; an all-blank field reads 0. A field that
// does not convert throws FieldError("columns A-B: 'TEXT' is not ...").

// Iw over columns first..last.
std::int64_t get_I(std::string_view rec, std::size_t first, std::size_t last);

// Fw.d or Ew.d over columns first..last: without a decimal point the last d digits are
// decimals; an explicit point overrides d; an exponent may follow (E, D, e, d, or a sign
// alone). Under a scale factor k (kP) a value without an exponent is divided by 10^k.
double get_F(std::string_view rec, std::size_t first, std::size_t last, int d, int scale = 0);

// The same conversions on a bare field text (no columns), used by get_I/get_F.
std::int64_t parse_I(std::string_view field);
double parse_F(std::string_view field, int d, int scale = 0);

// ---- Free format (list-directed input) -------------------------------------------------
// Items are separated by blanks, commas or the end of a record; two commas in a row leave a
// null value (the variable keeps its value); r*c repeats c r times and r* gives r nulls; a
// slash ends the list, and every later item keeps its value.
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
  // (a null value, or a slash has ended the list).
  bool next(std::int64_t& v);
  bool next(double& v);
  // A text item: the word up to the next blank, comma or slash.
  bool next_word(std::string& w);

  // 1-based number of the item read last (for messages).
  int item() const { return item_; }

 private:
  // Finds the next item; returns its text in `tok` (empty for a null value), or false
  // when the list has ended at a slash.
  bool next_token(std::string_view& tok);
  bool refill();

  std::string_view rec_;
  std::size_t pos_ = 0;
  More more_;
  bool ended_ = false;        // a slash was met
  bool after_value_ = false;  // a value was taken and its separator not yet consumed
  std::int64_t repeat_ = 0;   // items still to give from an r*c item
  std::string_view repeat_tok_;
  std::string held_;          // copy of a repeated token (the record may change under it)
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
inline void put_A(std::string& out, std::string_view text) { out.append(text); }
void put_A(std::string& out, std::string_view text, int w);

}  // namespace memprep
