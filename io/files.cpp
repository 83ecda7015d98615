#include "io/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/errors.hpp"

namespace memprep {

namespace {

const char* kind_of(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

// Refuses a file of a kind that `readable` does not allow.
void check_kind(const std::string& name, mode_t mode, Readable readable) {
  if (S_ISREG(mode) || (readable == Readable::regular_or_fifo && S_ISFIFO(mode))) return;
  if (S_ISDIR(mode)) throw IoFailure(name, 0, "cannot open: is a directory");
  throw IoFailure(name, 0,
                  std::string("cannot open: is ") + kind_of(mode) +
                      (readable == Readable::regular ? ", not a regular file"
                                                     : ", not a regular file or a pipe"));
}

[[noreturn]] void cannot_open(const std::string& name) {
  throw IoFailure(name, 0, std::string("cannot open: ") + std::strerror(errno));
}

}  // namespace

int open_for_reading(const std::string& name, Readable readable) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) cannot_open(name);
  check_kind(name, st.st_mode, readable);
  // A regular file does not block in open(); a FIFO allowed here waits for its writer, as a
  // pipe should. The kind is checked again on what was opened, in case the name was
  // replaced in between.
  int flags = O_RDONLY | O_CLOEXEC | (S_ISREG(st.st_mode) ? O_NONBLOCK : 0);
  int fd = ::open(name.c_str(), flags);
  if (fd < 0) cannot_open(name);
  if (::fstat(fd, &st) != 0) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
    cannot_open(name);
  }
  try {
    check_kind(name, st.st_mode, readable);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (flags & O_NONBLOCK) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::string special_kind(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0) return "";
  return kind_of(st.st_mode);
}

std::string whole_file(const std::string& name) {
  const int fd = open_for_reading(name, Readable::regular);
  std::string text;
  char buf[1 << 16];
  for (;;) {
    const ssize_t got = ::read(fd, buf, sizeof buf);
    if (got < 0) {
      if (errno == EINTR) continue;
      const std::string why = std::strerror(errno);
      ::close(fd);
      throw IoFailure(name, 0, "read error: " + why);
    }
    if (got == 0) break;
    text.append(buf, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return text;
}

}  // namespace memprep
