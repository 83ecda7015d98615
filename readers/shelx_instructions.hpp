// The crystal model of a SHELX instruction file (.res, .ins): CELL, LATT and SYMM, SFAC
// (element symbols, or the long form with its f' and f''), DISP, FVAR and the atoms up to
// HKLF or END, with parameters coded by free variables (10m + p) decoded and riding
// isotropic U's (-1.2, -1.5) taken from the atom they ride on. For X-rays, an element without
// DISP or the long form of SFAC has f' and f'' computed for CELL's wavelength, as SHELXL
// takes them from its tables.
#pragma once

#include "crystal/crystal.hpp"
#include "io/text_source.hpp"

namespace memprep {

// Reads the instructions open on `src` from its current record. The occupancies are turned
// crystallographic (the file's site occupation factor times the site's symmetry order);
// Q-peaks are left out. A missing CELL, an atom whose scattering-factor number SFAC does
// not define, a value that does not read, a free variable FVAR does not define, symmetry
// that forms no group, or a file that ends before HKLF or END is an IoFailure naming the
// line.
crystal::Model read_shelx_instructions(TextSource& src, crystal::Radiation radiation);

}  // namespace memprep
