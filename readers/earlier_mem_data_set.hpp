// Steps of the reader of earlier MEM data sets, for the tests.
#pragma once

#include <string_view>

#include "store/run.hpp"

namespace memprep {

// The first word of a record: after leading blanks, the text up to the next blank, comma
// or slash (empty when the record is blank or starts with a comma or slash).
std::string_view first_word(std::string_view rec);

// A word read: reads records until one that is not blank and returns its first word (the
// rest of the record is passed over). Returns false at the end of the file.
bool read_word(TextSource& src, std::string_view& word);

// Dspacing and Wavelength of reflections 1..NREF1 from CELL and TWOTH: the triclinic
// d-spacing and Bragg's law with theta = TWOTH / 2.
void compute_d_spacings(Run& run);

// The overlap groups after the reflection list, from the current position of run.src to
// its end, into the store: the groups kept, and their members after the NREF1 single
// reflections with their M values.
void read_overlap_groups(Run& run);

}  // namespace memprep
