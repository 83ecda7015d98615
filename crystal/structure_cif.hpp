// The crystal model of a CIF block: the refined structure a structure CIF (or a reflection
// CIF's own block) holds, its cell and its space group alone, and the check of a model's
// |F|² against the file's F²calc.
//
// gemmi's CIF document is only declared here; crystal/structure_cif.cpp reads it.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "crystal/crystal.hpp"

namespace gemmi::cif {
struct Block;
}

namespace memprep::crystal {

// The refined structure held in one CIF block: `_cell_*`; the symmetry from
// `_space_group_symop_operation_xyz` or `_symmetry_equiv_pos_as_xyz`, the Hall symbol, the
// H-M name and the number (each given piece checked against the others through
// space_group()); `_atom_site_*` (fract_x/y/z, occupancy, U_iso_or_equiv or B_iso_or_equiv,
// type_symbol, adp_type) with `_atom_site_aniso_*` (U_ij or B_ij);
// `_atom_type_scat_dispersion_real/imag` as f' and f''; `_atom_type_scat_length_neutron`
// (given in units of 1e-12 cm = 10 fm: converted to fm). Occupancies are made
// crystallographic as the crystal layer wants them. Both the underscore and the dotted
// (DDL2) spellings of tags are accepted. Throws ModelError naming the item (and its line
// when gemmi knows it).
struct CifStructure {
  Model model;
  double F000 = std::numeric_limits<double>::quiet_NaN();        // _exptl_crystal_F_000
  double wavelength = std::numeric_limits<double>::quiet_NaN();  // _diffrn_radiation_wavelength
  bool has_atoms = false;  // the block holds _atom_site_fract_x
};
CifStructure structure_from_cif(const gemmi::cif::Block& block, Radiation radiation);

// The cell and the space group of a block alone (a reflection file without atoms), by the
// same rules.
Cell cell_from_cif(const gemmi::cif::Block& block);
SpaceGroup space_group_from_cif(const gemmi::cif::Block& block);

// The least-squares scale k of the model's |F|² to a file's F²calc and
// R(F²) = Σ|F²file − k F²model| / Σ F²file over the reflections used (both values finite,
// the file's not negative).
struct FSquaredFit {
  double scale = 0;
  double R = 0;
  std::size_t used = 0;
};
FSquaredFit fit_f_squared(const std::vector<double>& file_F2, const std::vector<double>& model_F2);

}  // namespace memprep::crystal
