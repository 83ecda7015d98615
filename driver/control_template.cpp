// The control file that --template writes: the layout of the source's kind, one setting per
// line in the order a run reads them, each line with its comment. A value the source holds
// is written as the source prints it; a value it does not hold is a placeholder "<...>",
// which read_control_line refuses, so that the template cannot be run by mistake.
#include "driver/control_template.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "crystal/crystal.hpp"
#include "driver/run.hpp"
#include "driver/source_kinds.hpp"
#include "io/errors.hpp"
#include "readers/fullprof_model.hpp"
#include "readers/list_file.hpp"
#include "readers/readers.hpp"
#include "readers/source_survey.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

constexpr std::size_t kCommentColumn = 24;  // the comments start in column 25
constexpr std::size_t kTitleLength = 70;    // the title's characters a run reads

class Lines {
 public:
  // A setting: the value, then its comment.
  void setting(std::string_view value, std::string_view comment) {
    std::string line(value);
    line.resize(std::max(line.size() + 2, kCommentColumn), ' ');
    line.append("# ").append(comment);
    text_.append(line).append("\n");
  }
  // A comment line ("#" alone for an empty text).
  void comment(std::string_view text) {
    text_.append(text.empty() ? "#" : "# ").append(text).append("\n");
  }
  std::string text() const { return text_; }

 private:
  std::string text_;
};

// What a template writes for a line of the layout: the value and its comment. An empty
// value is the line's placeholder, with this comment or else the line's own.
struct Entry {
  std::string value, comment;
};

// The entries the source fills in, and the conditions of the conditional lines as the
// source decides them.
struct Filled {
  std::array<std::optional<Entry>, kSettings> entries;
  bool time_of_flight = false, polarisation = false, auxiliary_file = true;

  void set(Setting s, std::string value, std::string comment) {
    entries[static_cast<std::size_t>(s)] = Entry{std::move(value), std::move(comment)};
  }
  bool present(When when) const {
    switch (when) {
      case When::always:
        return true;
      case When::auxiliary_file:
        return auxiliary_file;
      case When::time_of_flight:
        return time_of_flight;
      case When::polarisation:
        return polarisation;
      case When::unknown_heading:  // the reader's question when it meets such a table
        return false;
    }
    return false;
  }
};

// The settings of the template: the kind's layout, line after line.
void write_layout(Lines& out, std::span<const ControlLine> layout, const Filled& filled) {
  for (const ControlLine& line : layout) {
    if (!filled.present(line.when)) continue;
    const std::optional<Entry>& e = filled.entries[static_cast<std::size_t>(line.holds)];
    if (e && !e->value.empty())
      out.setting(e->value, e->comment);
    else if (!line.placeholder.empty())
      out.setting(line.placeholder, e && !e->comment.empty() ? e->comment : line.comment);
    else
      throw std::logic_error("the template gives no value for " + std::string(line.what));
  }
}

// Sized to the text: a value of 1e300 takes more than 300 characters in this form.
std::string fixed4(double v) {
  std::string s(static_cast<std::size_t>(std::max(std::snprintf(nullptr, 0, "%.4f", v), 0)), ' ');
  std::snprintf(s.data(), s.size() + 1, "%.4f", v);
  return s;
}

std::string number(std::int64_t n) {
  return std::to_string(n);
}

// "1", "1 and 2", "1 to 5", "1, 3 and 4".
std::string numbers(const std::vector<std::int64_t>& n) {
  std::string s;
  const bool range =
      n.size() > 2 && n.back() - n.front() + 1 == static_cast<std::int64_t>(n.size());
  for (std::size_t i = 0; i < n.size(); ++i) {
    if (range && i > 0 && i + 1 < n.size()) continue;
    s.append(i == 0 ? "" : i + 1 < n.size() ? ", " : range ? " to " : " and ");
    s.append(number(n[i]));
  }
  return s;
}

std::string reflections(std::int64_t n) {
  std::string s = number(n);
  s.append(n == 1 ? " reflection" : " reflections");
  return s;
}

