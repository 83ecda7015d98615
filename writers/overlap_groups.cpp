// The "# NREF2" section of the MEM data set: the overlap groups of the store, each with its
// member count, the first member with G'o' and SUM, and every member with its M. Nothing
// is written when the store holds no group.
#include <cstdint>
#include <string>

#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

void write_overlap_groups(Run& run) {
  const Store& s = run.store;
  if (s.groups.empty()) return;

  OutputFile& out = run.mem;
  std::string line;
  out.write_line("# NREF2");
  put_I(line, static_cast<std::int64_t>(s.groups.size()), 5);
  out.write_line(line);
  // A free-format heading: the line begins with a blank.
  out.write_line(" #  h    k    l           G'o'            SUM        M");

  std::size_t IREF = static_cast<std::size_t>(s.NREF1);
  for (const Store::OverlapGroup& g : s.groups) {
    line.clear();
    put_I(line, g.NMem, 5);
    out.write_line(line);
    for (std::int64_t m = 1; m <= g.NMem; ++m) {
      ++IREF;
      line.clear();
      put_I(line, s.H[IREF], 5);
      put_I(line, s.K[IREF], 5);
      put_I(line, s.L[IREF], 5);
      if (m == 1) {
        put_F(line, g.Go, 15, 4);
        put_F(line, g.Sum, 15, 4);
      } else {
        put_X(line, 30);
      }
      put_I(line, s.MRef[IREF], 9);
      out.write_line(line);
    }
  }
}

}  // namespace memprep
