// One run of the converter: the store, the open files and the file names. Every stage of
// the run takes the Run it works on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iostream>
#include <span>
#include <string>

#include "io/errors.hpp"
#include "io/output_file.hpp"
#include "io/text_source.hpp"
#include "store/listing.hpp"
#include "store/store.hpp"

namespace memprep {

// The kinds of source the converter reads; the driver's table of source kinds says what
// each one needs and writes.
enum class SourceKind {
  none,
  list_file,
  fullprof_output,
  fos_file,
  earlier_mem_data_set,
  reflection_cif
};

// What a control line holds, and the settings the outputs print: each kind's control layout
// is a list of lines, each holding one of these (control/control_layout.hpp), and a value
// written to an output names the setting it came from.
enum class Setting : std::uint8_t {
  source,             // the source file's name
  auxiliary,          // the auxiliary file's name
  output,             // the MEM data set's name
  title,              // TITLE
  symmetry,           // VOL, SPG, SET
  E,                  // E
  grid,               // NX NY NZ
  iamp,               // IAMP
  amplitudes,         // AMPPOS, AMPNEG
  lambda1,            // LAMBDA1
  histogram,          // IHIST (a FullProf output's pattern; the bank of time-of-flight data)
  phase,              // IPHASE
  polarisation,       // PolA PolB
  bank_angle,         // TWOTH: the bank-angle line, or the one 2theta of an earlier data set
  tof_constants,      // TOFLIN TOFQUAD TOFZERO
  amplitude_divisor,  // FODIV
  table_layout,       // the column layout of a reflection table the reader does not know
  cell,               // CELL, from the source
  data_block,         // the data block of a CIF that holds several
  sigma_rule,         // how a source without uncertainties gives them
};
inline constexpr std::size_t kSettings = static_cast<std::size_t>(Setting::sigma_rule) + 1;

// Where each setting was read, as "FILE:LINE" (or "FILE: record N" for a binary source), for
// messages about its value. Empty when not read.
struct SettingOrigins {
  std::array<std::string, kSettings> at;
  std::string& operator[](Setting s) { return at[static_cast<std::size_t>(s)]; }
  const std::string& operator[](Setting s) const { return at[static_cast<std::size_t>(s)]; }
};

struct ControlLine;  // control/control_layout.hpp

// The run's place in the control layout of its source kind: the line read next, and the
// conditions of the conditional lines as the reader has decided them (a bit per condition).
struct ControlCursor {
  std::span<const ControlLine> layout;
  std::size_t next = 0;
  std::uint32_t present = 0, absent = 0;
};

// What the command line asks of every conversion beyond the control file.
struct RunOptions {
  // Overlap groups formed from the source: reflections chained when their peak positions
  // differ by less than overlap_fwhm times their mean FWHM, or their d-spacings by less
  // than overlap_d (in Angstrom). 0: not asked for.
  double overlap_fwhm = 0;
  double overlap_d = 0;
  bool overlap_groups() const { return overlap_fwhm > 0 || overlap_d > 0; }
  // sigma(|Fo|): from E and Io (counting), from the refinement's sigma of Iobs, or (set by
  // a reader whose source gives sigma(|Fo|²) itself) from the source's value in SigIo.
  enum class Sigma { counting, refinement, source } sigma = Sigma::counting;
  // Reflection CIFs: the largest R(F²) of a model against the file's F²calc that is
  // accepted; Friedel mates kept apart when merging equivalents; reflections flagged as not
  // observed left out.
  double max_r_f2 = 0.05;
  bool keep_friedel = false;
  bool observed_only = false;
  // The names in each control file are taken relative to that control file's directory.
  bool names_beside_control = false;
  // The per-reflection listing and the plot ("-": standard output); empty: not asked for.
  std::string list_file, plot_file;
  bool wants_listing() const { return !list_file.empty() || !plot_file.empty(); }
};

// The representative of a reflection's equivalents, as a reader that knows the space group
// gives it: F(h k l) = F(given), or its conjugate when `friedel`, times exp(i phase_shift).
struct Representative {
  std::int64_t h = 0, k = 0, l = 0;
  double phase_shift = 0;  // radians
  bool friedel = false;
  // A Friedel mate that no operation of the group relates (an acentric group): what the
  // summary counts as one.
  bool mate = false;
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
  ControlCursor control;
  std::string chosen;              // what the reader took from the source, in words
  std::int64_t left_out = 0;       // reflections left out without a usable sigma(|Fo|)
  std::string left_out_reasons;    // how many for each reason, in words
  bool binary_source = false;      // SrcLine holds record numbers of a binary source
  bool phases_from_model = false;  // the reader computed F_model: FcAbs holds |F_model|
  std::string names_from;          // the directory relative names are taken in; "": here
  Listing listing;                 // what became of each reflection, when asked for

  // Set by a reader whose reflections are merged to one per unique index
  // (steps/merging.hpp); the merge counts what it took in.
  std::function<Representative(std::int64_t, std::int64_t, std::int64_t)> representative;
  std::int64_t merged = 0;          // reflections merged into another of the same unique index
  std::int64_t friedel_merged = 0;  // Friedel pairs among them (of an acentric group)

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
