#include "readers/readers.hpp"

namespace memprep {

void read_mem_data_set(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
