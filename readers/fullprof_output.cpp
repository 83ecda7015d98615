#include "readers/readers.hpp"

namespace memprep {

void read_fullprof_output(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
