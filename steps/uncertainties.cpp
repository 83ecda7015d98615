#include "steps/uncertainties.hpp"

#include <array>
#include <string>
#include <vector>

namespace memprep {

namespace {

constexpr int kShown = 5;  // left-out reflections and groups named one by one

constexpr std::size_t kFaults = 12;
using FaultCounts = std::array<std::int64_t, kFaults>;

std::int64_t total(const FaultCounts& counts) {
  std::int64_t n = 0;
  for (std::int64_t c : counts) n += c;
  return n;
}

// "Io zero or negative: 3, |Fo| zero: 1", in the order of the faults.
std::string reasons_text(const FaultCounts& counts) {
  std::string reasons;
  for (std::size_t f = 1; f < kFaults; ++f) {
    if (counts[f] == 0) continue;
    if (!reasons.empty()) reasons += ", ";
    reasons += fault_words(static_cast<SigmaFault>(f));
    reasons += ": ";
    reasons += std::to_string(counts[f]);
  }
  return reasons;
}

// Under the counting rule for |F| and E Io': with |F| above 0 and E Io' a finite number
// above 0, the rule itself can still overflow (E Io' below about 1e-308 has no finite
// reciprocal) or underflow.
SigmaFault counting_fault(double f, double e_io) {
  if (!(e_io > 0)) return SigmaFault::io_not_positive;
  if (std::isinf(e_io)) return SigmaFault::io_infinite;
  if (f < 0) return SigmaFault::fo_negative;
  if (!(f > 0)) return SigmaFault::fo_zero;
  return std::isfinite(counting_sigma(f, e_io)) ? SigmaFault::sigma_underflow
                                                : SigmaFault::sigma_not_finite;
}

// The rule in the words of the warnings, for a reflection or for a group.
std::string rule_words(RunOptions::Sigma rule, bool group) {
  if (rule == RunOptions::Sigma::refinement)
    return group ? "sigma(G'o') from the table's Sigma of Iobs"
                 : "sigma(|Fo|) from the table's Sigma of Iobs";
  return group ? "sigma(G'o') = G'o' / (2 sqrt(E sum Io))" : "sigma(|Fo|) = |Fo| / (2 sqrt(E Io))";
}

}  // namespace

const char* fault_words(SigmaFault fault) {
  switch (fault) {
    case SigmaFault::none:
      return "none";
    case SigmaFault::io_not_positive:
      return "Io zero or negative";
    case SigmaFault::io_infinite:
      return "Io infinite";
    case SigmaFault::fo_zero:
      return "|Fo| zero";
    case SigmaFault::icalc_not_positive:
      return "Icalc zero or negative";
    case SigmaFault::sigma_zero:
      return "Sigma or |F|calc zero";
    case SigmaFault::not_finite:
      return "too large";
    case SigmaFault::sigma_not_finite:
      return "sigma(|Fo|) not finite";
    case SigmaFault::sigma_underflow:
      return "sigma(|Fo|) below the smallest number";
    case SigmaFault::fo_negative:
      return "|Fo| negative";
    case SigmaFault::sum_not_positive:
      return "SUM zero or negative";
    case SigmaFault::go_negative:
      return "G'o' negative";
  }
  return "";
}

double weighted_intensity(const Store& s, double io) {
  double t = s.E * io;
  if (!s.LTOF) t = t * 1.0e-10;
  return t;
}

double refinement_sigma_squared(const Store& s, std::size_t i) {
  if (!(s.Icalc[i] > 0)) return std::nan("");
  const double k = s.FcAbs[i] * s.FcAbs[i] / s.Icalc[i];
  return k * s.SigIo[i];
}

SigmaFault reflection_fault(const Store& s, std::size_t i, RunOptions::Sigma rule) {
  // |Fo| from a model needs the reflection's Icalc: without it, none was formed.
  if (std::isnan(s.FoAbs[i]) && !(s.Icalc[i] > 0)) return SigmaFault::icalc_not_positive;
  if (rule == RunOptions::Sigma::counting)
    return counting_fault(s.FoAbs[i], weighted_intensity(s, s.Io[i]));
  if (!(s.Icalc[i] > 0)) return SigmaFault::icalc_not_positive;
  if (!(refinement_sigma_squared(s, i) > 0)) return SigmaFault::sigma_zero;
  return SigmaFault::not_finite;
}

void assign_uncertainties(Store& s, RunOptions::Sigma rule) {
  if (rule == RunOptions::Sigma::refinement) {
    for (std::int64_t j = 1; j <= s.NREF1; ++j) {
      const auto i = static_cast<std::size_t>(j);
      s.SigFo[i] = sigma_from_squared(s.FoAbs[i], refinement_sigma_squared(s, i));
    }
    return;
  }
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const auto i = static_cast<std::size_t>(j);
    s.SigFo[i] = counting_sigma(s.FoAbs[i], weighted_intensity(s, s.Io[i]));
  }
}

