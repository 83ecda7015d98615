// The writers: the MEM data set and what follows it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/run.hpp"

namespace memprep {

// The MEM data set, on run.mem.
void write_mem_data_set(Run& run);
// The companion structure-factor text file, on run.companion.
void write_companion_file(Run& run);
// The overlap groups of the store, appended to run.mem as its "# NREF2" section.
void write_overlap_groups(Run& run);

// Takes one line of a listing or a plot, without its line end.
using LineSink = std::function<void(std::string_view)>;

// The per-reflection listing of the conversions, one tab-separated line per reflection read.
void write_reflection_listing(const std::vector<Listing>& conversions, const LineSink& out);
// The status column of a row: "written", "member of group" (its number follows), "left out",
// "left out with its overlap group".
const char* status_words(const ListedReflection& r);

// The plot of the conversions as an SVG image: |Fo| and sigma(|Fo|) against sin(theta)/lambda
// and, where the phases come from the model, |Fo| against |F_model|; a row of panels for
// each conversion.
void write_plot_svg(const std::vector<Listing>& conversions, const LineSink& out);

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
