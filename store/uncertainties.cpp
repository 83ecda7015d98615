#include "store/uncertainties.hpp"

#include <cmath>
#include <string>

namespace memprep {

namespace {

constexpr int kShown = 5;  // left-out reflections named one by one

// E Io' of reflection i: the intensity as written, times E.
double weight_base(const Store& s, std::size_t i) {
  double t = s.E * s.Io[i];
  if (!s.LTOF) t = t * 1.0e-10;
  return t;
}

}  // namespace

void assign_uncertainties(Store& s) {
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const auto i = static_cast<std::size_t>(j);
    s.SigFo[i] = (0.5 * s.FoAbs[i]) * std::sqrt(1.0 / weight_base(s, i));
  }
}

LeftOut leave_out_unweighted(Run& run) {
  Store& s = run.store;
  // A MEM data set without reflections is of no use to the MEM program.
  if (s.NREF1 == 0 && s.groups.empty())
    throw IoFailure(run.SRCFILE, 0, "no reflection to write: the source gives none");
  LeftOut out;
  std::string shown;
  std::size_t kept = 0;
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const auto i = static_cast<std::size_t>(j);
    const double sigma = s.SigFo[i];
    if (sigma > 0 && std::isfinite(sigma)) {
      if (++kept != i) s.copy_entry(kept, i);
      continue;
    }
    const double t = weight_base(s, i);
    const char* why;
    if (!(t > 0)) {
      ++out.io_not_positive;
      why = "Io zero or negative";
    } else if (std::isinf(t)) {
      ++out.io_infinite;
      why = "Io infinite";
    } else {
      ++out.fo_zero;
      why = "|Fo| zero";
    }
    if (out.total() <= kShown)
      shown += "memprep: " + run.reflection_origin(i) + ": reflection " + std::to_string(s.H[i]) +
               " " + std::to_string(s.K[i]) + " " + std::to_string(s.L[i]) + ": " + why + "\n";
  }
  const std::int64_t left_out = out.total();
  if (left_out == 0) return out;

  // Group members follow the single reflections: they move down with them.
  std::int64_t members = 0;
  for (const Store::OverlapGroup& g : s.groups) members += g.NMem;
  const auto first_member = static_cast<std::size_t>(s.NREF1) + 1;
  for (std::size_t m = 0; m < static_cast<std::size_t>(members); ++m)
    s.copy_entry(kept + 1 + m, first_member + m);
  const std::int64_t read = s.NREF1;
  s.NREF1 = static_cast<std::int64_t>(kept);

  std::string reasons;
  auto reason = [&](std::int64_t n, const char* text) {
    if (n == 0) return;
    reasons += (reasons.empty() ? "" : ", ") + std::string(text) + ": " + std::to_string(n);
  };
  reason(out.io_not_positive, "Io zero or negative");
  reason(out.io_infinite, "Io infinite");
  reason(out.fo_zero, "|Fo| zero");
  run.left_out = left_out;
  run.left_out_reasons = reasons;
  run.warnings << "memprep: " << where(run.SRCFILE, 0) << ": warning: " << left_out << " of "
               << read << " reflections left out of the MEM data set"
               << (run.FOSFILE.empty() ? "" : " and the companion file")
               << ", as their sigma(|Fo|) = |Fo| / (2 sqrt(E Io)) would not be a finite number "
                  "above 0 ("
               << reasons << ")\n"
               << shown;
  if (left_out > kShown) run.warnings << "memprep: and " << left_out - kShown << " more\n";

  if (s.NREF1 == 0 && s.groups.empty())
    throw IoFailure(run.SRCFILE, 0,
                    "no reflection is left to write: every reflection read has a sigma(|Fo|) "
                    "that is not a finite number above 0");
  return out;
}

}  // namespace memprep
