// One run of the converter: the store, the open files and the file names. Every routine
// of the run takes the Run it works on.
#pragma once

#include <iostream>
#include <string>

#include "store/output_file.hpp"
#include "store/store.hpp"
#include "store/text_source.hpp"

namespace memprep {

struct Run {
  explicit Run(std::ostream& console_stream = std::cout) : console(console_stream) {}

  Store store;

  std::string CTLFILE, SRCFILE, AUXFILE, OUTFILE, FOSFILE;
  char KIND = ' ';
  std::int64_t ctl_out_line = 0;  // control-file line that named OUTFILE (for messages)

  std::string LINE;  // work buffer for control lines and the text of E

  TextSource ctl;       // the control file
  TextSource src;       // a text source (kinds G, F, Z)
  OutputFile mem;       // the MEM data set
  OutputFile companion; // the companion file (kinds G and F)

  std::ostream& console;  // console lines written during the run (prompts)
};

// The whole run for the control file already named in run.CTLFILE: reads, writes and, when
// everything has succeeded, puts the outputs in place. Throws Stop or IoFailure.
void run_converter(Run& run);

}  // namespace memprep
