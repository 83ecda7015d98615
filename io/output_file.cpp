#include "io/output_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "io/errors.hpp"
#include "io/files.hpp"

namespace memprep {

namespace {

// The temporary files not yet renamed or removed, as C strings that the signal handler can
// unlink; an empty slot starts with a NUL. Changed only with the termination signals held.
constexpr std::size_t kTemporaries = 8;
constexpr std::size_t kPathRoom = 4096;
char temporaries[kTemporaries][kPathRoom];

bool list_temporary(const std::string& path) {
  for (char* slot : temporaries)
    if (slot[0] == '\0') {
      std::memcpy(slot, path.c_str(), path.size() + 1);
      return true;
    }
  return false;
}

void unlist_temporary(const std::string& path) {
  for (char* slot : temporaries)
    if (path == slot) slot[0] = '\0';
}

extern "C" void on_termination(int sig) {
  for (char* slot : temporaries)
    if (slot[0] != '\0') ::unlink(slot);
  ::signal(sig, SIG_DFL);
  ::raise(sig);  // delivered with the default action once the handler returns
}

// The signals sent from outside whose default action ends the process: each removes the
// temporary files first. (SIGKILL and SIGSTOP cannot be caught; SIGXFSZ is ignored instead,
// so that a write beyond the file-size limit fails with EFBIG and is reported.)
constexpr int kSentSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGTERM, SIGPIPE, SIGALRM,
    SIGUSR1,   SIGUSR2, SIGABRT, SIGXCPU, SIGPROF, SIGVTALRM,
#ifdef SIGIO
    SIGIO,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
// The signals of a fault of the program itself: the temporary files are removed too, but
// these are never held (a fault while one is blocked has no defined outcome).
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS};

void termination_signals(sigset_t& set) {
  sigemptyset(&set);
  for (int sig : kSentSignals) sigaddset(&set, sig);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&set, sig);
}

// True when sig still has its default action: one ignored by whoever started the program
// (nohup) stays ignored, one a sanitizer or fuzzer has taken stays its.
bool has_default_action(int sig) {
  struct sigaction old {};
  return ::sigaction(sig, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
         old.sa_handler == SIG_DFL;
}

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

void (*after_rename)(const OutputFile&) = nullptr;

SignalHold::SignalHold() {
  sigset_t set;
  termination_signals(set);
  ::sigprocmask(SIG_BLOCK, &set, &old_);
}

SignalHold::~SignalHold() {
  ::sigprocmask(SIG_SETMASK, &old_, nullptr);
}

void remove_temporary_files_on_termination() {
  struct sigaction sa {};
  sa.sa_handler = on_termination;
  termination_signals(sa.sa_mask);
  auto install = [&](int sig) {
    if (has_default_action(sig)) ::sigaction(sig, &sa, nullptr);
  };
  for (int sig : kSentSignals) install(sig);
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) install(sig);
  for (int sig : kFaultSignals) install(sig);
  if (has_default_action(SIGXFSZ)) ::signal(SIGXFSZ, SIG_IGN);
}

OutputFile::~OutputFile() {
  discard();
}

void OutputFile::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  used_ = 0;
  error_ = 0;
  if (!temp_.empty()) {
    SignalHold hold;
    ::unlink(temp_.c_str());
    unlist_temporary(temp_);
  }
  temp_.clear();
  finished_ = false;
}

void OutputFile::create(const std::string& target) {
  discard();
  target_ = target;
  const std::string kind = special_kind(target);
  if (kind == "a directory") {
    errno = EISDIR;
    fail(target, "cannot create");
  }
  if (!kind.empty())
    throw IoFailure(target, 0, "cannot create: is " + kind + ", not a regular file");
  std::string pattern = directory_of(target) + "/.memprep-XXXXXX";
  if (pattern.size() >= kPathRoom) {
    errno = ENAMETOOLONG;
    fail(target, "cannot create");
  }
  int fd = -1;
  {
    SignalHold hold;
    fd = ::mkstemp(pattern.data());
    if (fd >= 0 && !list_temporary(pattern)) {
      ::close(fd);
      ::unlink(pattern.c_str());
      throw IoFailure(target, 0, "cannot create: too many output files at once");
    }
  }
  if (fd < 0) fail(target, "cannot create");
  temp_ = pattern;
  // mkstemp creates the file for its owner only: give it the mode of the file it replaces,
  // or the mode a plain create would.
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    ::fchmod(fd, existing.st_mode & 07777);
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  fd_ = fd;
  if (!buffer_) buffer_ = std::make_unique_for_overwrite<char[]>(kBuffer);
  used_ = 0;
}

void OutputFile::write_all(const char* data, std::size_t n) {
  while (n > 0 && error_ == 0) {
    const ssize_t k = ::write(fd_, data, n);
    if (k < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    data += k;
    n -= static_cast<std::size_t>(k);
  }
}

void OutputFile::flush() {
  write_all(buffer_.get(), used_);
  used_ = 0;
}

void OutputFile::write_text(std::string_view text) {
  if (text.size() > kBuffer - used_) {
    flush();
    if (text.size() >= kBuffer / 2) {  // a large piece goes out without a copy
      write_all(text.data(), text.size());
      return;
    }
  }
  if (!text.empty()) std::memcpy(buffer_.get() + used_, text.data(), text.size());
  used_ += text.size();
}
void OutputFile::write_line(std::string_view line) {
  if (line.size() >= kBuffer) {  // longer than the buffer: written on its own
    flush();
    write_all(line.data(), line.size());
    *room(1) = '\n';
    advance(1);
    return;
  }
  char* p = room(line.size() + 1);
  if (!line.empty()) std::memcpy(p, line.data(), line.size());
  p[line.size()] = '\n';
  advance(line.size() + 1);
}

void OutputFile::finish() {
  if (fd_ < 0) return;
  flush();
  int saved = error_;
  if (::close(fd_) != 0 && saved == 0) saved = errno;
  fd_ = -1;
  if (saved != 0) {
    errno = saved;
    fail(target_, "write error");
  }
  finished_ = true;
}

void OutputFile::commit() {
  if (!finished_) finish();
  SignalHold hold;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) fail(target_, "cannot write");
  unlist_temporary(temp_);
  if (after_rename) after_rename(*this);
  temp_.clear();
  finished_ = false;
}

}  // namespace memprep
