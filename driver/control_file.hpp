// The control file: significant lines, the settings shared by the source kinds, and the
// symmetry line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "driver/run.hpp"
#include "store/fields.hpp"

namespace memprep {

// Fills `buffer` with the next significant control line: the record cut to `length`
// characters, blank lines and "#" lines skipped, left-adjusted, and everything from a "#"
// on removed. The buffer is kept without its trailing blanks. The end of the control file
// is an IoFailure naming `what` (the line that was expected).
void read_control_line(Run& run, std::string& buffer, std::size_t length, std::string_view what);

// Title, symmetry line, E, grid, IAMP, amplitudes, lambda1, histogram and phase numbers
// (kinds G and F).
void read_settings(Run& run);

// E, IAMP and lambda1 (kind R).
void read_fos_settings(Run& run);

// Decodes the symmetry line held in run.LINE into VOL, SPG and SET.
void decode_symmetry_line(Run& run);

// Reads the next significant control line into run.LINE and reads `vars` from it in free
// format (integers into std::int64_t, reals into double). A slash ends the list early and
// leaves the remaining variables unchanged; values missing from the line, or an item that
// is not a number, are an IoFailure at that control line.
template <class... Vars>
void read_control_values(Run& run, std::string_view what, Vars&... vars) {
  read_control_line(run, run.LINE, 512, what);
  try {
    ListInput in(run.LINE);
    (in.next(vars), ...);
  } catch (const FieldError& e) {
    run.ctl.fail(std::string(what) + ": " + e.what());
  }
}

}  // namespace memprep
