#include "readers/readers.hpp"

namespace memprep {

double read_bank_angle(Run&, std::int64_t, std::int64_t&) {
  throw Stop(" This source kind is not supported yet");
}

}  // namespace memprep
