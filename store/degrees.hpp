// Trigonometry in degrees, the unit of every angle the converter reads: phase angles, cell
// angles and detector-bank angles.
//
// Two policies, each named after what it does at the quarter turns:
//
// - cos_sin_deg, exact at the quarter turns: an angle that is a whole multiple of 90 degrees
//   gives cosine and sine of exactly 0, 1 or -1. Converted to radians, such an angle is not
//   exactly a multiple of pi, and the library functions give residues such as
//   cos(90) = 6.1e-17 or sin(-180) = -1.2e-16: a phase of 90 or 180 degrees would leave a
//   tiny part that is written as -0.0000, and a right angle of the cell a spurious cross term
//   in the d-spacing. The FullProf reader's phase angles and the cell and bank angles of
//   earlier MEM data sets take this policy.
//
// - cos_sin_deg_residues, the library functions of deg * pi / 180 at every angle, residues
//   included. The list-file reader's phase angles and bank angle take it: its MEM data sets
//   and companion files have always carried these residues (a phase of 270 degrees gives
//   Fo(r) -0.0000), and a conversion repeated today must give the same file.
#pragma once

#include <cmath>
#include <numbers>

namespace memprep {

struct CosSin {
  double cos, sin;
};

inline CosSin cos_sin_deg_residues(double deg) {
  const double rad = deg * (std::numbers::pi / 180.0);
  return {std::cos(rad), std::sin(rad)};
}

inline CosSin cos_sin_deg(double deg) {
  double r = std::fmod(deg, 360.0);
  if (r < 0) r += 360.0;
  if (r == 0) return {1, 0};
  if (r == 90) return {0, 1};
  if (r == 180) return {-1, 0};
  if (r == 270) return {0, -1};
  return cos_sin_deg_residues(deg);
}

inline double sin_deg(double deg) {
  return cos_sin_deg(deg).sin;
}

}  // namespace memprep
