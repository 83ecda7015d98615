// A control file written from a source: every value the source holds filled in, each line
// commented, and placeholders that a run refuses where the source holds nothing.
#pragma once

#include <string>

namespace memprep {

// The complete, commented control file for `source` (a FullProf output, a list file or a reflection
// CIF). Throws IoFailure when the source cannot be read or is of another kind.
std::string control_template(const std::string& source);

}  // namespace memprep
