#include "control/control_layout.hpp"

#include <stdexcept>

namespace memprep {

namespace {

std::uint32_t bit(When when) {
  return std::uint32_t{1} << static_cast<unsigned>(when);
}

bool decided_absent(const Run& run, When when) {
  return when != When::always && (run.control.absent & bit(when)) != 0;
}

[[noreturn]] void out_of_order(const Run& run, const ControlLine& line, std::string_view why) {
  throw std::logic_error("control layout: " + std::string(line.what) + " (" +
                         where(run.ctl.name(), run.ctl.line()) + "): " + std::string(why));
}

}  // namespace

std::string_view when_text(When when) {
  switch (when) {
    case When::always:
      return "always";
    case When::time_of_flight:
      return "time-of-flight data only";
    case When::polarisation:
      return "X-ray data (type PXC) only";
    case When::unknown_heading:
      return "only when the reflection table's heading is not one memprep knows";
    case When::auxiliary_file:
      return "only when an auxiliary file is named";
    case When::no_wavelength:
      return "only when the file gives no wavelength";
    case When::powder:
      return "powder CIFs only";
  }
  return "";
}

void start_layout(Run& run, std::span<const ControlLine> layout) {
  run.control = ControlCursor{layout, 0, 0, 0};
}

void start_layout(Run& run, std::span<const ControlLine> layout, Setting from) {
  run.control = ControlCursor{layout, 0, 0, 0};
  while (run.control.next < layout.size() && layout[run.control.next].holds != from)
    ++run.control.next;
  if (run.control.next == layout.size())
    throw std::logic_error("control layout: no line holds the setting to start from");
}

void start_layout(Run& run, std::span<const ControlLine> layout, Stage stage) {
  run.control = ControlCursor{layout, 0, 0, 0};
  while (run.control.next < layout.size() && layout[run.control.next].stage < stage)
    ++run.control.next;
}

const ControlLine& advance_layout(Run& run, Setting holds) {
  ControlCursor& c = run.control;
  for (; c.next < c.layout.size(); ++c.next) {
    const ControlLine& line = c.layout[c.next];
    if (line.holds == holds) {
      if (decided_absent(run, line.when)) out_of_order(run, line, "read although decided absent");
      ++c.next;
      return line;
    }
    if (!decided_absent(run, line.when))
      out_of_order(run, line, "passed over without its condition decided absent");
  }
  throw std::logic_error("control layout: a line read beyond the end of the layout");
}

void read_control(Run& run, Setting holds) {
  const ControlLine& line = advance_layout(run, holds);
  line.read(run, line);
  run.origin[holds] = where(run.ctl.name(), run.ctl.line());
}

void read_control_lines(Run& run, Stage stage) {
  ControlCursor& c = run.control;
  while (c.next < c.layout.size() && c.layout[c.next].stage <= stage) {
    const ControlLine& line = c.layout[c.next];
    if (decided_absent(run, line.when)) {
      ++c.next;
      continue;
    }
    if (line.stage < stage) out_of_order(run, line, "not read in its stage");
    read_control(run, line.holds);
  }
}

void decide_line(Run& run, When when, bool present) {
  (present ? run.control.present : run.control.absent) |= bit(when);
}

void finish_layout(Run& run) {
  const ControlCursor& c = run.control;
  for (std::size_t i = c.next; i < c.layout.size(); ++i) {
    const ControlLine& line = c.layout[i];
    if (line.when == When::always || (c.present & bit(line.when)) != 0)
      out_of_order(run, line, "not read, although present");
  }
}

}  // namespace memprep
