// Overlap groups formed from the reflections of a powder pattern. Reflections whose peaks
// overlap share one observed intensity, which the refinement has split among them in
// proportion to its model; the MEM program takes such reflections as one group with one
// observed value G'o' rather than as independent observations.
#pragma once

#include "store/run.hpp"

namespace memprep {

// Forms the overlap groups of the reflections 1..NREF1 by run.options:
// - the reflections are taken in the order of their peaks in the pattern: by Pos (2theta or
//   time of flight) when overlap_fwhm is given, otherwise by d (falling d for data at a
//   fixed wavelength, rising d for time-of-flight data); ties keep the reader's order;
// - neighbours in that order are chained when their positions differ by less than
//   overlap_fwhm × (Fwhm_i + Fwhm_i+1) / 2, or their d-spacings (neighbours in d) by less
//   than overlap_d; a difference equal to the limit in the decimals of the source is not
//   less, whatever the rounding of its binary value;
// - a reflection chained to no other stays a single reflection, in the reader's order;
//   the others make the groups, each a chain of chained reflections (either rule), groups
//   and members in peak order, the members after the single reflections with their
//   multiplicity as M;
// - G'o' = sqrt(sum m |Fo|² / sum m) and SUM, its uncertainty, by the run's rule
//   (value_group).
// Fills source_order. Reflections without a usable uncertainty are not looked at here. The
// groups' members take the entries of the reflections read, so they fit the store as those
// did; each group has two members at least, so their count fits its five columns.
void form_overlap_groups(Run& run);

// True when a and b are closer than limit (see above).
bool closer_than(double a, double b, double limit);

}  // namespace memprep
