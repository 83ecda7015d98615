// The control file: significant lines, the settings shared by the source kinds, and the
// symmetry line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/run.hpp"

namespace memprep {

// Fills `buffer` with the next significant control line: the record cut to `length`
// characters, blank lines and "#" lines skipped, left-adjusted, and everything from a "#"
// on removed. The buffer is kept without its trailing blanks. The end of the control file
// is an IoFailure naming `what` (the line that was expected), and so is a line that is a
// template's placeholder: one that begins with "<" and ends with ">".
void read_control_line(Run& run, std::string& buffer, std::size_t length, std::string_view what);

// The longest file name the program takes, as its argument or from the control file.
inline constexpr std::size_t kLongestName = 512;

// The settings the driver reads before the source is opened: the lines of the run's layout
// (control_layout.hpp) from the next one on, up to the first that the reader reads.
void read_settings(Run& run);

// Reads a file name from the control file: the line whole, without its trailing blanks and
// tabs (a name cannot end in either). A name longer than kLongestName characters is refused,
// not cut, and so is a NUL byte: the system would take the name as ending there and open or
// create another file.
void read_file_name(Run& run, std::string& name, std::string_view what);

// The symmetry line: VOL in column 1, column 2 not read, SPG[-SET] from column 3 on (the
// search for "-" starts at column 4, so a minus sign in column 3 belongs to SPG; SET is 1
// when no "-" follows; a value cut short by a slash stays 0). Throws FieldError when SPG or
// SET does not convert.
struct Symmetry {
  char VOL = ' ';
  std::int64_t SPG = 0, SET = 0;
};
Symmetry decode_symmetry_line(std::string_view line);

// The bank-angle line: sets nbanks, checks nbank, returns its angle (records the line as
// the origin of the bank angle).
double read_bank_angle(Run& run, std::int64_t nbank, std::int64_t& nbanks);

// Reads the next significant control line as the symmetry line into VOL, SPG and SET.
void read_symmetry_line(Run& run);

// Reads the next significant control line into run.LINE and reads `vars` from it in free
// format (integers into std::int64_t, reals into double). A slash ends the list early and
// leaves the remaining variables unchanged; values missing from the line, or an item that
// is not a number, are an IoFailure at that control line.
template <class... Vars>
void read_control_values(Run& run, std::string_view what, Vars&... vars) {
  read_control_line(run, run.LINE, 512, what);
  run.ctl.read_list(run.LINE, what, vars...);
}

}  // namespace memprep
