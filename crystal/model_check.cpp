#include "crystal/model_check.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace memprep::crystal {

double lorentz_polarisation(Geometry geometry, double two_theta_degrees, double d) {
  if (geometry == Geometry::time_of_flight) return d * d * d * d;
  double theta = two_theta_degrees * std::numbers::pi / 360;
  double s = std::sin(theta), c2 = std::cos(2 * theta);
  double lorentz = 1 / (s * s * std::cos(theta));
  return geometry == Geometry::xray ? lorentz * (1 + c2 * c2) : lorentz;
}

CheckResult model_check(const std::vector<CheckedReflection>& reflections, Geometry geometry,
                        double tolerance, double min_fraction) {
  CheckResult result;
  double largest = 0;
  for (const auto& r : reflections) largest = std::max(largest, r.Icalc);
  const double threshold = min_fraction * largest;

  std::vector<std::size_t> used;
  std::vector<double> ratio(reflections.size(), std::numeric_limits<double>::infinity());
  for (std::size_t i = 0; i < reflections.size(); ++i) {
    const auto& r = reflections[i];
    if (!(r.Icalc >= threshold) || r.Icalc <= 0) continue;
    double denominator = r.multiplicity * r.F2 * lorentz_polarisation(geometry, r.two_theta, r.d);
    if (denominator > 0 && std::isfinite(denominator)) ratio[i] = r.Icalc / denominator;
    used.push_back(i);
  }
  result.used = used.size();
  if (used.empty()) return result;

  std::vector<double> sorted;
  for (std::size_t i : used) sorted.push_back(ratio[i]);
  std::sort(sorted.begin(), sorted.end());
  std::size_t n = sorted.size();
  result.scale = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;

  double sum2 = 0;
  std::vector<double> deviation(reflections.size(), 0);
  for (std::size_t i : used) {
    double dev = std::isfinite(ratio[i]) && result.scale > 0
                     ? std::abs(ratio[i] / result.scale - 1)
                     : std::numeric_limits<double>::infinity();
    deviation[i] = dev;
    sum2 += dev * dev;
    result.worst = std::max(result.worst, dev);
    if (dev > tolerance) result.outliers.push_back(i);
  }
  std::stable_sort(result.outliers.begin(), result.outliers.end(),
                   [&](std::size_t a, std::size_t b) { return deviation[a] > deviation[b]; });
  result.spread = std::sqrt(sum2 / static_cast<double>(n));
  return result;
}

}  // namespace memprep::crystal
