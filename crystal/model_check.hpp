// Whether a model's structure factors explain a refinement's calculated intensities: per
// reflection the ratio Icalc / (multiplicity |F_model|² LP) should be one scale factor up to
// slowly varying corrections (preferred orientation, absorption, extinction).
#pragma once

#include <cstddef>
#include <vector>

namespace memprep::crystal {

// The Lorentz-polarisation factor assumed: constant-wavelength X-rays
// (1 + cos² 2θ) / (sin² θ cos θ); constant-wavelength neutrons 1 / (sin² θ cos θ); time of
// flight d⁴ (the bank's sin θ is one factor for all reflections of a bank).
enum class Geometry { xray, neutron, time_of_flight };
double lorentz_polarisation(Geometry geometry, double two_theta_degrees, double d);

struct CheckedReflection {
  double Icalc = 0;
  double multiplicity = 0;
  double F2 = 0;         // |F_model|²
  double two_theta = 0;  // degrees, constant wavelength
  double d = 0;          // Å, time of flight
};

struct CheckResult {
  std::size_t used = 0;               // reflections with Icalc at least min_fraction of the largest
  double scale = 0;                   // the median ratio
  double spread = 0;                  // rms of ratio / scale - 1 over the reflections used
  double worst = 0;                   // the largest |ratio / scale - 1|
  std::vector<std::size_t> outliers;  // indices whose |ratio / scale - 1| exceeds tolerance,
                                      // the largest deviation first
};

CheckResult model_check(const std::vector<CheckedReflection>& reflections, Geometry geometry,
                        double tolerance = 0.05, double min_fraction = 1e-3);

}  // namespace memprep::crystal
