#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

std::string companion_name(const std::string& outfile) {
  std::string name(trim_right(outfile));
  name.resize(name.size() > 4 ? name.size() - 4 : 0);
  return name + ".fos";
}

void write_companion_file(Run&) { throw Stop(" This source kind is not supported yet"); }

}  // namespace memprep
