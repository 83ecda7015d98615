#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

std::string e_text(double e) {
  std::string text;
  put_G(text, e, 13, 6, 1);
  return std::string(trim_right(text));
}

void write_mem_data_set(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
