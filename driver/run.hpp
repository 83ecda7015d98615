// The fixed sequence of one conversion, driven by the table of source kinds.
#pragma once

#include <cstddef>
#include <string>

#include "store/run.hpp"

namespace memprep {

// The whole run for the control file already named in run.CTLFILE: reads, writes and, when
// everything has succeeded, puts the outputs in place. Throws Stop or IoFailure.
void run_converter(Run& run);

// False when a file `name` exists that is not a companion file (its first line is not the
// companion writer's first line): a run refuses to replace it.
bool companion_may_replace(const std::string& name);

}  // namespace memprep
