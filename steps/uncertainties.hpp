// The uncertainty sigma(|Fo|) that the MEM data set gives each reflection and each overlap
// group, and the reflections and groups left out because they would have none: a MEM
// program weights an observation by 1/sigma², so an infinite or undefined sigma means no
// weight, and a zero sigma an infinite one.
//
// Two rules (RunOptions::Sigma):
// - counting: sigma(|F|) = |F| / (2 sqrt(E Io')), Io' the intensity as the MEM data set
//   writes it (Io × 1e-10 unless the data are time-of-flight data), E the control file's
//   scale. A group takes the sum of its members' Io'.
// - refinement: from the sigma of Iobs that the refinement's table prints. The table's
//   intensities are |F|² times a factor of the reflection (scale, multiplicity, Lorentz and
//   polarisation, ...) that Icalc = factor × |F|calc² gives, so on the scale of |Fo|²
//       sigma(|Fo|²) = k sigma(Iobs),   k = |F|calc² / Icalc,
//   |F|calc taken from the auxiliary file on the scale of |Fo| (amplitude / FODIV × 10).
//   Then sigma(|Fo|) = sigma(|Fo|²) / (|Fo| + sqrt(|Fo|² + sigma(|Fo|²))), which is
//   sigma(|Fo|²) / (2 |Fo|) for strong reflections and stays finite at |Fo| = 0. A group
//   G'o'² = sum m |Fo|² / sum m takes sigma(G'o'²) = sum m sigma(|Fo|²) / sum m: the
//   intensities a refinement apportions to the reflections of one peak are fully correlated.
#pragma once

#include <cmath>
#include <cstdint>

#include "store/run.hpp"

namespace memprep {

// What keeps a reflection or group from a usable uncertainty.
enum class SigmaFault {
  none,
  io_not_positive,     // counting: E Io' zero or negative
  io_infinite,         // counting: E Io' infinite
  fo_zero,             // counting: |Fo| zero
  icalc_not_positive,  // refinement: Icalc zero or negative, no scale k
  sigma_zero,          // refinement: the sigma of Iobs, or |F|calc, zero or negative
  not_finite,          // refinement: too large to be a number
  sigma_not_finite,    // counting: |Fo| above 0, but 1/(E Io') or the product overflows
  sigma_underflow,     // counting: |Fo| above 0, but the product is below the smallest number
  fo_negative,         // counting: |Fo| below 0
  sum_not_positive,    // a group of an earlier MEM data set: its SUM zero or negative
  go_negative,         // a group of an earlier MEM data set: its G'o' negative
};

// The reason in words, as the reports give it.
const char* fault_words(SigmaFault fault);

// E Io' for an intensity Io as the store holds it.
double weighted_intensity(const Store& s, double io);

// The counting rule for |F| and E Io' (in this order of operations).
inline double counting_sigma(double f, double e_io) {
  return (0.5 * f) * std::sqrt(1.0 / e_io);
}

// sigma(|F|) from sigma(|F|²).
inline double sigma_from_squared(double f, double sigma_f2) {
  return sigma_f2 / (f + std::sqrt(f * f + sigma_f2));
}

// sigma(|Fo|²) of entry i from the refinement's table: k sigma(Iobs); NaN when Icalc is
// not above 0.
double refinement_sigma_squared(const Store& s, std::size_t i);

// Why entry i's uncertainty under `rule` is not a finite number above 0.
SigmaFault reflection_fault(const Store& s, std::size_t i, RunOptions::Sigma rule);

// G'o' and SUM (its sigma) of group g, whose members stand at entries first ..
// first + g.NMem - 1 with their multiplicities in MRef.
void value_group(const Store& s, Store::OverlapGroup& g, std::size_t first, RunOptions::Sigma rule);

// Why that group's SUM is not a finite number above 0.
SigmaFault group_fault(const Store& s, const Store::OverlapGroup& g, std::size_t first,
                       RunOptions::Sigma rule);

// sigma(|Fo|) of the reflections 1..NREF1 into SigFo, by `rule`.
void assign_uncertainties(Store& s, RunOptions::Sigma rule = RunOptions::Sigma::counting);

// Takes out of the store every single reflection whose SigFo is not a finite number above 0
// and, when the run formed its overlap groups, every group whose SUM is not, keeping the
// order of the others (and of the group members after them), and reports them on
// run.warnings: how many, why, and the first few with h k l and their source line. A run
// with no reflection and no overlap group, before or after, stops.
void leave_out_unweighted(Run& run);

}  // namespace memprep
