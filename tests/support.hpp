// Helpers shared by the tests: temporary directories, running the program, files, and
// binary record files written from a readable text notation.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace memprep::test {

namespace fs = std::filesystem;

// A fresh directory under the system's temporary directory, removed with its contents.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  fs::path path;
};

struct Result {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the memprep binary in `dir` with the given arguments (each passed as one word).
Result run_memprep(const fs::path& dir, const std::vector<std::string>& args);

std::string read_file(const fs::path& p);
void write_file(const fs::path& p, std::string_view content);

// The regular files below dir, as sorted paths relative to dir.
std::vector<std::string> list_files(const fs::path& dir);

// A file of binary records framed by 4-byte little-endian counts, from a text notation:
// one record per line (blank lines and lines starting with '#' are skipped); items
// separated by blanks:
//   123 or -5          an 8-byte little-endian integer
//   1.5, 2e3, nan, inf an 8-byte little-endian double (a '.', exponent or name makes it real)
//   "text"             the bytes of the text;  "text"/70  padded with blanks to 70 bytes
//   zeros:N            N zero bytes
//   @lead=N @trail=N   give the leading or trailing count explicitly (a damaged record)
//   @notrail           leave out the trailing count (the file ends inside the record)
std::string encode_records(std::string_view notation);

// The first line where a and b differ, shown with both versions, or "" when equal.
std::string first_difference(const std::string& expected, const std::string& actual);

}  // namespace memprep::test
