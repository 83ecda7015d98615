// The control-file layout of a source kind as data: an ordered list of lines, each saying
// what it holds, when it is present, who reads it and how, and what a template writes for
// it. The driver and the readers take their control lines through the list of their kind,
// and --template writes its control file from the same list, so that the two cannot get out
// of order; the user guide's layout tables are checked against the lists.
//
// A reader decides each condition of its kind's conditional lines (decide_line) as it reads
// the source; a line whose condition is decided absent is passed over, and a line read out
// of the list's order, or passed over without its condition decided absent, is a fault of
// the program (std::logic_error), which every conversion the tests run would show.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "control/control_file.hpp"
#include "store/run.hpp"

namespace memprep {

// When a line is present.
enum class When : std::uint8_t {
  always,
  time_of_flight,   // the data of the pattern or histogram are neutron time of flight
  polarisation,     // the list file's histogram is of type PXC
  unknown_heading,  // the FullProf reflection table's heading is not one the reader knows
  auxiliary_file,   // an auxiliary file is named (not "-")
  no_wavelength,    // the source gives no wavelength
  powder,           // the reflection CIF holds a powder pattern's phases
};

// Who reads a line, in the order of a run.
enum class Stage : std::uint8_t {
  names,     // the driver, first: the file names, checked before anything is read
  settings,  // the driver, before the source is opened
  reader,    // the source reader, where it comes to the line
};

struct ControlLine {
  Setting holds = Setting::source;
  When when = When::always;
  Stage stage = Stage::settings;
  // The line in messages: "the end of the control file before ...", "FILE:LINE: E: ...".
  std::string_view what = {};
  // Reads the line into the store and checks it; none for a line whose values the reader
  // keeps itself (read_control_values below).
  void (*read)(Run&, const ControlLine&) = nullptr;
  // The user guide's description of the line.
  std::string_view guide = {};
  // What --template writes for the line when the source does not give its value: the
  // placeholder and its comment. Empty for a line every template fills in from the source.
  std::string_view placeholder = {};
  std::string_view comment = {};
};

// The condition of a line in words, as the user guide's layout tables give it.
std::string_view when_text(When when);

// Sets the run's layout; the next line read is its first line, or the one that holds `from`.
void start_layout(Run& run, std::span<const ControlLine> layout);
void start_layout(Run& run, std::span<const ControlLine> layout, Setting from);

// Sets the run's layout; the next line read is the first of `stage` (a reader read alone).
void start_layout(Run& run, std::span<const ControlLine> layout, Stage stage);

// Reads every line of `stage` from the next one on, up to the first line of a later stage.
void read_control_lines(Run& run, Stage stage);

// Reads the next line of the layout, which must hold `holds`, through its read function.
void read_control(Run& run, Setting holds);

// Reads the next line of the layout, which must hold `holds`, in free format into `vars`
// (read_control_values of control_file.hpp, under the line's name in messages).
template <class... Vars>
void read_control(Run& run, Setting holds, Vars&... vars);

// The reader's decision of a condition: whether the lines that depend on it are present.
void decide_line(Run& run, When when, bool present);

// After the source is read: every line the layout still holds must be absent.
void finish_layout(Run& run);

// ---- The lines several kinds share ---------------------------------------------------

// The read functions of the shared lines (control_file.cpp).
void read_source_name(Run& run, const ControlLine& line);
void read_auxiliary_name(Run& run, const ControlLine& line);
void read_output_name(Run& run, const ControlLine& line);
void read_title(Run& run, const ControlLine& line);
void read_symmetry(Run& run, const ControlLine& line);
void read_E(Run& run, const ControlLine& line);
void read_grid(Run& run, const ControlLine& line);
void read_iamp(Run& run, const ControlLine& line);
void read_amplitudes(Run& run, const ControlLine& line);
void read_lambda1(Run& run, const ControlLine& line);
void read_histogram(Run& run, const ControlLine& line);
void read_phase(Run& run, const ControlLine& line);
void read_bank_angles(Run& run, const ControlLine& line);
void read_tof_constants(Run& run, const ControlLine& line);

// A shared line with the user guide's description of another kind.
constexpr ControlLine with_guide(ControlLine line, std::string_view guide) {
  line.guide = guide;
  return line;
}

// A shared line that the reader reads where it comes to it.
constexpr ControlLine by_reader(ControlLine line) {
  line.stage = Stage::reader;
  return line;
}

// The source's name, the first line of every kind: it gives the kind.
inline constexpr ControlLine kSourceLine{
    .holds = Setting::source,
    .stage = Stage::names,
    .what = "the source file name",
    .read = read_source_name,
};

// The MEM data set's name, the second or third line of every kind.
inline constexpr ControlLine kOutputLine{
    .holds = Setting::output,
    .stage = Stage::names,
    .what = "the MEM data-set file name",
    .read = read_output_name,
    .guide = "the MEM data set's name",
};

// Title to phase number: the settings of list files and FullProf outputs, in this order.
inline constexpr ControlLine kTitleLine{
    .holds = Setting::title,
    .what = "the title",
    .read = read_title,
    .guide = "title",
    .placeholder = "<title: up to 70 characters>",
    .comment = "title: the source gives none",
};
inline constexpr ControlLine kSymmetryLine{
    .holds = Setting::symmetry,
    .what = "the symmetry line",
    .read = read_symmetry,
    .guide = "symmetry line",
    .placeholder = "<symmetry line: VOL letter in column 1, space group from column 3>",
    .comment = "VOL SPG[-SET]",
};
inline constexpr ControlLine kELine{
    .holds = Setting::E,
    .what = "E",
    .read = read_E,
    .guide = "`E`",
    .placeholder = "<E: a number above 0>",
    .comment = "E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io))",
};
inline constexpr ControlLine kGridLine{
    .holds = Setting::grid,
    .what = "NX NY NZ",
    .read = read_grid,
    .guide = "`NX NY NZ`",
    .placeholder = "<NX NY NZ: grid divisions along a, b and c>",
    .comment = "NX NY NZ",
};
inline constexpr ControlLine kIampLine{
    .holds = Setting::iamp,
    .what = "IAMP",
    .read = read_iamp,
    .guide = "`IAMP`: 0 or 1",
    .placeholder = "<IAMP: 0 or 1>",
    .comment = "IAMP: 0 = positive amplitude only, 1 = positive and negative",
};
inline constexpr ControlLine kAmplitudesLine{
    .holds = Setting::amplitudes,
    .what = "the amplitudes",  // the messages name the one or two the line holds
    .read = read_amplitudes,
    .guide = "`AMPPOS AMPNEG` (`IAMP` 1) or `AMPPOS` (`IAMP` 0)",
    .placeholder = "<amplitudes: AMPPOS, then AMPNEG when IAMP is 1>",
    .comment = "total scattering amplitude of the cell (electrons, or fm for neutrons)",
};
inline constexpr ControlLine kLambda1Line{
    .holds = Setting::lambda1,
    .what = "lambda1",
    .read = read_lambda1,
    .guide = "`lambda1`",
    .placeholder = "<lambda1: the wavelength in Angstrom>",
    .comment = "lambda1: the source gives none",
};
inline constexpr ControlLine kHistogramLine{
    .holds = Setting::histogram,
    .what = "the histogram number",
    .read = read_histogram,
    .guide = "`IHIST`, the histogram (pattern) number",
};
inline constexpr ControlLine kPhaseLine{
    .holds = Setting::phase,
    .what = "the phase number",
    .read = read_phase,
    .guide = "`IPHASE`, the phase number",
};

// The bank-angle line: read once the source has given the bank (NBANK).
inline constexpr ControlLine kBankAnglesLine{
    .holds = Setting::bank_angle,
    .when = When::time_of_flight,
    .stage = Stage::reader,
    .what = "the bank-angle line",
    .read = read_bank_angles,
    .guide = "the bank-angle line: 2θ of each detector bank, in bank order",
    .placeholder = "<bank angles: 2theta of each bank, in bank order>",
    .comment = "bank-angle line",
};

// ---- implementation -------------------------------------------------------------------

// The line that holds `holds`, from the next one on: the lines passed over must be absent.
const ControlLine& advance_layout(Run& run, Setting holds);

template <class... Vars>
void read_control(Run& run, Setting holds, Vars&... vars) {
  const ControlLine& line = advance_layout(run, holds);
  read_control_values(run, line.what, vars...);
  run.origin[holds] = where(run.ctl.name(), run.ctl.line());
}

}  // namespace memprep
