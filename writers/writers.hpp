// The writers: the MEM data set and what follows it.
#pragma once

#include <string>
#include <string_view>

#include "store/run.hpp"

namespace memprep {

// The MEM data set, on run.mem.
void write_mem_data_set(Run& run);
// The companion structure-factor text file, on run.companion.
void write_companion_file(Run& run);
// The overlap groups of the store, appended to run.mem as its "# NREF2" section.
void write_overlap_groups(Run& run);

// The companion file's name: the MEM data set's name without its trailing blanks, its
// extension replaced by ".fos" (".fos" appended when the file's own name has none).
std::string companion_name(const std::string& outfile);

// The first six lines that the MEM data set and the companion file share: title, cell, and
// the fixed POP1/POP2 line. `line` is a scratch buffer.
void write_title_cell_pop(const Run& run, OutputFile& out, std::string_view output,
                          std::string& line);

// "# E =" is followed by this text of E: 1P,G13.6 without its trailing blanks.
std::string e_text(double e);

}  // namespace memprep
