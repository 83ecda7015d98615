// The source kinds as data: what selects each kind, what it reads and what it writes. The
// driver, the help text and the fuzz harness all go by this table.
#pragma once

#include <span>
#include <string_view>

#include "store/run.hpp"

namespace memprep {

struct SourceKindRow {
  SourceKind kind;
  // The name fragments that select the kind: the first row with a fragment found anywhere
  // in the file's own name decides (case-sensitive: only the forms listed).
  std::string_view fragments[2];
  std::string_view words;       // the kind in words, for the help text and messages
  std::string_view help;        // what the source holds, for the help text
  bool auxiliary;               // the control file names an auxiliary file after the source
  bool fixed_phase;             // the phase number is 1, whatever the control file says
  void (*read_settings)(Run&);  // the settings before the source is opened, or none
  bool text_source;             // the driver opens the source as text (run.src)
  void (*read_source)(Run&);    // the reader of the kind
  bool companion;               // a companion structure-factor file is written
  bool overlap_groups;          // the source brings overlap groups (the "# NREF2" section)
  // What the options that form overlap groups and take the refinement's uncertainties need:
  bool multiplicities;    // multiplicities and d-spacings (--overlap-d)
  bool peak_widths;       // peak positions and their FWHM (--overlap-fwhm)
  bool intensity_sigmas;  // the refinement's sigma of each observed intensity (--sigma)
};

// Every kind, in the order in which the name fragments are tried.
std::span<const SourceKindRow> source_kinds();

// The row of a kind.
const SourceKindRow& source_kind(SourceKind kind);

// The kind a source file's name selects: only the name after the last "/" counts. Stops
// with the extension message when no fragment is found; `named_at` ("FILE:LINE") is where
// the control file names the source.
const SourceKindRow& choose_source_kind(std::string_view srcfile, const std::string& named_at);

}  // namespace memprep