void value_group(const Store& s, Store::OverlapGroup& g, std::size_t first,
                 RunOptions::Sigma rule) {
  double m_sum = 0, f2_sum = 0, io_sum = 0, sigma_f2_sum = 0;
  for (std::size_t i = first; i < first + static_cast<std::size_t>(g.NMem); ++i) {
    const auto m = static_cast<double>(s.MRef[i]);
    m_sum += m;
    f2_sum += m * (s.FoAbs[i] * s.FoAbs[i]);
    if (rule == RunOptions::Sigma::refinement)
      sigma_f2_sum += m * refinement_sigma_squared(s, i);
    else
      io_sum += s.Io[i];
  }
  g.Go = std::sqrt(f2_sum / m_sum);
  g.Sum = rule == RunOptions::Sigma::refinement
              ? sigma_from_squared(g.Go, sigma_f2_sum / m_sum)
              : counting_sigma(g.Go, weighted_intensity(s, io_sum));
}

SigmaFault group_fault(const Store& s, const Store::OverlapGroup& g, std::size_t first,
                       RunOptions::Sigma rule) {
  const std::size_t end = first + static_cast<std::size_t>(g.NMem);
  if (rule == RunOptions::Sigma::counting) {
    double io_sum = 0;
    for (std::size_t i = first; i < end; ++i) io_sum += s.Io[i];
    return counting_fault(g.Go, weighted_intensity(s, io_sum));
  }
  for (std::size_t i = first; i < end; ++i)
    if (!(s.Icalc[i] > 0)) return SigmaFault::icalc_not_positive;
  for (std::size_t i = first; i < end; ++i)
    if (refinement_sigma_squared(s, i) > 0) return SigmaFault::not_finite;
  return SigmaFault::sigma_zero;
}

