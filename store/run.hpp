// One run of the converter: the store, the open files and the file names. Every stage of
// the run takes the Run it works on.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>

#include "io/errors.hpp"
#include "io/output_file.hpp"
#include "io/text_source.hpp"
#include "store/store.hpp"

namespace memprep {

// The kinds of source the converter reads; the driver's table of source kinds says what
// each one needs and writes.
enum class SourceKind { none, list_file, fullprof_output, fos_file, earlier_mem_data_set };

// Where the settings that the outputs print were read, as "FILE:LINE" (or "FILE: record N"
// for a binary source), for messages about their values. Empty when not read.
struct SettingOrigins {
  std::string symmetry, E, grid, amplitudes, lambda1, hist, phase, bank, cell;
};

// What the command line asks of every conversion beyond the control file.
struct RunOptions {
  // Overlap groups formed from the source: reflections chained when their peak positions
  // differ by less than overlap_fwhm times their mean FWHM, or their d-spacings by less
  // than overlap_d (in Angstrom). 0: not asked for.
  double overlap_fwhm = 0;
  double overlap_d = 0;
  bool overlap_groups() const { return overlap_fwhm > 0 || overlap_d > 0; }
  // sigma(|Fo|): from E and Io (counting), or from the refinement's sigma of Iobs.
  enum class Sigma { counting, refinement } sigma = Sigma::counting;
};

struct Run {
  explicit Run(std::ostream& console_stream = std::cout, std::ostream& warning_stream = std::cerr)
      : console(console_stream), warnings(warning_stream) {}

  Store store;

  std::string CTLFILE, SRCFILE, AUXFILE, OUTFILE, FOSFILE;
  SourceKind KIND = SourceKind::none;
  std::int64_t ctl_out_line = 0;  // control-file line that named OUTFILE (for messages)

  std::string LINE;  // work buffer for control lines and the text of E

  TextSource ctl;        // the control file
  TextSource src;        // a text source (list file, FullProf output, earlier MEM data set)
  OutputFile mem;        // the MEM data set
  OutputFile companion;  // the companion file

  RunOptions options;
  SettingOrigins origin;
  std::string chosen;            // what the reader took from the source, in words
  std::int64_t left_out = 0;     // reflections left out without a usable sigma(|Fo|)
  std::string left_out_reasons;  // how many for each reason, in words
  bool binary_source = false;    // SrcLine holds record numbers of a binary source

  // Overlap groups formed from the source and left out without a usable SUM: how many, and
  // how many for each reason, in words.
  std::int64_t groups_left_out = 0;
  std::string groups_left_out_reasons;

  std::ostream& console;   // console lines written during the run (prompts)
  std::ostream& warnings;  // what the run reports and goes on (standard error)

  // "SRCFILE:LINE" of reflection i ("SRCFILE: record N" for a binary source).
  std::string reflection_origin(std::size_t i) const {
    return binary_source ? where(SRCFILE, 0) + ": record " + std::to_string(store.SrcLine[i])
                         : where(SRCFILE, store.SrcLine[i]);
  }
};

}  // namespace memprep
