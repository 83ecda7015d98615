// The source kinds as data: what selects each kind, what it reads and what it writes. The
// driver, the help text and the fuzz harness all go by this table.
#pragma once

#include <span>
#include <string_view>

#include "control/control_layout.hpp"
#include "store/run.hpp"

namespace memprep {

struct SourceKindRow {
  SourceKind kind = SourceKind::none;

  // How the kind is named: the name fragments that select it (the first row with a
  // fragment found anywhere in the file's own name decides; case-sensitive: only the forms
  // listed), the kind in words for messages, and what the source holds for the help text.
  struct Naming {
    std::string_view fragments[4];  // unused ones empty
    std::string_view words;
    std::string_view help;
  } name = {};

  // The control file: its lines in order, read by the driver and the reader and written by
  // --template.
  std::span<const ControlLine> (*layout)() = nullptr;

  // How the source is read.
  struct Reading {
    bool text = false;             // the driver opens the source as text (run.src)
    void (*read)(Run&) = nullptr;  // the reader of the kind
    bool fixed_phase = false;      // the phase number is 1, whatever the control file says
    // When the reader sets the rule Sigma::source, it leaves Fo², sigma(Fo²) and the phase
    // as a unit phasor in the store (steps/squared_observations.hpp).
    bool squares = false;
  } source = {};

  // What is written beside the MEM data set.
  struct Writing {
    bool companion = false;       // a companion structure-factor file
    bool overlap_groups = false;  // the source's own overlap groups (the "# NREF2" section)
  } writes = {};

  // What the options that form overlap groups and take the refinement's uncertainties need.
  struct Giving {
    bool multiplicities = false;    // multiplicities and d-spacings (--overlap-d)
    bool peak_widths = false;       // peak positions and their FWHM (--overlap-fwhm)
    bool intensity_sigmas = false;  // the sigma of each observed intensity (--sigma)
  } gives = {};
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
