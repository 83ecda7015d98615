#include "writers/writers.hpp"

namespace memprep {

void copy_overlap_groups(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