// The preamble that every template begins with.
void preamble(Lines& out, const std::string& source, std::string_view kind) {
  std::string first = "memprep control file for ";
  first.append(source).append(" (").append(kind).append("), written by memprep --template.");
  out.comment(first);
  out.comment(
      "One setting per line, in the order memprep reads them; text after \"#\" is a comment.");
  out.comment(
      "A line <...> is a placeholder for a value the source does not give: replace it with");
  out.comment("the value (memprep refuses to run while one is left).");
  out.comment("");
}

// The title as a control line can hold it: "#" would start a comment (it is written as
// "No.", the sense it has in titles such as "RT #13744"), and a run reads 70 characters.
// No title leaves the line's placeholder.
void fill_title(Filled& f, std::string_view title, std::string_view from) {
  std::string text;
  bool hash = false;
  for (char c : title) {
    if (c == '#') {
      text.append("No.");
      hash = true;
    } else {
      text.push_back(c);
    }
  }
  std::string comment = "title, from ";
  comment.append(from);
  if (hash) comment.append(" (\"#\" written as \"No.\")");
  if (text.size() > kTitleLength) {
    text.resize(kTitleLength);
    comment.append(" (cut to 70 characters)");
  }
  // A line <...> reads as a placeholder: the brackets around the title are written as [ ].
  if (text.size() >= 2 && text.front() == '<' && text.back() == '>') {
    text.front() = '[';
    text.back() = ']';
    comment.append(" (\"<\" and \">\" around it written as \"[\" and \"]\")");
  }
  if (!text.empty()) f.set(Setting::title, text, comment);
}

// The name of the MEM data set: the source's name with its kind's extension replaced by
// ".mem". Its companion file must not replace a file that a run would leave alone, such as a
// binary structure-factor file of that name: then "_2", "_3", ... is added before ".mem".
std::string mem_name(const std::string& source, const SourceKindRow& kind, std::string& note) {
  std::string base = source;
  for (std::string_view fragment : kind.name.fragments)
    if (base.ends_with(fragment)) base.resize(base.size() - fragment.size());
  std::string name = base + ".mem";
  for (int n = 2; !companion_may_replace(companion_name(name)); ++n) {
    if (note.empty()) {
      note = companion_name(name);
      note.append(" is another kind of file");
    }
    name = base;
    name.append("_").append(number(n)).append(".mem");
  }
  return name;
}

void fill_output(Filled& f, const std::string& name, const std::string& note) {
  std::string comment = "MEM data set to write; ";
  comment.append(companion_name(name)).append(" is written beside it");
  if (!note.empty()) comment.append(" (").append(note).append(")");
  f.set(Setting::output, name, comment);
}

// E, which no source holds; `io` says what Io is for the kind.
void fill_E(Filled& f, std::string_view io) {
  std::string e = "E: sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), Io ";
  e.append(io);
  f.set(Setting::E, "", e);
}

// The phase the template takes: the first one with reflections in the table of `pattern`,
// else `fallback`.
std::int64_t first_phase_with_reflections(const std::vector<SurveyedTable>& tables,
                                          std::int64_t pattern, std::int64_t fallback) {
  for (const SurveyedTable& t : tables)
    if (t.pattern == pattern && t.reflections > 0) return t.phase;
  return fallback;
}

const FullprofSurvey::Phase* find_phase(const FullprofSurvey& s, std::int64_t number) {
  for (const FullprofSurvey::Phase& p : s.phases)
    if (p.number == number) return &p;
  return nullptr;
}

