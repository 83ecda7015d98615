// Observations that a source gives as squares: Fo² in Io, sigma(Fo²) in SigIo, and the
// phase of each reflection as a unit phasor in FoR, FoI (reflection CIFs). Two steps turn
// them into what the MEM data set holds:
// - merge_equivalents: one entry per unique index, when the reader set run.representative.
//   Fo² is the mean weighted by 1/sigma(Fo²)², sigma(Fo²) = 1/sqrt(sum of the weights);
//   the phase is the kept index's own, or an equivalent's turned by the operator that maps
//   it onto the kept index (its conjugate for a Friedel mate). Entries without a usable
//   sigma(Fo²) are not merged: they stay, to be left out and reported with the others.
//   run.merged counts the reflections merged into another, run.friedel_merged the
//   Friedel pairs among them (the smaller of the two hands of each entry, acentric groups).
// - moduli_from_squares: |Fo| = sqrt(max(Fo², 0)), Fo(r) + i Fo(i) = |Fo| times the
//   phasor, and Io such that the counting rule with E = 1 gives the source's sigma(|Fo|):
//   Io' = (|Fo| / (2 sigma(|Fo|)))², as an earlier MEM data set's Io is rebuilt.
#pragma once

#include "store/run.hpp"

namespace memprep {

void merge_equivalents(Run& run);
void moduli_from_squares(Store& s);

}  // namespace memprep
