// The two ways a run can fail.
//
// Stop:      a condition the program detects itself. Its message is one console line,
//            written to standard output exactly as it stands (leading blank included);
//            the process then exits with status 1.
// IoFailure: a file that cannot be opened, an end of file where a record is needed,
//            a field that does not convert. Reported on standard error as
//            "memprep: FILE:LINE: condition" (or "memprep: FILE: condition" when no
//            line applies), exit status 1. FILE is the file's name as name_for_message
//            gives it, so that one message is one line whatever the name holds.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

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
  explicit Stop(const std::string& console_line) : std::runtime_error(console_line) {}
};

struct IoFailure : std::runtime_error {
  IoFailure(std::string file_name, std::int64_t line_no, std::string what_failed)
      : std::runtime_error(format(file_name, line_no, what_failed)),
        file(std::move(file_name)),
        line(line_no),
        condition(std::move(what_failed)) {}

  std::string file;
  std::int64_t line;  // 1-based record number; 0 when no line applies
  std::string condition;

  static std::string format(const std::string& file, std::int64_t line, const std::string& cond) {
    std::string s = name_for_message(file);
    if (line > 0) {
      s.push_back(':');
      s.append(std::to_string(line));
    }
    s.append(": ");
    s.append(cond);
    return s;
  }
};

// A field or free-format item that does not convert. Thrown by the field notation, which
// knows the text but not the file; the caller that knows the file turns it into an
// IoFailure with the file name and line number.
struct FieldError : std::runtime_error {
  explicit FieldError(const std::string& condition) : std::runtime_error(condition) {}
};

}  // namespace memprep