std::string fullprof_template(const std::string& source, const SourceKindRow& kind) {
  TextSource src;
  src.open(source);
  const FullprofSurvey s = survey_fullprof_output(src);
  if (s.patterns.empty())
    throw IoFailure(source, 0,
                    "no \" ==> CONDITIONS OF THIS RUN FOR PATTERN No.:\" line: the output holds "
                    "no pattern memprep can convert");
  const FullprofSurvey::Pattern& pattern = s.patterns.front();

  // The phase: the first one with reflections in the pattern's table, else the first held.
  const std::int64_t phase = first_phase_with_reflections(
      s.tables, pattern.number, s.phases.empty() ? 1 : s.phases.front().number);

  Lines out;
  preamble(out, source, "FullProf output");
  out.comment(source + " holds");
  for (const FullprofSurvey::Phase& p : s.phases) {
    std::string line = "  phase " + number(p.number) + ": ";
    line.append(p.name.empty() ? "no name" : p.name);
    if (!p.space_group.empty()) line.append(", space group ").append(p.space_group);
    if (!p.symbol.empty()) line.append(" (").append(p.symbol).append(")");
    out.comment(line);
  }
  std::vector<std::int64_t> tof_patterns;
  std::int64_t last_pattern = 0;
  for (const FullprofSurvey::Pattern& p : s.patterns) {
    std::string line = "  pattern " + number(p.number) + ": ";
    if (p.tof) {
      tof_patterns.push_back(p.number);
      line.append("time of flight, detector at 2theta ");
      line.append(p.bank_angle.empty() ? "(not given)" : p.bank_angle);
    } else {
      line.append("constant wavelength ");
      line.append(p.wavelength.empty() ? "(not given)" : p.wavelength);
    }
    out.comment(line);
    last_pattern = std::max(last_pattern, p.number);
    bool table = false;
    for (const SurveyedTable& t : s.tables) {
      if (t.pattern != p.number) continue;
      table = true;
      out.comment("    phase " + number(t.phase) + ": " +
                  (t.reflections > 0 ? reflections(t.reflections)
                                     : std::string("no reflection table, nothing to convert")));
    }
    if (!table) out.comment("    no reflection table, nothing to convert");
  }
  out.comment("The lines below take pattern " + number(pattern.number) + " and phase " +
              number(phase) + ".");

  Filled f;
  f.time_of_flight = pattern.tof;
  f.set(Setting::source, source, "source: the FullProf output file");
  // With a model the output prints whole, the amplitudes, phases and F000 come from it.
  std::optional<FullProfModel> model;
  try {
    src.rewind();
    model = read_fullprof_model(src, phase);
    crystal::StructureFactors check(model->model);  // every atom type has its factors
  } catch (const std::exception&) {
    model.reset();
  }
  if (model) {
    f.auxiliary_file = false;
    f.set(Setting::auxiliary, "-",
          "auxiliary file: - = |Fo| and phases from the model of phase " + number(phase) +
              " (or a file of amplitudes and phase angles, with FODIV as the last line)");
    const crystal::Amplitudes a = crystal::f000(model->model);
    const bool xray = model->model.radiation == crystal::Radiation::xray;
    const std::string how = xray ? "F000 of the model: the electrons in the cell"
                                 : "F000 of the model: the sums of the positive and of the "
                                   "negative scattering lengths in the cell (fm)";
    if (a.negative != 0) {
      f.set(Setting::iamp, "1", "IAMP: 1 = positive and negative amplitude");
      f.set(Setting::amplitudes, fixed4(a.positive) + " " + fixed4(a.negative), how);
    } else {
      f.set(Setting::iamp, "0", "IAMP: 0 = positive amplitude only");
      f.set(Setting::amplitudes, fixed4(a.positive), how);
    }
  } else {
    f.set(Setting::auxiliary,
          "<auxiliary file: amplitudes and phase angles of phase " + number(phase) + ">",
          "auxiliary file: amplitude and phase angle of each reflection (- takes them from the "
          "model, which this output does not print whole)");
  }
  std::string note;
  fill_output(f, mem_name(source, kind, note), note);
  fill_title(f, s.title, "\" => Title:\"");

  const FullprofSurvey::Phase* p = find_phase(s, phase);
  if (p && !p->space_group.empty() && !p->symbol.empty()) {
    std::string line(1, p->symbol.front());
    line.append(" ").append(p->space_group);
    f.set(Setting::symmetry, line,
          "VOL letter " + line.substr(0, 1) + " (from " + p->symbol + "), space group " +
              p->space_group + ", setting 1 (-SET for another)");
  } else if (p && !p->space_group.empty()) {
    f.set(Setting::symmetry, "<symmetry line: VOL letter in column 1, then " + p->space_group + ">",
          "VOL SPG[-SET]: space group " + p->space_group);
  }

  fill_E(f, "= Iobs of the table");
  if (pattern.tof)
    f.set(Setting::lambda1, "0", "lambda1: 0, time-of-flight data have no single wavelength");
  else if (!pattern.wavelength.empty())
    f.set(Setting::lambda1, pattern.wavelength,
          "lambda1: the first wavelength of pattern " + number(pattern.number));
  else
    f.set(Setting::lambda1, "", "lambda1: the output gives none");
  f.set(Setting::histogram, number(pattern.number), "pattern number");
  f.set(Setting::phase, number(phase), "phase number");

  if (pattern.tof) {
    // The bank of a time-of-flight pattern is its number: the angles of patterns 1, 2, ...
    // in order, 0 for a pattern of other data.
    std::string angles;
    bool missing = false;
    for (std::int64_t n = 1; n <= last_pattern; ++n) {
      std::string angle = "0";
      for (const FullprofSurvey::Pattern& q : s.patterns)
        if (q.number == n && q.tof) {
          angle = q.bank_angle;
          missing = missing || angle.empty();
        }
      if (!angles.empty()) angles.append(" ");
      angles.append(angle);
    }
    const std::string banks =
        (tof_patterns.size() == 1 ? "bank " : "banks ") + numbers(tof_patterns);
    if (missing)
      f.set(Setting::bank_angle, "<bank angles: 2theta of " + banks + ", in bank order>",
            "bank-angle line: bank = pattern number");
    else
      f.set(Setting::bank_angle, angles, "2theta of " + banks + " (bank = pattern number)");
  }
  f.set(Setting::amplitude_divisor, "<FODIV: the divisor of the auxiliary file's amplitudes>",
        "FODIV: |Fo| = amplitude / FODIV x 10 (10.0 keeps the amplitudes)");
  write_layout(out, kind.layout(), f);
  return out.text();
}

