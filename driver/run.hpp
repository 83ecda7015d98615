// The fixed sequence of one conversion, driven by the table of source kinds.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "store/run.hpp"

namespace memprep {

// The files of the other conversions of one call (several control files): no output of a
// conversion may replace a control file of the call, a file an earlier conversion read, or
// an output an earlier conversion wrote.
struct CallFiles {
  struct Done {
    std::string file;
    std::string role;          // "the source file", "the MEM data set", ...
    std::string control_file;  // of the conversion that read or wrote it
  };
  std::vector<std::string> control_files;
  std::vector<Done> read, written;

  // Notes the inputs of a conversion, and its outputs when it succeeded.
  void note(const Run& run, bool succeeded);
};

// The whole run for the control file already named in run.CTLFILE: reads, writes and, when
// everything has succeeded, puts the outputs in place. Throws Stop or IoFailure.
void run_converter(Run& run, const CallFiles* call = nullptr);

// False when a file `name` exists that is not a companion file (its first line is not the
// companion writer's first line): a run refuses to replace it.
bool companion_may_replace(const std::string& name);

}  // namespace memprep
