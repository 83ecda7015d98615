#include "store/control_file.hpp"

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

void read_settings(Run& run) {
  Store& s = run.store;
  read_control_line(run, s.TITLE, 70, "the title");
  read_symmetry_line(run);
  read_control_values(run, "E", s.E);
  read_control_values(run, "NX NY NZ", s.NX, s.NY, s.NZ);
  read_control_values(run, "IAMP", s.IAMP);
  if (s.IAMP == 1) {
    read_control_values(run, "the positive and negative amplitudes", s.AMPPOS, s.AMPNEG);
  } else if (s.IAMP == 0) {
    read_control_values(run, "the positive amplitude", s.AMPPOS);
  } else {
    throw Stop(" IAMP should be 0 or 1");
  }
  read_control_values(run, "lambda1", s.LAMBDA1);
  read_control_values(run, "the histogram number", s.IHIST);
  if (s.IHIST < 0) {
    std::string msg = " Invalid histogram number:";
    put_I(msg, s.IHIST, 4);
    throw Stop(msg);
  }
  read_control_values(run, "the phase number", s.IPHASE);
}

void read_fos_settings(Run& run) {
  Store& s = run.store;
  read_control_values(run, "E", s.E);
  read_control_values(run, "IAMP", s.IAMP);
  // A MEM data set without its amplitude block is of no use to the MEM program.
  if (s.IAMP != 0 && s.IAMP != 1) throw Stop(" IAMP should be 0 or 1");
  read_control_values(run, "lambda1", s.LAMBDA1);
}

}  // namespace memprep