void leave_out_unweighted(Run& run) {
  Store& s = run.store;
  const RunOptions::Sigma rule = run.options.sigma;
  const bool formed = run.options.overlap_groups();  // the groups are this run's own
  // A MEM data set without reflections is of no use to the MEM program.
  if (s.NREF1 == 0 && s.groups.empty())
    throw IoFailure(run.SRCFILE, 0, "no reflection to write: the source gives none");

  std::int64_t members = 0;
  for (const Store::OverlapGroup& g : s.groups) members += g.NMem;
  const auto singles = static_cast<std::size_t>(s.NREF1);
  // Where each entry goes (0: left out), for the list in source order.
  std::vector<std::int64_t> moved;
  if (!s.source_order.empty()) moved.assign(singles + static_cast<std::size_t>(members) + 1, 0);

  FaultCounts faults{};
  std::string shown;
  std::size_t kept = 0;
  for (std::size_t i = 1; i <= singles; ++i) {
    const double sigma = s.SigFo[i];
    if (sigma > 0 && std::isfinite(sigma)) {
      if (++kept != i) s.copy_entry(kept, i);
      if (!moved.empty()) moved[i] = static_cast<std::int64_t>(kept);
      continue;
    }
    const SigmaFault why = reflection_fault(s, i, rule);
    ++faults[static_cast<std::size_t>(why)];
    if (total(faults) <= kShown)
      shown += "memprep: " + run.reflection_origin(i) + ": reflection " + std::to_string(s.H[i]) +
               " " + std::to_string(s.K[i]) + " " + std::to_string(s.L[i]) + ": " +
               fault_words(why) + "\n";
  }
  const std::int64_t left_out = total(faults);

  FaultCounts group_faults{};
  std::string groups_shown;
  // Group members follow the single reflections and move down with them. A group is left
  // out whole when its SUM is no usable uncertainty (or, brought by an earlier MEM data
  // set, its G'o' is negative).
  std::vector<Store::OverlapGroup> groups_kept;
  std::size_t from = singles + 1, to = kept + 1;
  for (const Store::OverlapGroup& g : s.groups) {
    const auto n = static_cast<std::size_t>(g.NMem);
    if (g.Sum > 0 && std::isfinite(g.Sum) && (formed || g.Go >= 0)) {
      for (std::size_t m = 0; m < n; ++m, ++to) {
        if (to != from + m) s.copy_entry(to, from + m);
        if (!moved.empty()) moved[from + m] = static_cast<std::int64_t>(to);
      }
      groups_kept.push_back(g);
    } else {
      const SigmaFault why = formed     ? group_fault(s, g, from, rule)
                             : g.Go < 0 ? SigmaFault::go_negative
                                        : SigmaFault::sum_not_positive;
      ++group_faults[static_cast<std::size_t>(why)];
      if (total(group_faults) <= kShown)
        groups_shown += "memprep: " + run.reflection_origin(from) + ": overlap group of " +
                        std::to_string(n) + " reflections from " + std::to_string(s.H[from]) + " " +
                        std::to_string(s.K[from]) + " " + std::to_string(s.L[from]) + ": " +
                        fault_words(why) + "\n";
    }
    from += n;
  }
  s.groups = std::move(groups_kept);
  const std::int64_t groups_left_out = total(group_faults);
  if (left_out == 0 && groups_left_out == 0) return;

  s.NREF1 = static_cast<std::int64_t>(kept);
  if (!moved.empty()) {
    std::size_t n = 0;
    for (std::int64_t entry : s.source_order)
      if (moved[static_cast<std::size_t>(entry)] != 0)
        s.source_order[n++] = moved[static_cast<std::size_t>(entry)];
    s.source_order.resize(n);
  }

  const char* companion = run.FOSFILE.empty() ? "" : " and the companion file";
  if (left_out > 0) {
    run.left_out = left_out;
    run.left_out_reasons = reasons_text(faults);
    run.warnings << "memprep: " << where(run.SRCFILE, 0) << ": warning: " << left_out << " of "
                 << (formed ? "the " : "") << singles
                 << (formed ? " reflections outside overlap groups" : " reflections")
                 << " left out of the MEM data set" << companion << ", as their "
                 << rule_words(rule, false) << " would not be a finite number above 0 ("
                 << run.left_out_reasons << ")\n"
                 << shown;
    if (left_out > kShown) run.warnings << "memprep: and " << left_out - kShown << " more\n";
  }
  if (groups_left_out > 0) {
    run.groups_left_out = groups_left_out;
    run.groups_left_out_reasons = reasons_text(group_faults);
    run.warnings << "memprep: " << where(run.SRCFILE, 0) << ": warning: " << groups_left_out
                 << " of " << s.groups.size() + static_cast<std::size_t>(groups_left_out)
                 << " overlap groups left out of the MEM data set"
                 << (run.FOSFILE.empty() ? "" : ", and their reflections of the companion file")
                 << ", as their " << (formed ? rule_words(rule, true) : "SUM from the source")
                 << " would not be a finite number above 0 (" << run.groups_left_out_reasons
                 << ")\n"
                 << groups_shown;
    if (groups_left_out > kShown)
      run.warnings << "memprep: and " << groups_left_out - kShown << " more\n";
  }

  if (s.NREF1 == 0 && s.groups.empty())
    throw IoFailure(run.SRCFILE, 0,
                    std::string("no reflection is left to write: every reflection read has a ") +
                        (formed ? "sigma(|Fo|) or sigma(G'o')" : "sigma(|Fo|)") +
                        " that is not a finite number above 0");
}

}  // namespace memprep
