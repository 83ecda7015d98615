// The "# NREF2" section of the MEM data set: the overlap groups of the store, each with its
// member count, the first member with G'o' and SUM, and every member with its M. Nothing
// is written when the store holds no group.
#include <cstdint>
#include <string>

#include "io/fields.hpp"
#include "writers/record.hpp"
#include "writers/writers.hpp"

namespace memprep {

void write_overlap_groups(Run& run) {
  const Store& s = run.store;
  if (s.groups.empty()) return;

  OutputFile& out = run.mem;
  constexpr std::string_view kOutput = "the MEM data set";
  out.write_line("# NREF2");
  write_record(run, out, kOutput,
               I(static_cast<std::int64_t>(s.groups.size()), 5, "the number of overlap groups",
                 Origin::count_of_groups()));
  // A free-format heading: the line begins with a blank.
  out.write_line(" #  h    k    l           G'o'            SUM        M");

  // The SUM of a group formed here is its uncertainty; one read from an earlier data set is
  // written as it stands.
  const bool formed = run.options.overlap_groups();
  std::size_t IREF = static_cast<std::size_t>(s.NREF1);
  std::size_t number = 0;
  for (const Store::OverlapGroup& g : s.groups) {
    const Origin group = Origin::group(++number, IREF + 1);
    write_record(run, out, kOutput, I(g.NMem, 5, "the number of members", group));
    for (std::int64_t m = 1; m <= g.NMem; ++m) {
      ++IREF;
      if (m == 1) {
        const FField sum = F(g.Sum, 15, 4, "SUM", group);
        write_record(run, out, kOutput, I(s.H[IREF], 5, "h", group), I(s.K[IREF], 5, "k", group),
                     I(s.L[IREF], 5, "l", group), F(g.Go, 15, 4, "G'o'", group),
                     formed ? uncertainty(sum) : sum, I(s.MRef[IREF], 9, "M", group));
      } else {
        write_record(run, out, kOutput, I(s.H[IREF], 5, "h", group), I(s.K[IREF], 5, "k", group),
                     I(s.L[IREF], 5, "l", group), X(30), I(s.MRef[IREF], 9, "M", group));
      }
    }
  }
}

}  // namespace memprep
