// An output file written to a temporary file beside its target and renamed into place
// only when the whole run has succeeded: a run that stops on an error leaves no new file
// and leaves an existing file of the target's name untouched.
#pragma once

#include <cstdio>
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
  // target when that is not possible.
  void create(const std::string& target);
  bool is_open() const { return file_ != nullptr; }

  // Writes one line and its line end.
  void write_line(std::string_view line);

  // Flushes and closes the temporary file, reporting any write error.
  void finish();
  // Renames the finished temporary file to the target.
  void commit();

  const std::string& target() const { return target_; }

 private:
  void discard();

  std::string target_;
  std::string temp_;
  std::FILE* file_ = nullptr;
  bool finished_ = false;
};

}  // namespace memprep
