#include "control/control_file.hpp"

#include <cstdint>

#include "control/control_layout.hpp"

namespace memprep {

void read_control_line(Run& run, std::string& buffer, std::size_t length, std::string_view what) {
  for (;;) {
    if (!run.ctl.next(length))
      throw IoFailure(run.ctl.name(), 0,
                      "end of file: the control file ends before " + std::string(what));
    std::string_view rec = run.ctl.rec();
    // The byte-order mark some editors put at the start of a UTF-8 file.
    if (run.ctl.line() == 1 && rec.starts_with("\xEF\xBB\xBF")) rec.remove_prefix(3);
    std::size_t first = rec.find_first_not_of(' ');
    if (first == std::string_view::npos) continue;  // blank line
    rec.remove_prefix(first);
    if (rec.front() == '#') continue;  // comment line
    std::size_t hash = rec.find('#');
    if (hash != std::string_view::npos) rec = rec.substr(0, hash);
    buffer.assign(trim_right(rec));
    // A control file written by --template marks each value the source does not hold with
    // a placeholder "<...>"; a run stops at the first one left.
    if (buffer.size() >= 2 && buffer.front() == '<' && buffer.back() == '>') {
      std::string condition = "this line still holds the template's placeholder ";
      condition.append(buffer).append(": replace it with the value");
      throw IoFailure(run.ctl.name(), run.ctl.line(), condition);
    }
    return;
  }
}

Symmetry decode_symmetry_line(std::string_view line) {
  Symmetry sym;
  sym.VOL = line.empty() ? ' ' : line[0];
  std::size_t dash = line.size() > 3 ? line.find('-', 3) : std::string_view::npos;
  if (dash != std::string_view::npos) {
    ListInput(cols(line, 3, dash)).next(sym.SPG);
    ListInput(cols(line, dash + 2, 512)).next(sym.SET);
  } else {
    ListInput(cols(line, 3, 512)).next(sym.SPG);
    sym.SET = 1;
  }
  return sym;
}

void read_symmetry_line(Run& run) {
  Store& s = run.store;
  read_control_line(run, run.LINE, 512, "the symmetry line");
  const Symmetry sym = run.ctl.located("the symmetry line (VOL, SPG[-SET])",
                                       [&] { return decode_symmetry_line(run.LINE); });
  s.VOL = sym.VOL;
  s.SPG = sym.SPG;
  s.SET = sym.SET;
}

void read_file_name(Run& run, std::string& name, std::string_view what) {
  read_control_line(run, name, TextSource::kLongestRecord, what);
  name.erase(name.find_last_not_of(" \t") + 1);
  // A line longer than the text source holds has a name cut at its end, unless a comment
  // or blanks stood there.
  const std::string_view rec = run.ctl.rec();
  const bool cut = run.ctl.overlong() && rec.find('#') == std::string::npos &&
                   rec.find_last_not_of(" \t") == rec.size() - 1;
  if (name.size() > kLongestName || cut)
    throw IoFailure(
        run.ctl.name(), run.ctl.line(),
        std::string(what) + " is longer than " + std::to_string(kLongestName) + " characters");
  if (name.find('\0') != std::string::npos)
    throw IoFailure(run.ctl.name(), run.ctl.line(), std::string(what) + " holds a NUL byte");
}

namespace {

// Where the control line just read stands.
std::string here(const Run& run) {
  return where(run.ctl.name(), run.ctl.line());
}

// A relative name taken in run.names_from (-C), where the run is to take it.
void take_beside_control(const Run& run, std::string& name) {
  if (run.names_from.empty() || name.empty() || name.front() == '/') return;
  name = run.names_from + "/" + name;
}

}  // namespace

// The lines of the layouts.

void read_source_name(Run& run, const ControlLine& line) {
  read_file_name(run, run.SRCFILE, line.what);
  take_beside_control(run, run.SRCFILE);
}

// "-" names no auxiliary file: the reader takes the amplitudes from elsewhere.
void read_auxiliary_name(Run& run, const ControlLine& line) {
  read_file_name(run, run.AUXFILE, line.what);
  if (run.AUXFILE == "-") run.AUXFILE.clear();
  take_beside_control(run, run.AUXFILE);
  decide_line(run, When::auxiliary_file, !run.AUXFILE.empty());
}

void read_output_name(Run& run, const ControlLine& line) {
  read_file_name(run, run.OUTFILE, line.what);
  take_beside_control(run, run.OUTFILE);
  run.ctl_out_line = run.ctl.line();
}

void read_title(Run& run, const ControlLine& line) {
  read_control_line(run, run.store.TITLE, 70, line.what);
  if (std::string fault = title_fault(run.store.TITLE); !fault.empty()) run.ctl.fail(fault);
}

void read_symmetry(Run& run, const ControlLine&) {
  read_symmetry_line(run);
}

// E enters every sigma(|Fo|) as |Fo| / (2 sqrt(E Io)): only a positive E gives a weight.
void read_E(Run& run, const ControlLine& line) {
  read_control_values(run, line.what, run.store.E);
  if (!(run.store.E > 0))
    run.ctl.fail("E = " + number_text(run.store.E) +
                 ": E must be greater than 0, as sigma(|Fo|) = |Fo| / (2 sqrt(E Io))");
}

void read_grid(Run& run, const ControlLine& line) {
  Store& s = run.store;
  read_control_values(run, line.what, s.NX, s.NY, s.NZ);
  if (std::string fault = grid_fault(s.NX, s.NY, s.NZ); !fault.empty()) run.ctl.fail(fault);
}

// A MEM data set without its amplitude block is of no use to the MEM program.
void read_iamp(Run& run, const ControlLine& line) {
  read_control_values(run, line.what, run.store.IAMP);
  if (run.store.IAMP != 0 && run.store.IAMP != 1)
    throw Stop(" IAMP should be 0 or 1",
               here(run) + ": IAMP is " + std::to_string(run.store.IAMP) +
                   ": write 0 (positive amplitude only) or 1 (positive and negative amplitudes)");
}

void read_amplitudes(Run& run, const ControlLine&) {
  Store& s = run.store;
  if (s.IAMP == 1)
    read_control_values(run, "the positive and negative amplitudes", s.AMPPOS, s.AMPNEG);
  else
    read_control_values(run, "the positive amplitude", s.AMPPOS);
}

// A negative wavelength is no wavelength; 0 stands for none (time-of-flight data).
void read_lambda1(Run& run, const ControlLine& line) {
  read_control_values(run, line.what, run.store.LAMBDA1);
  if (run.store.LAMBDA1 < 0)
    run.ctl.fail("lambda1 = " + number_text(run.store.LAMBDA1) +
                 ": the wavelength must not be negative (0 when there is no single wavelength)");
}

void read_histogram(Run& run, const ControlLine& line) {
  Store& s = run.store;
  read_control_values(run, line.what, s.IHIST);
  if (s.IHIST < 0) {
    std::string msg = " Invalid histogram number:";
    put_I(msg, s.IHIST, 4);
    throw Stop(msg, here(run) + ": the histogram number is " + std::to_string(s.IHIST) +
                        ": write the number of the histogram (pattern) to convert, 0 or more");
  }
}

void read_phase(Run& run, const ControlLine& line) {
  read_control_values(run, line.what, run.store.IPHASE);
}

void read_bank_angles(Run& run, const ControlLine&) {
  Store& s = run.store;
  s.TWOTH = read_bank_angle(run, s.NBANK, s.NBANKS);
}

void read_tof_constants(Run& run, const ControlLine& line) {
  Store& s = run.store;
  read_control_values(run, line.what, s.TOFLIN, s.TOFQUAD, s.TOFZERO);
}

void read_settings(Run& run) {
  read_control_lines(run, Stage::settings);
}

}  // namespace memprep
