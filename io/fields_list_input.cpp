#include <string>
#include <utility>

#include "io/errors.hpp"
#include "io/fields.hpp"
#include "io/fields_decimal.hpp"

namespace memprep {

// ---- Free format ------------------------------------------------------------------------

namespace {

using decimal::is_digit;
using decimal::quoted;
using decimal::Status;

bool is_blank_char(int c) {
  return c == ' ' || c == '\t' || c == '\r';
}
// A character that ends a constant: a blank, a comma, a semicolon or a slash.
bool ends_constant(int c) {
  return c < 0 || is_blank_char(c) || c == ',' || c == ';' || c == '/';
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
    if (decimal::read_integer(digits, count) != Status::ok || count > kMaxRepeat)
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
  Status st = decimal::read_integer(tok, x);
  if (st != Status::ok)
    fail(tok,
         st == Status::out_of_range ? " does not fit in a 64-bit integer" : " is not an integer");
  end_item();
  v = x;
  return true;
}

bool ListInput::next(double& v) {
  std::string_view tok;
  if (!start_item(Kind::real, tok)) return false;
  double x = 0;
  switch (decimal::read_real(tok, {false}, x)) {
    case Status::ok:
      end_item();
      v = x;
      return true;
    case Status::out_of_range:
      fail(tok, " is too large for a real number");
    case Status::bad:
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

}  // namespace memprep
