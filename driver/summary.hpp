// The report after a successful conversion: what was read and what was written.
#pragma once

#include <string>

#include "store/run.hpp"

namespace memprep {

// Two lines, each ending in a line end: the source, its kind and what was taken from it;
// the reflections and groups written and left out, the uncertainty rule and the files.
std::string summary(const Run& run);

}  // namespace memprep