bool converted_type(const std::string& type) {
  return is_constant_wavelength(type) || is_time_of_flight(type);
}

std::string list_template(const std::string& source, const SourceKindRow& kind) {
  TextSource src;
  src.open(source);
  const ListFileSurvey s = survey_list_file(src);
  if (s.histograms.empty())
    throw IoFailure(source, 0,
                    "no diffractometer constants after the GENLES title (\" Diffractometer "
                    "constants for powder data:\"): the list file gives no histogram and no "
                    "diffraction type");
  const ListFileSurvey::Histogram* hist = &s.histograms.front();
  for (const ListFileSurvey::Histogram& h : s.histograms)
    if (converted_type(h.type)) {
      hist = &h;
      break;
    }
  const std::int64_t phase = first_phase_with_reflections(s.tables, hist->number, 1);

  Lines out;
  preamble(out, source, "refinement list file");
  out.comment(source + " holds");
  for (const ListFileSurvey::Histogram& h : s.histograms) {
    std::string line = "  histogram " + number(h.number) + ": type " + h.type + ", ";
    if (is_time_of_flight(h.type))
      line.append("neutron time of flight, ")
          .append(h.bank > 0 ? "bank " + number(h.bank) : std::string("no bank given"));
    else if (is_constant_wavelength(h.type))
      line.append(h.type == "PXC"   ? "X-ray"
                  : h.type == "PNC" ? "neutron"
                                    : "radiation other than X-rays and neutrons")
          .append(", wavelength ")
          .append(h.wavelength);
    else
      line.append("a type memprep does not convert");
    out.comment(line);
    bool table = false;
    for (const SurveyedTable& t : s.tables) {
      if (t.pattern != h.number) continue;
      table = true;
      out.comment("    phase " + number(t.phase) + ": " + reflections(t.reflections));
    }
    if (!table) out.comment("    no reflection list");
  }
  if (s.structure)
    out.comment("  the structure (scattering factors, atom list): the amplitudes follow from it");
  out.comment("The lines below take histogram " + number(hist->number) + " and phase " +
              number(phase) + ".");

  Filled f;
  const bool tof = is_time_of_flight(hist->type);
  f.time_of_flight = tof;
  f.polarisation = hist->type == "PXC";
  f.set(Setting::source, source, "source: the refinement list file");
  std::string note;
  fill_output(f, mem_name(source, kind, note), note);
  fill_title(f, s.title, "the EXPEDT section");
  fill_E(f, "as written (x 1e-10)");
  if (s.structure) {
    f.set(Setting::iamp, "1", "IAMP: 1 = positive and negative amplitude");
    f.set(Setting::amplitudes, "0 0",
          "amplitudes: 0 = computed from the structure in the list file");
  }
  if (tof)
    f.set(Setting::lambda1, "0", "lambda1: 0, time-of-flight data have no single wavelength");
  else if (!hist->wavelength.empty())
    f.set(Setting::lambda1, hist->wavelength,
          "lambda1: the wavelength of histogram " + number(hist->number));
  else
    f.set(Setting::lambda1, "", "lambda1: the list file gives none");
  f.set(Setting::histogram, number(hist->number),
        tof && hist->bank > 0 ? "histogram number (bank " + number(hist->bank) + ")"
                              : std::string("histogram number"));
  f.set(Setting::phase, number(phase), "phase number");
  if (tof) {
    const std::string banks = hist->bank == 1  ? std::string("bank 1")
                              : hist->bank > 1 ? "banks 1 to " + number(hist->bank)
                                               : std::string("banks 1, 2, ...");
    f.set(Setting::bank_angle, "<bank angles: 2theta of " + banks + ", in bank order>",
          "bank-angle line (type PNT)");
    if (!hist->tof_constants.empty())
      f.set(Setting::tof_constants, hist->tof_constants,
            "TOFLIN TOFQUAD TOFZERO: the diffractometer constants of histogram " +
                number(hist->number));
  }
  write_layout(out, kind.layout(), f);
  return out.text();
}

}  // namespace

