// The source readers: one per source kind, each with the control layout of its kind, and
// the steps they share.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_layout.hpp"
#include "store/run.hpp"

namespace memprep {

// The binary structure-factor file (opens run.SRCFILE itself).
void read_fos_file(Run& run);
std::span<const ControlLine> fos_file_layout();
// A FullProf standard output on run.src, with its auxiliary file run.AUXFILE.
void read_fullprof_output(Run& run);
std::span<const ControlLine> fullprof_output_layout();
// A refinement list file on run.src.
void read_list_file(Run& run);
std::span<const ControlLine> list_file_layout();
// A reflection CIF (opens run.SRCFILE itself), with the structure CIF run.AUXFILE when named.
void read_reflection_cif(Run& run);
std::span<const ControlLine> reflection_cif_layout();
// An earlier MEM data set on run.src.
void read_mem_data_set(Run& run);
std::span<const ControlLine> mem_data_set_layout();

// The failure for a pattern, histogram or phase `wanted` that `file` does not hold: "FILE
// holds phases 1 to 3; the control file asks for phase 4 (run.ctl:12)". `held` lists the
// numbers the file does hold (at least one); `asked_at` is where the control file asks.
IoFailure not_held(const std::string& file, std::string_view noun, std::vector<std::int64_t> held,
                   std::int64_t wanted, const std::string& asked_at);

}  // namespace memprep
