#include "steps/overlap_grouping.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <utility>
#include <vector>

#include "steps/uncertainties.hpp"

namespace memprep {

namespace {

using Entries = std::vector<std::size_t>;

// The entries 1..n in the order of key(i), ties in entry order. Tables come in peak order
// as a rule: a sorted one is taken as it stands. The keys are sorted beside their entries,
// not looked up through them.
template <class Key>
Entries in_order(std::size_t n, Key&& key) {
  std::vector<std::pair<double, std::size_t>> keyed(n);
  for (std::size_t i = 1; i <= n; ++i) keyed[i - 1] = {key(i), i};
  if (!std::is_sorted(keyed.begin(), keyed.end())) std::sort(keyed.begin(), keyed.end());
  Entries order(n);
  for (std::size_t k = 0; k < n; ++k) order[k] = keyed[k].second;
  return order;
}

// Chains of entries: each entry points towards the first entry of its chain.
struct Chains {
  explicit Chains(std::size_t n) : up(n + 1) { std::iota(up.begin(), up.end(), std::size_t{0}); }
  std::size_t root(std::size_t i) {
    while (up[i] != i) {
      up[i] = up[up[i]];  // halves the path
      i = up[i];
    }
    return i;
  }
  void join(std::size_t a, std::size_t b) {
    a = root(a);
    b = root(b);
    if (a != b) up[std::max(a, b)] = std::min(a, b);
  }
  Entries up;
};

// Joins the neighbours of `order` that chained(a, b) chains.
template <class Chained>
void chain_neighbours(const Entries& order, Chains& chains, Chained&& chained) {
  for (std::size_t k = 0; k + 1 < order.size(); ++k)
    if (chained(order[k], order[k + 1])) chains.join(order[k], order[k + 1]);
}

}  // namespace

bool closer_than(double a, double b, double limit) {
  // Positions and limits are decimals read into binary values, each within a few units in
  // the last place: a margin far above that and far below the decimals printed.
  const double margin = 1e-12 * (std::fabs(a) + std::fabs(b) + std::fabs(limit));
  return std::fabs(b - a) < limit - margin;
}

namespace {

// Where the entries go: from[new entry] = old entry, the single reflections first in the
// reader's order, then the members of each group in peak order; each group's first entry.
struct Plan {
  std::vector<std::int64_t> from;
  Entries first;
  std::vector<Store::OverlapGroup> groups;
  std::size_t singles = 0;
};

Plan plan_groups(const Store& s, const RunOptions& o) {
  const auto n = static_cast<std::size_t>(s.NREF1);
  Plan plan;

  // Peak order.
  const bool by_position = o.overlap_fwhm > 0;
  const double d_sign = s.LTOF ? 1 : -1;  // the time of flight rises with d, 2theta falls
  auto d_key = [&](std::size_t i) { return d_sign * s.Dspacing[i]; };
  const Entries peaks =
      by_position ? in_order(n, [&](std::size_t i) { return s.Pos[i]; }) : in_order(n, d_key);

  Chains chains(n);
  if (by_position)
    chain_neighbours(peaks, chains, [&](std::size_t a, std::size_t b) {
      return closer_than(s.Pos[a], s.Pos[b], o.overlap_fwhm * ((s.Fwhm[a] + s.Fwhm[b]) / 2));
    });
  if (o.overlap_d > 0)
    chain_neighbours(by_position ? in_order(n, d_key) : peaks, chains,
                     [&](std::size_t a, std::size_t b) {
                       return closer_than(s.Dspacing[a], s.Dspacing[b], o.overlap_d);
                     });

  // The length of each chain, at its root; then the groups, numbered in the peak order of
  // their first members, and where each one's members begin among the entries.
  Entries& root = chains.up;  // each entry's root, once the loop has set it
  Entries length(n + 1, 0);
  for (std::size_t i = 1; i <= n; ++i) ++length[root[i] = chains.root(i)];
  for (std::size_t i = 1; i <= n; ++i)
    if (length[root[i]] == 1) ++plan.singles;
  constexpr std::size_t kNone = 0;
  Entries group_of(n + 1, kNone);  // group number + 1, at the root
  std::size_t next = plan.singles + 1;
  for (std::size_t i : peaks) {
    const std::size_t r = root[i];
    if (length[r] < 2 || group_of[r] != kNone) continue;
    plan.groups.push_back({0, 0, static_cast<std::int64_t>(length[r])});
    group_of[r] = plan.groups.size();
    plan.first.push_back(next);
    next += length[r];
  }
  if (plan.groups.empty()) return plan;

  plan.from.assign(n + 1, 0);
  std::size_t single = 0;
  for (std::size_t i = 1; i <= n; ++i)
    if (length[root[i]] == 1) plan.from[++single] = static_cast<std::int64_t>(i);
  Entries place = plan.first;  // the next entry of each group
  for (std::size_t i : peaks)
    if (const std::size_t g = group_of[root[i]]; g != kNone)
      plan.from[place[g - 1]++] = static_cast<std::int64_t>(i);
  return plan;
}

}  // namespace

void form_overlap_groups(Run& run) {
  Store& s = run.store;
  const RunOptions& o = run.options;
  if (!o.overlap_groups() || s.NREF1 == 0) return;
  // A threshold beyond the largest number would chain nothing (infinity minus the margin is
  // no number): the mean of two FWHM times the factor stays finite when each product does.
  if (o.overlap_fwhm > 0)
    for (std::int64_t i = 1; i <= s.NREF1; ++i)
      if (!std::isfinite(o.overlap_fwhm * s.Fwhm[i]))
        throw IoFailure(run.SRCFILE, s.SrcLine[i],
                        "--overlap-fwhm " + number_text(o.overlap_fwhm) + " times the FWHM " +
                            number_text(s.Fwhm[i]) + " of reflection " + std::to_string(s.H[i]) +
                            " " + std::to_string(s.K[i]) + " " + std::to_string(s.L[i]) +
                            " is beyond the largest number: give a smaller factor");
  Plan plan = plan_groups(s, o);
  if (plan.groups.empty()) return;

  s.reorder(plan.from, s.NREF1);
  s.source_order.assign(static_cast<std::size_t>(s.NREF1), 0);
  for (std::size_t entry = 1; entry < plan.from.size(); ++entry)
    s.source_order[static_cast<std::size_t>(plan.from[entry]) - 1] =
        static_cast<std::int64_t>(entry);

  s.NREF1 = static_cast<std::int64_t>(plan.singles);
  for (std::size_t g = 0; g < plan.groups.size(); ++g)
    value_group(s, plan.groups[g], plan.first[g], o.sigma);
  s.groups = std::move(plan.groups);
}

}  // namespace memprep
