#include "driver/summary.hpp"

#include "driver/source_kinds.hpp"
#include "store/errors.hpp"

namespace memprep {

namespace {

std::string count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string summary(const Run& run) {
  const Store& s = run.store;
  const std::string head = "memprep: " + where(run.CTLFILE, 0) + ": ";

  std::string read =
      head + where(run.SRCFILE, 0) + " (" + std::string(source_kind(run.KIND).words) + ")";
  if (!run.chosen.empty()) read += ": " + run.chosen;

  std::int64_t members = 0;
  for (const Store::OverlapGroup& g : s.groups) members += g.NMem;
  std::string wrote = head + count(s.NREF1, "reflection", "reflections");
  if (!s.groups.empty())
    wrote += " and " +
             count(static_cast<std::int64_t>(s.groups.size()), "overlap group", "overlap groups") +
             " (" + count(members, "member", "members") + ")";
  wrote += " written";
  if (run.left_out > 0)
    wrote += ", " + std::to_string(run.left_out) + " left out (" + run.left_out_reasons + ")";
  wrote += "; sigma(|Fo|) ";
  wrote += run.options.sigma == RunOptions::Sigma::refinement
               ? "from the refinement's sigma of Iobs"
               : "= |Fo| / (2 sqrt(E Io)), E = " + number_text(s.E);
  wrote += "; wrote " + where(run.OUTFILE, 0);
  if (!run.FOSFILE.empty() && !run.companion.target().empty())
    wrote += " and " + where(run.FOSFILE, 0);
  return read + "\n" + wrote + "\n";
}

}  // namespace memprep
