// Anomalous dispersion corrections computed for a wavelength, on gemmi's Cromer-Liberman code
// (a large table of orbital data: kept out of the other crystal files).
#include <cmath>
#include <gemmi/fprime.hpp>

#include "crystal/crystal.hpp"

namespace memprep::crystal {

Dispersion dispersion(std::string_view type, double wavelength) {
  int z = atomic_number(type);
  if (z == 0 || !(wavelength > 0) || !std::isfinite(wavelength)) return {};
  constexpr double kHcEvAngstrom = 12398.4198;
  Dispersion d;
  d.fprime = gemmi::cromer_liberman(z, kHcEvAngstrom / wavelength, &d.fdoubleprime);
  return d;
}

}  // namespace memprep::crystal
