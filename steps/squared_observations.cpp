#include "steps/squared_observations.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "steps/uncertainties.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

bool usable(const Store& s, std::size_t i) {
  return std::isfinite(s.Io[i]) && s.SigIo[i] > 0 && std::isfinite(s.SigIo[i]);
}

// One key for an index whose components fit in 21 bits each.
std::int64_t key_of(const Representative& r) {
  constexpr std::int64_t kHalf = std::int64_t{1} << 20;
  return ((r.h + kHalf) << 42) | ((r.k + kHalf) << 21) | (r.l + kHalf);
}

}  // namespace

void merge_equivalents(Run& run) {
  if (!run.representative) return;
  Store& s = run.store;
  const auto n = static_cast<std::size_t>(s.NREF1);
  std::unordered_map<std::int64_t, std::size_t> kept_at;
  kept_at.reserve(n);
  // Per kept entry: the sums of the weights and of the weighted Fo², whether its phase is
  // the kept index's own, and how many of its reflections are of the kept index's hand and
  // how many Friedel mates of it.
  std::vector<double> weights(n + 1), sums(n + 1);
  std::vector<char> own_phase(n + 1);
  std::vector<std::int64_t> hand(n + 1), mates(n + 1);
  std::size_t kept = 0;
  for (std::size_t i = 1; i <= n; ++i) {
    if (!usable(s, i)) {
      if (++kept != i) s.copy_entry(kept, i);
      continue;
    }
    const Representative r = run.representative(s.H[i], s.K[i], s.L[i]);
    const bool own = r.h == s.H[i] && r.k == s.K[i] && r.l == s.L[i] && !r.friedel;
    std::complex<double> phasor(s.FoR[i], s.FoI[i]);
    if (r.friedel) phasor = std::conj(phasor);
    if (r.phase_shift != 0) {
      // The shifts are whole multiples of 30 or 45 degrees: exact at the quarter turns.
      const double deg = std::round(r.phase_shift * (180 / std::numbers::pi) * 1e9) / 1e9;
      const CosSin turn = cos_sin_deg(deg);
      phasor *= std::complex<double>(turn.cos, turn.sin);
    }
    const double w = 1.0 / (s.SigIo[i] * s.SigIo[i]);
    const double f2 = s.Io[i];
    auto [at, added] = kept_at.try_emplace(key_of(r), kept + 1);
    const std::size_t k = at->second;
    if (added) {
      ++kept;
      if (kept != i) s.copy_entry(kept, i);
      s.H[k] = r.h;
      s.K[k] = r.k;
      s.L[k] = r.l;
      own_phase[k] = own;
    } else {
      ++run.merged;
    }
    ++(r.mate ? mates : hand)[k];
    if (added || (own && !own_phase[k])) {
      own_phase[k] = own;
      s.FoR[k] = phasor.real();
      s.FoI[k] = phasor.imag();
    }
    weights[k] += w;
    sums[k] += w * f2;
  }
  for (std::size_t k = 1; k <= kept; ++k) {
    run.friedel_merged += std::min(hand[k], mates[k]);
    if (weights[k] == 0) continue;  // an entry left as it was read
    s.Io[k] = sums[k] / weights[k];
    s.SigIo[k] = 1.0 / std::sqrt(weights[k]);
  }
  s.NREF1 = static_cast<std::int64_t>(kept);
}

void moduli_from_squares(Store& s) {
  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const auto i = static_cast<std::size_t>(j);
    const double f = std::sqrt(std::max(s.Io[i], 0.0));
    s.FoAbs[i] = std::isnan(s.Io[i]) ? s.Io[i] : f;
    // + 0.0: a zero modulus gives Fo(r) and Fo(i) of 0, never -0.
    s.FoR[i] = s.FoR[i] * s.FoAbs[i] + 0.0;
    s.FoI[i] = s.FoI[i] * s.FoAbs[i] + 0.0;
    const double x = 0.5 * s.FoAbs[i] / sigma_from_squared(s.FoAbs[i], s.SigIo[i]);
    s.Io[i] = x * x * 1.0e10;
  }
}

}  // namespace memprep
