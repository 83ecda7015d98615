#include "store/text_source.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace memprep {

void TextSource::open(const std::string& name) {
  close();
  name_ = name;
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw IoFailure(name, 0, "cannot open: is a directory");
  file_ = std::fopen(name.c_str(), "rb");
  if (!file_) throw IoFailure(name, 0, std::string("cannot open: ") + std::strerror(errno));
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  line_ = 0;
  eof_ = false;
}

void TextSource::open_text(const std::string& name, std::string text) {
  close();
  name_ = name;
  text_ = std::move(text);
  text_pos_ = 0;
  in_memory_ = true;
  line_ = 0;
  eof_ = false;
}

TextSource::~TextSource() {
  close();
  std::free(buf_);
}

void TextSource::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  in_memory_ = false;
  text_.clear();
}

bool TextSource::read_raw() {
  rec_.clear();
  if (eof_) return false;
  if (in_memory_) {
    if (text_pos_ >= text_.size()) {
      eof_ = true;
      return false;
    }
    std::size_t nl = text_.find('\n', text_pos_);
    std::size_t end = nl == std::string::npos ? text_.size() : nl;
    rec_.assign(text_, text_pos_, end - text_pos_);
    text_pos_ = nl == std::string::npos ? text_.size() : nl + 1;
  } else {
    if (!file_) {
      eof_ = true;
      return false;
    }
    ssize_t n = ::getline(&buf_, &cap_, file_);
    if (n < 0) {
      if (std::ferror(file_)) fail(std::string("read error: ") + std::strerror(errno));
      eof_ = true;
      return false;
    }
    if (n > 0 && buf_[n - 1] == '\n') --n;
    rec_.assign(buf_, static_cast<std::size_t>(n));
  }
  if (!rec_.empty() && rec_.back() == '\r') rec_.pop_back();
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
    text_pos_ = 0;
  } else if (file_) {
    std::rewind(file_);
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

void TextSource::fail(const std::string& condition) const {
  throw IoFailure(name_, line_, condition);
}

ListInput TextSource::list_from_next(std::string_view what) {
  need(what);
  return ListInput(rec_, [this]() -> std::optional<std::string_view> {
    if (!next()) return std::nullopt;
    return std::string_view(rec_);
  });
}

}  // namespace memprep
