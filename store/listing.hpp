// What became of each reflection read: the rows of the per-reflection listing and of the
// plot. The step that leaves out the reflections without a usable uncertainty fills them,
// and only when the command line asks for a listing or a plot; a run that asks for neither
// keeps none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace memprep {

struct ListedReflection {
  std::int64_t h = 0, k = 0, l = 0;
  double d = 0;  // Å; 0 when neither the source nor the cell gives one
  // As the MEM data set writes them (Io scaled by 1e-10 unless the data are time-of-flight
  // data); NaN where the source gives none (members of groups read from an earlier data set).
  double Io = 0, FoAbs = 0, SigFo = 0;
  double FModel = 0;  // |F_model| when the phases come from the model; NaN otherwise
  // Written on its own, as a member of a group, left out, or left out with its group.
  enum class Status : std::uint8_t { written, member, left_out, group_left_out };
  Status status = Status::written;
  std::int64_t group = 0;   // member: its group's number in the MEM data set
  const char* reason = "";  // left out: why, in the words of the warnings
  const char* rule = "";    // the rule that gave SigFo ("counting", "refinement"); "" for none
};

// The listing of one conversion.
struct Listing {
  bool wanted = false;                 // asked for: the step fills the rows
  bool model_phases = false;           // FModel holds |F_model|
  std::string control, source;         // the control file and the source, as named
  std::string title;                   // the conversion's title
  std::vector<ListedReflection> rows;  // in the order the reader gave them
};

}  // namespace memprep
