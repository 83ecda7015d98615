// An output file written to a temporary file beside its target and renamed into place
// only when the whole run has succeeded: a run that stops on an error leaves no new file
// and leaves an existing file of the target's name untouched.
//
// The temporary files of the run are listed in one table that a handler of every signal
// that ends the process by default (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, ...)
// removes before the process ends, and the renames of a run's outputs are made with those
// sent from outside held off, so that a run interrupted at any moment replaces all its
// outputs or none. SIGXFSZ is ignored: a write beyond the file-size limit fails and is
// reported as a write error.
#pragma once

#include <signal.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace memprep {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless it was committed

  // Creates the temporary file in the target's directory; throws IoFailure naming the
  // target when that is not possible, or when the target exists and is not a regular file
  // (a device, a FIFO, a socket, a directory), which is then left alone.
  void create(const std::string& target);
  bool is_open() const { return fd_ >= 0; }

  // Writes one line and its line end.
  void write_line(std::string_view line);
  // Writes text as it stands (lines with their ends).
  void write_text(std::string_view text);

  // Room for n more characters (n at most kRoom), at the place returned: the caller builds
  // them there in place and then calls advance with the number it made.
  static constexpr std::size_t kRoom = 4096;
  char* room(std::size_t n) {
    if (kBuffer - used_ < n) flush();
    return buffer_.get() + used_;
  }
  void advance(std::size_t n) { used_ += n; }

  // Flushes and closes the temporary file, reporting any write error.
  void finish();
  // Renames the finished temporary file to the target. Call with a SignalHold in force.
  void commit();

  const std::string& target() const { return target_; }

 private:
  void discard();
  // Writes out the buffer; a failure is kept (error_) and reported by finish().
  void flush();
  void write_all(const char* data, std::size_t n);

  std::string target_;
  std::string temp_;
  int fd_ = -1;
  int error_ = 0;  // errno of the first write that failed
  // The file's own buffer of 64 KiB, written out with one write call each time it fills.
  static constexpr std::size_t kBuffer = std::size_t{1} << 16;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool finished_ = false;
};

// A seam for tests: when set, commit() calls it right after each rename, the termination
// signals still held (a test raises one there to see what the renames it falls between do).
extern void (*after_rename)(const OutputFile& committed);

// While one is in force, the terminating signals sent from outside wait; they arrive when
// it ends.
class SignalHold {
 public:
  SignalHold();
  ~SignalHold();
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  sigset_t old_;
};

// Installs the handler of the terminating signals that removes the temporary files of the
// run and then ends the process by the signal, with its usual status, and ignores SIGXFSZ.
// A signal without its default action (ignored, or taken by a sanitizer) is left alone.
// (The program installs it; the library's other users keep their own handling.)
void remove_temporary_files_on_termination();

}  // namespace memprep