std::string control_template(const std::string& source) {
  // The names a control line reads back as they are: a run takes the line without its
  // leading blanks, trailing blanks and tabs and the comment after "#", and a line <...> is a
  // placeholder.
  auto cannot_name = [&](const char* why) {
    throw IoFailure(source, 0, std::string("a control file cannot name a file whose name ") + why);
  };
  if (source.empty()) cannot_name("is empty");
  if (source.find('#') != std::string::npos) cannot_name("holds \"#\"");
  if (source.find_first_of(std::string_view("\n\r\0", 3)) != std::string::npos)
    cannot_name("holds a line end or a NUL byte");
  if (source.front() == ' ' || source.back() == ' ' || source.back() == '\t')
    cannot_name("begins with a blank or ends with a blank or tab");
  if (source.front() == '<' && source.back() == '>')
    cannot_name("begins with \"<\" and ends with \">\" (a placeholder)");
  if (source.size() > kLongestName) cannot_name("is longer than 512 characters");
  const SourceKindRow& kind = choose_source_kind(source, source);
  switch (kind.kind) {
    case SourceKind::list_file:
      return list_template(source, kind);
    case SourceKind::fullprof_output:
      return fullprof_template(source, kind);
    case SourceKind::fos_file:
      throw IoFailure(source, 0,
                      "a binary structure-factor file needs no template: its control file is "
                      "five lines (the file's name, the MEM data set's name, E, IAMP, lambda1) "
                      "and the file gives everything else");
    case SourceKind::earlier_mem_data_set:
      throw IoFailure(source, 0,
                      "an earlier MEM data set needs no template: its control file is six lines "
                      "(the data set's name, the new data set's name, the title, the symmetry "
                      "line, the bank's 2theta, TOFLIN TOFQUAD TOFZERO) and the data set gives "
                      "everything else");
    case SourceKind::none:
      break;
  }
  throw IoFailure(source, 0, "no template for this kind of source");
}

}  // namespace memprep
