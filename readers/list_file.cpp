#include "readers/readers.hpp"

namespace memprep {

void read_list_file(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
