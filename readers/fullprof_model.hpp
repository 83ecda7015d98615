// The refined crystal model of one phase of a FullProf standard output: its space group, its
// cell and atoms with the values of the last cycle (the initial parameters when no cycle was
// printed), anisotropic parameters where printed, and the neutron scattering lengths the file
// lists (X-rays: the form-factor tables).
#pragma once

#include <cstdint>

#include "crystal/crystal.hpp"
#include "io/text_source.hpp"

namespace memprep {

struct FullProfModel {
  crystal::Model model;
  std::int64_t cycle = 0;  // the cycle whose values were taken; 0: the initial parameters
  // FullProf's occupancy is m/M times the chemical occupancy, times the factor it prints
  // ("... obtained multiplying m/M by F"); 1 when it prints none.
  double occupancy_factor = 1;
  bool scattering_lengths = false;  // the file lists the phase's neutron scattering lengths
  std::int64_t symmetry_line = 0;   // where the phase's space group is printed
};

// Reads phase `phase` of the output open on `src` from its first record (the source is
// rewound first). A phase the file does not hold, a magnetic phase, an atom type without a
// scattering factor in the file or in the tables, or symbols that disagree are IoFailures
// naming the line.
FullProfModel read_fullprof_model(TextSource& src, std::int64_t phase);

}  // namespace memprep
