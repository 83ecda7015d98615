// The source readers: one per source kind, and the steps they share.
#pragma once

#include <cstdint>

#include "store/run.hpp"

namespace memprep {

// Kind R: binary structure-factor file (opens run.SRCFILE itself).
void read_fos_file(Run& run);
// Kind F: FullProf standard output on run.src, with its auxiliary file run.AUXFILE.
void read_fullprof_output(Run& run);
// Kind G: refinement list file on run.src.
void read_list_file(Run& run);
// Kind Z: earlier MEM data set on run.src (reads its own control lines).
void read_mem_data_set(Run& run);

// The bank-angle line of the control file: sets NBANKS, checks nbank, returns its angle.
double read_bank_angle(Run& run, std::int64_t nbank, std::int64_t& nbanks);

}  // namespace memprep
