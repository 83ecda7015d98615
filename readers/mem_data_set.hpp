// Steps of the earlier-MEM-data-set reader that the overlap-group copy and the tests share.
#pragma once

#include <string_view>

#include "driver/run.hpp"

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

}  // namespace memprep
