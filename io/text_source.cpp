#include "io/text_source.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace memprep {

void TextSource::open(const std::string& name, Readable readable) {
  close();
  name_ = name;
  fd_ = open_for_reading(name, readable);
  if (!buf_) buf_ = std::make_unique<char[]>(kBuffer);
  data_ = buf_.get();
  pos_ = end_ = 0;
  line_ = 0;
  eof_ = false;
}

void TextSource::open_text(const std::string& name, std::string text) {
  close();
  name_ = name;
  text_ = std::move(text);
  in_memory_ = true;
  data_ = text_.data();
  pos_ = 0;
  end_ = text_.size();
  line_ = 0;
  eof_ = false;
}

TextSource::~TextSource() {
  close();
}

void TextSource::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  in_memory_ = false;
  text_.clear();
  data_ = nullptr;
  pos_ = end_ = 0;
}

// More bytes of the file after the `keep` bytes at hand from pos_, which move to the front of
// the buffer; false at the end of the file (and for a text in memory, which is at hand whole).
bool TextSource::refill(std::size_t keep) {
  if (fd_ < 0) return false;
  if (keep > 0 && pos_ > 0) std::memmove(buf_.get(), buf_.get() + pos_, keep);
  pos_ = 0;
  end_ = keep;
  for (;;) {
    const ssize_t got = ::read(fd_, buf_.get() + keep, kBuffer - keep);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) fail(std::string("read error: ") + std::strerror(errno));
    end_ = keep + static_cast<std::size_t>(got);
    return got > 0;
  }
}

bool TextSource::read_raw() {
  rec_ = {};
  line_end_ = true;
  overlong_ = false;
  if (eof_) return false;
  std::size_t scanned = 0;  // bytes of the record at hand known to hold no line end
  for (;;) {
    const char* from = data_ + pos_;
    const std::size_t have = end_ - pos_;
    // (No bytes at hand may mean no buffer at all: a closed source.)
    const char* nl =
        have > scanned ? static_cast<const char*>(std::memchr(from + scanned, '\n', have - scanned))
                       : nullptr;
    if (nl) {
      const auto n = static_cast<std::size_t>(nl - from);
      overlong_ = n > kLongestRecord;
      rec_ = std::string_view(from, overlong_ ? kLongestRecord : n);
      pos_ += n + 1;
      break;
    }
    scanned = have;
    if (have > kLongestRecord) {  // too long to hold: keep its beginning, pass over the rest
      read_overlong();
      break;
    }
    if (!refill(have)) {
      if (have == 0) {
        eof_ = true;
        return false;
      }
      rec_ = std::string_view(data_ + pos_, have);  // the last line, without its line end
      pos_ = end_;
      line_end_ = false;
      break;
    }
  }
  if (!overlong_ && !rec_.empty() && rec_.back() == '\r') rec_.remove_suffix(1);
  ++line_;
  return true;
}

// The record at hand holds no line end in its first kLongestRecord bytes: those are kept in
// long_, and the rest of it up to its line end (or the end of the file) is read past.
void TextSource::read_overlong() {
  overlong_ = true;
  long_.assign(data_ + pos_, kLongestRecord);
  rec_ = long_;
  pos_ += kLongestRecord;
  for (;;) {
    const char* from = data_ + pos_;
    const char* nl = static_cast<const char*>(std::memchr(from, '\n', end_ - pos_));
    if (nl) {
      pos_ += static_cast<std::size_t>(nl - from) + 1;
      return;
    }
    pos_ = end_;
    if (!refill(0)) {
      line_end_ = false;
      return;
    }
  }
}

bool TextSource::next(std::size_t width) {
  if (!read_raw()) return false;
  if (rec_.size() > width) rec_ = rec_.substr(0, width);
  return true;
}

void TextSource::need(std::string_view what, std::size_t width) {
  if (!next(width)) throw IoFailure(name_, 0, "end of file while " + std::string(what));
}

void TextSource::need_looking(std::string_view what, std::size_t width) {
  if (!next(width)) throw IoFailure(name_, 0, "end of file while looking for " + std::string(what));
}

void TextSource::rewind() {
  if (in_memory_) {
    pos_ = 0;
  } else if (fd_ >= 0) {
    if (::lseek(fd_, 0, SEEK_SET) < 0) fail(std::string("cannot rewind: ") + std::strerror(errno));
    pos_ = end_ = 0;
  }
  line_ = 0;
  eof_ = false;
  rec_ = {};
}

// (The refusals always throw: located() turns their FieldError into an IoFailure here.)
void TextSource::refuse_integer(std::string_view field, std::size_t first, std::size_t last,
                                decimal::Status st) const {
  located([&] { refuse_integer_field(field, first, last, st); });
}

void TextSource::refuse_real(std::string_view field, std::size_t first, std::size_t last,
                             decimal::Status st) const {
  located([&] { refuse_real_field(field, first, last, st); });
}

void TextSource::require_line_end() const {
  if (!line_end_) fail("the file ends in the middle of this line");
}

void TextSource::fail(const std::string& condition) const {
  throw IoFailure(name_, line_, condition);
}

ListInput TextSource::list_from_next(std::string_view what) {
  need(what);
  require_line_end();
  return ListInput(rec_, [this]() -> std::optional<std::string_view> {
    if (!next()) return std::nullopt;
    require_line_end();
    return rec_;
  });
}

}  // namespace memprep
