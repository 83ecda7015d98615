// The "# NREF2" section of the MEM data set: the overlap groups of the store, each with its
// member count, the first member with G'o' and SUM, and every member with its M. Nothing
// is written when the store holds no group.
#include <cstdint>
#include <string>

#include "io/fields.hpp"
#include "writers/checked_fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

// A SUM above 0 that its field would show as 0.0000 gives the group an infinite weight.
void require_visible_sum(const Run& run, const ValueOrigin& at, double sum,
                         std::string_view field) {
  if (field.find_first_of("123456789") != std::string_view::npos) return;
  std::string what = at.where + ": " + at.what + " = " + number_text(sum) + " is written as " +
                     std::string(field.substr(field.find_first_not_of(' '))) +
                     " in its field F15.4, a zero uncertainty";
  if (run.options.sigma == RunOptions::Sigma::counting) {
    what += "; E = " + number_text(run.store.E);
    if (!run.origin.E.empty()) what += " (" + run.origin.E + ")";
    what += " is too large for this group";
  }
  throw IoFailure("", 0, what);
}

}  // namespace

void write_overlap_groups(Run& run) {
  const Store& s = run.store;
  if (s.groups.empty()) return;

  OutputFile& out = run.mem;
  std::string line;
  constexpr std::string_view kOutput = "the MEM data set";
  out.write_line("# NREF2");
  CheckedLine(line, kOutput)
      .I(static_cast<std::int64_t>(s.groups.size()), 5, "the number of overlap groups",
         [&](std::string_view name) { return setting_origin(run, name); });
  out.write_line(line);
  // A free-format heading: the line begins with a blank.
  out.write_line(" #  h    k    l           G'o'            SUM        M");

  // Groups formed here are named by their first member's source line.
  const bool formed = run.options.overlap_groups();
  std::size_t IREF = static_cast<std::size_t>(s.NREF1);
  std::size_t number = 0;
  for (const Store::OverlapGroup& g : s.groups) {
    ++number;
    const std::string at = formed ? run.reflection_origin(IREF + 1) : where(run.SRCFILE, 0);
    auto group = [&](std::string_view name) {
      return ValueOrigin{
          at, "overlap group " + std::to_string(number) + ": " + std::string(name), {}};
    };
    line.clear();
    CheckedLine count(line, kOutput);
    count.I(g.NMem, 5, "the number of members", group);
    out.write_line(line);
    for (std::int64_t m = 1; m <= g.NMem; ++m) {
      ++IREF;
      line.clear();
      CheckedLine member(line, kOutput);
      member.I(s.H[IREF], 5, "h", group);
      member.I(s.K[IREF], 5, "k", group);
      member.I(s.L[IREF], 5, "l", group);
      if (m == 1) {
        member.F(g.Go, 15, 4, "G'o'", group);
        const std::size_t sum_at = line.size();
        member.F(g.Sum, 15, 4, "SUM", group);
        if (formed)
          require_visible_sum(run, group("SUM"), g.Sum, std::string_view(line).substr(sum_at));
      } else {
        put_X(line, 30);
      }
      member.I(s.MRef[IREF], 9, "M", group);
      out.write_line(line);
    }
  }
}

}  // namespace memprep
