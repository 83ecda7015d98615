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

// More bytes of the file into the buffer; false at its end (and for a text in memory, which
// is at hand whole).
bool TextSource::refill() {
  if (fd_ < 0) return false;
  for (;;) {
    const ssize_t got = ::read(fd_, buf_.get(), kBuffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) fail(std::string("read error: ") + std::strerror(errno));
    pos_ = 0;
    end_ = static_cast<std::size_t>(got);
    return got > 0;
  }
}

bool TextSource::read_raw() {
  rec_.clear();
  line_end_ = true;
  overlong_ = false;
  if (eof_) return false;
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !refill()) {
      if (!any) {
        eof_ = true;
        return false;
      }
      line_end_ = false;
      break;
    }
    any = true;
    const char* from = data_ + pos_;
    const char* nl = static_cast<const char*>(std::memchr(from, '\n', end_ - pos_));
    const std::size_t n = nl ? static_cast<std::size_t>(nl - from) : end_ - pos_;
    const std::size_t room = kLongestRecord - rec_.size();
    if (n <= room) {
      rec_.append(from, n);
    } else {
      rec_.append(from, room);
      overlong_ = true;
    }
    pos_ += nl ? n + 1 : n;
    if (nl) break;
  }
  if (!overlong_ && !rec_.empty() && rec_.back() == '\r') rec_.pop_back();
  ++line_;
  return true;
}

bool TextSource::next(std::size_t width) {
  if (!read_raw()) return false;
  if (rec_.size() > width) rec_.resize(width);
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
  rec_.clear();
}

std::int64_t TextSource::I(std::size_t first, std::size_t last) const {
  return located([&] { return get_I(rec_, first, last); });
}

double TextSource::F(std::size_t first, std::size_t last, int d, int scale) const {
  return located([&] { return get_F(rec_, first, last, d, scale); });
}

void TextSource::check_F(std::size_t first, std::size_t last, int d, int scale) const {
  located([&] { memprep::check_F(rec_, first, last, d, scale); });
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
    return std::string_view(rec_);
  });
}

}  // namespace memprep
