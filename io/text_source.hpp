// A text file read as numbered records: next, rewind, carriage returns before the line
// end stripped, and the file name and record number kept for messages. No record is held
// beyond kLongestRecord characters: the rest of a longer record is read past without being
// stored, so memory stays bounded whatever the file holds. A record is a view of the bytes
// read, valid until the next record is read: it is not copied.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "io/errors.hpp"
#include "io/fields.hpp"
#include "io/files.hpp"

namespace memprep {

class TextSource {
 public:
  TextSource() = default;
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;
  ~TextSource();

  // The longest record held: the longest field list any layout reads (512 columns) with a
  // wide margin.
  static constexpr std::size_t kLongestRecord = 4096;

  // Opens an existing file of a kind `readable` allows (files.hpp); throws
  // IoFailure(name, 0, "cannot open: ...").
  void open(const std::string& name, Readable readable = Readable::regular);
  // Reads from a text held in memory (tests, fuzzing), under the given name.
  void open_text(const std::string& name, std::string text);
  void close();
  bool is_open() const { return fd_ >= 0 || in_memory_; }

  // Reads the next record, cut to `width` characters (the buffer it is read into, at most
  // kLongestRecord).
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
  void rewind();

  std::string_view rec() const { return rec_; }
  // True when the current record was longer than kLongestRecord (the rest was passed over).
  bool overlong() const { return overlong_; }
  // A reader that takes the current record as data (a reflection, an amplitude, a value
  // line) calls this first: the last record of a file that ends without its line end is an
  // IoFailure "the file ends in the middle of this line" (a truncated file).
  void require_line_end() const;
  // True when the current record ended with a line end (false for a cut last record).
  bool has_line_end() const { return line_end_; }
  std::int64_t line() const { return line_; }
  const std::string& name() const { return name_; }

  // Fixed fields of the current record, reported with file, line and columns on failure.
  // Inline: they run for every field of the tables; their refusals are out of the way.
  std::int64_t I(std::size_t first, std::size_t last) const {
    const std::string_view f = cols(rec_, first, last);
    std::int64_t v = 0;
    const decimal::Status st = decimal::read_integer(f, v);
    if (st != decimal::Status::ok) refuse_integer(f, first, last, st);
    return v;
  }
  double F(std::size_t first, std::size_t last, int d, int scale = 0) const {
    const std::string_view f = cols(rec_, first, last);
    double v = 0;
    const decimal::Status st = decimal::read_real(f, {true, d, scale}, v);
    if (st != decimal::Status::ok) refuse_real(f, first, last, st);
    return v;
  }
  // The refusals of F without the value, for a field that is only checked.
  void check_F(std::size_t first, std::size_t last, int d, int scale = 0) const {
    const std::string_view f = cols(rec_, first, last);
    const decimal::Status st = decimal::check_real(f, {true, d, scale});
    if (st != decimal::Status::ok) refuse_real(f, first, last, st);
  }

  // An IoFailure at the current record.
  [[noreturn]] void fail(const std::string& condition) const;
  // The refusals of I and F (get_I's and get_F's messages) at the current record.
  [[gnu::cold]] void refuse_integer(std::string_view field, std::size_t first, std::size_t last,
                                    decimal::Status st) const;
  [[gnu::cold]] void refuse_real(std::string_view field, std::size_t first, std::size_t last,
                                 decimal::Status st) const;
  // Runs f(); a FieldError it throws becomes an IoFailure at the current record, its
  // condition prefixed with "<what>: " when `what` is given.
  template <class Fn>
  auto located(Fn&& f) const -> decltype(f()) {
    return located({}, std::forward<Fn>(f));
  }
  template <class Fn>
  auto located(std::string_view what, Fn&& f) const -> decltype(f()) {
    try {
      return f();
    } catch (const FieldError& e) {
      fail(what.empty() ? std::string(e.what()) : std::string(what) + ": " + e.what());
    }
  }

  // Free-format values from `text`, the current record or part of it (or a line taken from
  // it): a slash ends the list early and leaves the remaining variables unchanged; a value
  // that does not convert, or the end of the text where a value is needed, is an IoFailure
  // at this record, "<what>: <reason>".
  template <class... Vars>
  void read_list(std::string_view text, std::string_view what, Vars&... vars) const {
    located(what, [&] {
      ListInput in(text);
      (in.next(vars), ...);
    });
  }
  // The same over columns first..last of the current record, reported as
  // "columns A-B (<what>): <reason>".
  template <class... Vars>
  void read_list_cols(std::size_t first, std::size_t last, std::string_view what,
                      Vars&... vars) const {
    read_list(cols(rec_, first, last),
              "columns " + std::to_string(first) + "-" + std::to_string(last) + " (" +
                  std::string(what) + ")",
              vars...);
  }
  // Free-format values from the whole current record, every one of them required: a null
  // value or a slash before the last one is "<what>: value N is missing".
  template <class... Vars>
  void read_all(std::string_view what, Vars&... vars) const {
    located(what, [&] {
      ListInput in(rec_);
      if (!(in.next(vars) && ...))
        throw FieldError("value " + std::to_string(in.item()) + " is missing");
    });
  }
  // Free-format values starting with the next record and taking further records as needed
  // (blank records are separators); a slash ends the list early. Failures name the record
  // being read, "<what>: <reason>". Every record read is taken as data (require_line_end).
  template <class... Vars>
  void read_list_from_next(std::string_view what, Vars&... vars) {
    ListInput in = list_from_next(what);
    located(what, [&] { (in.next(vars), ...); });
  }

 private:
  void need_looking(std::string_view what, std::size_t width);
  ListInput list_from_next(std::string_view what);
  bool read_raw();
  bool refill(std::size_t keep);
  void read_overlong();

  static constexpr std::size_t kBuffer = 1 << 16;
  static_assert(kBuffer > kLongestRecord);

  std::string name_;
  int fd_ = -1;
  std::unique_ptr<char[]> buf_;  // the file's bytes, up to kBuffer at a time
  bool in_memory_ = false;
  std::string text_;            // in-memory content
  const char* data_ = nullptr;  // the bytes at hand: buf_ or text_
  std::size_t pos_ = 0, end_ = 0;
  std::string_view rec_;  // in the bytes at hand, or in long_
  std::string long_;      // the kept part of a record longer than kLongestRecord
  std::int64_t line_ = 0;
  bool eof_ = false;
  bool line_end_ = true;  // the current record ended with a line end
  bool overlong_ = false;
};

}  // namespace memprep
