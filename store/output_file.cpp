#include "store/output_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "store/errors.hpp"

namespace memprep {

namespace {

std::string directory_of(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

[[noreturn]] void fail(const std::string& target, const std::string& what) {
  throw IoFailure(target, 0, what + ": " + std::strerror(errno));
}

}  // namespace

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::discard() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  finished_ = false;
}

void OutputFile::create(const std::string& target) {
  discard();
  target_ = target;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    fail(target, "cannot create");
  }
  std::string pattern = directory_of(target) + "/.memprep-XXXXXX";
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) fail(target, "cannot create");
  temp_ = pattern;
  // mkstemp creates the file for its owner only; give it the mode a plain create would.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  file_ = ::fdopen(fd, "wb");
  if (!file_) {
    ::close(fd);
    fail(target, "cannot create");
  }
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

void OutputFile::write_line(std::string_view line) {
  if (!line.empty()) std::fwrite(line.data(), 1, line.size(), file_);
  std::putc('\n', file_);
}

void OutputFile::finish() {
  if (!file_) return;
  bool bad = std::ferror(file_) != 0;
  int saved = errno;
  if (std::fclose(file_) != 0) {
    bad = true;
    saved = errno;
  }
  file_ = nullptr;
  if (bad) {
    errno = saved;
    fail(target_, "write error");
  }
  finished_ = true;
}

void OutputFile::commit() {
  if (!finished_) finish();
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(target_, "cannot write");
  temp_.clear();
  finished_ = false;
}

}  // namespace memprep
