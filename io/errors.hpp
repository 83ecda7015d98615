// The two ways a run can fail.
//
// Stop:      a condition the program detects itself. Its message is one console line,
//            written to standard output exactly as it stands (leading blank included),
//            followed on standard error by its detail when it has one; the process then
//            exits with status 1.
// IoFailure: a file that cannot be opened, an end of file where a record is needed,
//            a field that does not convert. Reported on standard error as
//            "memprep: FILE:LINE: condition" (or "memprep: FILE: condition" when no
//            line applies), exit status 1.
// Messages name a file as name_for_message gives it, so that one message is one line
// whatever the name holds.
#pragma once

#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace memprep {

// A file name in single quotes, with a quote, a backslash and every byte that is not a
// printable character written as an escape: \', \\, \t, \n, \r, \xHH. Printable UTF-8
// characters stay as they are.
std::string quoted_name(std::string_view name);

// A file name as messages write it: a plain name as it is; a name that is empty or holds a
// blank, a tab, a quote, a backslash or a byte that is not printable, as quoted_name gives
// it, so that a stray blank or tab shows and a line end cannot split the message.
std::string name_for_message(std::string_view name);

struct Stop : std::runtime_error {
  explicit Stop(const std::string& console_line, std::string where_and_what = {})
      : std::runtime_error(console_line), detail(std::move(where_and_what)) {}

  // A second line for standard error when the console line names no file or line: the file
  // and line that caused the stop and what to change, as "FILE:LINE: text".
  std::string detail;
};

// A real number in a message: the shortest text that reads back as the same value.
inline std::string number_text(double v) {
  char buf[32];  // the shortest form of a double takes at most 24 characters
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("(a number)");
}

// A real number to `digits` significant digits (1 to 17), for summaries, listings and plots;
// the general form, as printf's %g writes it.
inline std::string figures_text(double v, int digits) {
  char buf[40];  // sign, 17 digits, point, exponent
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, digits);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : number_text(v);
}

// "FILE:LINE", or "FILE" when no line applies (line 0): how messages name a place.
inline std::string where(const std::string& file, std::int64_t line) {
  std::string s = name_for_message(file);
  if (line > 0) {
    s.push_back(':');
    s.append(std::to_string(line));
  }
  return s;
}

struct IoFailure : std::runtime_error {
  IoFailure(std::string file_name, std::int64_t line_no, std::string what_failed)
      : std::runtime_error(format(file_name, line_no, what_failed)),
        file(std::move(file_name)),
        line(line_no),
        condition(std::move(what_failed)) {}

  std::string file;
  std::int64_t line;  // 1-based record number; 0 when no line applies
  std::string condition;

  // "FILE:LINE: condition", "FILE: condition", or the condition alone when it names its
  // files itself (no file given).
  static std::string format(const std::string& file, std::int64_t line, const std::string& cond) {
    if (file.empty()) return cond;
    return where(file, line) + ": " + cond;
  }
};

// A field or free-format item that does not convert. Thrown by the field notation, which
// knows the text but not the file; the caller that knows the file turns it into an
// IoFailure with the file name and line number.
struct FieldError : std::runtime_error {
  explicit FieldError(const std::string& condition) : std::runtime_error(condition) {}
};

}  // namespace memprep
