// A text file read as numbered records: next, rewind, carriage returns before the line
// end stripped, and the file name and record number kept for messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "store/errors.hpp"
#include "store/fields.hpp"

namespace memprep {

class TextSource {
 public:
  TextSource() = default;
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;
  ~TextSource();

  // Opens an existing file; throws IoFailure(name, 0, "cannot open: ...").
  void open(const std::string& name);
  // Reads from a text held in memory (tests, fuzzing), under the given name.
  void open_text(const std::string& name, std::string text);
  void close();
  bool is_open() const { return file_ != nullptr || in_memory_; }

  // Reads the next record, cut to `width` characters (the buffer it is read into).
  // Returns false at the end of the file (the record is then empty).
  bool next(std::size_t width = 512);
  // The same, but the end of the file is an IoFailure "end of file while <what>".
  void need(std::string_view what, std::size_t width = 512);
  // Reads records until one satisfies `found`; the end of the file is an IoFailure
  // "end of file while looking for <what>".
  template <class Pred>
  void find(Pred found, std::string_view what, std::size_t width = 512) {
    do need_looking(what, width);
    while (!found(rec_));
  }
  // Reads records until one begins with `marker` (compared over the marker's length).
  void find_marker(std::string_view marker, std::size_t width = 512);

  void rewind();

  const std::string& rec() const { return rec_; }
  std::int64_t line() const { return line_; }
  const std::string& name() const { return name_; }

  // Fixed fields of the current record, reported with file, line and columns on failure.
  std::int64_t I(std::size_t first, std::size_t last) const;
  double F(std::size_t first, std::size_t last, int d, int scale = 0) const;

  // An IoFailure at the current record.
  [[noreturn]] void fail(const std::string& condition) const;
  // Runs f(); a FieldError it throws becomes an IoFailure at the current record.
  template <class Fn>
  auto located(Fn&& f) const -> decltype(f()) {
    try {
      return f();
    } catch (const FieldError& e) {
      fail(e.what());
    }
  }

  // A free-format reader that starts with the next record and takes further records as
  // needed (blank records are separators). Errors name the record being read.
  ListInput list_from_next(std::string_view what);

 private:
  void need_looking(std::string_view what, std::size_t width);
  bool read_raw();

  std::string name_;
  std::FILE* file_ = nullptr;
  char* buf_ = nullptr;  // getline's buffer, kept between records
  std::size_t cap_ = 0;
  bool in_memory_ = false;
  std::string text_;        // in-memory content
  std::size_t text_pos_ = 0;
  std::string rec_;
  std::int64_t line_ = 0;
  bool eof_ = false;
};

}  // namespace memprep
