#include "driver/summary.hpp"

#include <charconv>

#include "driver/source_kinds.hpp"
#include "io/errors.hpp"

namespace memprep {

namespace {

// An option's value as the user would write it: 0.00005, not 5e-05; a value whose fixed
// form does not fit in 32 characters (1e+40, 1e-40) in the shortest form.
std::string value_text(double v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (r.ec != std::errc()) return number_text(v);
  return std::string(buf, r.ptr);
}

std::string count(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string summary(const Run& run) {
  const Store& s = run.store;
  const std::string head = "memprep: " + where(run.CTLFILE, 0) + ": ";

  std::string read =
      head + where(run.SRCFILE, 0) + " (" + std::string(source_kind(run.KIND).name.words) + ")";
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
  if (run.groups_left_out > 0)
    wrote += ", " + count(run.groups_left_out, "overlap group", "overlap groups") + " left out (" +
             run.groups_left_out_reasons + ")";
  const RunOptions& o = run.options;
  if (o.overlap_groups()) {
    wrote += "; overlap groups of ";
    if (o.overlap_fwhm > 0) {
      wrote += "peaks closer than ";
      wrote += value_text(o.overlap_fwhm);
      wrote += " x their mean FWHM";
    }
    if (o.overlap_fwhm > 0 && o.overlap_d > 0) wrote += " or ";
    if (o.overlap_d > 0) {
      wrote += "d-spacings closer than ";
      wrote += value_text(o.overlap_d);
      wrote += " A";
    }
  }
  wrote += "; sigma(|Fo|) ";
  wrote += o.sigma == RunOptions::Sigma::refinement
               ? "from the table's Sigma of Iobs, scaled by |F|calc^2 / Icalc"
               : "= |Fo| / (2 sqrt(E Io)), E = " + number_text(s.E);
  wrote += "; wrote " + where(run.OUTFILE, 0);
  if (!run.FOSFILE.empty() && !run.companion.target().empty())
    wrote += " and " + where(run.FOSFILE, 0);
  return read + "\n" + wrote + "\n";
}

}  // namespace memprep
