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

#include <cstdio>
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
  bool is_open() const { return file_ != nullptr; }

  // Writes one line and its line end.
  void write_line(std::string_view line);

  // Flushes and closes the temporary file, reporting any write error.
  void finish();
  // Renames the finished temporary file to the target. Call with a SignalHold in force.
  void commit();

  const std::string& target() const { return target_; }

 private:
  void discard();

  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  // The stream's buffer: the C library ignores the size asked for when it is to find the
  // buffer itself (it takes 4 KiB), so the file gives it one of 64 KiB. Outlives every stream
  // it is given to.
  static constexpr std::size_t kBuffer = std::size_t{1} << 16;
  std::unique_ptr<char[]> buffer_;
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
