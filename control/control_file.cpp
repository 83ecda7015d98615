#include "control/control_file.hpp"

#include <cstdint>

namespace memprep {

void read_control_line(Run& run, std::string& buffer, std::size_t length, std::string_view what) {
  for (;;) {
    if (!run.ctl.next(length))
      throw IoFailure(run.ctl.name(), 0,
                      "end of file: the control file ends before " + std::string(what));
    std::string_view rec = run.ctl.rec();
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
  run.origin.symmetry = where(run.ctl.name(), run.ctl.line());
  const Symmetry sym = run.ctl.located("the symmetry line (VOL, SPG[-SET])",
                                       [&] { return decode_symmetry_line(run.LINE); });
  s.VOL = sym.VOL;
  s.SPG = sym.SPG;
  s.SET = sym.SET;
}

namespace {

// Where the control line just read stands.
std::string here(const Run& run) {
  return where(run.ctl.name(), run.ctl.line());
}

// E enters every sigma(|Fo|) as |Fo| / (2 sqrt(E Io)): only a positive E gives a weight.
void read_E(Run& run) {
  read_control_values(run, "E", run.store.E);
  run.origin.E = here(run);
  if (!(run.store.E > 0))
    run.ctl.fail("E = " + number_text(run.store.E) +
                 ": E must be greater than 0, as sigma(|Fo|) = |Fo| / (2 sqrt(E Io))");
}

void check_iamp(const Run& run) {
  if (run.store.IAMP != 0 && run.store.IAMP != 1)
    throw Stop(" IAMP should be 0 or 1",
               here(run) + ": IAMP is " + std::to_string(run.store.IAMP) +
                   ": write 0 (positive amplitude only) or 1 (positive and negative amplitudes)");
}

// A negative wavelength is no wavelength; 0 stands for none (time-of-flight data).
void read_lambda1(Run& run) {
  read_control_values(run, "lambda1", run.store.LAMBDA1);
  run.origin.lambda1 = here(run);
  if (run.store.LAMBDA1 < 0)
    run.ctl.fail("lambda1 = " + number_text(run.store.LAMBDA1) +
                 ": the wavelength must not be negative (0 when there is no single wavelength)");
}

}  // namespace

void read_settings(Run& run) {
  Store& s = run.store;
  read_control_line(run, s.TITLE, 70, "the title");
  read_symmetry_line(run);
  read_E(run);
  read_control_values(run, "NX NY NZ", s.NX, s.NY, s.NZ);
  run.origin.grid = here(run);
  if (std::string fault = grid_fault(s.NX, s.NY, s.NZ); !fault.empty()) run.ctl.fail(fault);
  read_control_values(run, "IAMP", s.IAMP);
  check_iamp(run);
  if (s.IAMP == 1)
    read_control_values(run, "the positive and negative amplitudes", s.AMPPOS, s.AMPNEG);
  else
    read_control_values(run, "the positive amplitude", s.AMPPOS);
  run.origin.amplitudes = here(run);
  read_lambda1(run);
  read_control_values(run, "the histogram number", s.IHIST);
  run.origin.hist = here(run);
  if (s.IHIST < 0) {
    std::string msg = " Invalid histogram number:";
    put_I(msg, s.IHIST, 4);
    throw Stop(msg, here(run) + ": the histogram number is " + std::to_string(s.IHIST) +
                        ": write the number of the histogram (pattern) to convert, 0 or more");
  }
  read_control_values(run, "the phase number", s.IPHASE);
  run.origin.phase = here(run);
}

void read_fos_settings(Run& run) {
  Store& s = run.store;
  read_E(run);
  read_control_values(run, "IAMP", s.IAMP);
  // A MEM data set without its amplitude block is of no use to the MEM program.
  check_iamp(run);
  read_lambda1(run);
}

}  // namespace memprep
