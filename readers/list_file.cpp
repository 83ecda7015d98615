// The list file of a Rietveld refinement, with its sections GENLES (the refinement
// run), REFLIST (the reflection lists) and HSTDMP (the profile dump). One histogram (IHIST)
// and one phase (IPHASE) are taken from it.
#include "readers/list_file.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "control/control_layout.hpp"
#include "readers/readers.hpp"
#include "readers/source_survey.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

// The line buffers of the reader: marker searches, the reflection table, and LINE.
constexpr std::size_t kMarker = 50;
constexpr std::size_t kTable = 128;
constexpr std::size_t kLine = 512;

constexpr std::int64_t kLargestPhase = std::numeric_limits<std::int64_t>::max() / 1000 - 1;

// The markers of the list file, which the reader and the survey go by.
bool is_genles_title(std::string_view r) {
  return at(r, 35, "GENLES");
}
bool is_expedt_title(std::string_view r) {
  return at(r, 35, "EXPEDT");
}
bool is_constants_heading(std::string_view r) {
  return at(r, 1, " Diffractometer constants for powder data:");
}
// The " Hstgm" line of a time-of-flight histogram: its number in columns 8-9, its bank in
// columns 16-17.
bool is_tof_histogram_line(std::string_view r) {
  return at(r, 1, " Hstgm") && at(r, 11, "PNT");
}
// The header of a reflection list: its histogram in columns 12-13.
bool is_reflection_list_header(std::string_view r) {
  return at(r, 1, " Histogram") && at(r, 15, "data");
}
// The records that end a reflection list, and the page header within it.
bool ends_reflection_list(std::string_view r) {
  return is_blank(r) || (at(r, 1, "1") && at(r, 69, "HSTDMP"));
}
bool is_reflection_list_page(std::string_view r) {
  return at(r, 1, "1") && at(r, 69, "REFLIST");
}
// The code of a reflection line (columns 20-24) names its phase: 1000 * phase + 21.
constexpr std::int64_t kCodeOfPhase = 21;

// The diffractometer-constants block, then pairs of records (one skipped, one read) until
// the second one's columns 1-3 name IHIST. Leaves src on that record. A record whose
// columns 1-3 hold no number is past the block: the file does not hold the histogram.
void find_histogram_constants(const Run& run, TextSource& src, std::int64_t IHIST) {
  src.find([](std::string_view r) { return is_constants_heading(r); },
           "\" Diffractometer constants for powder data:\"", kMarker);
  const std::string what =
      "looking for histogram " + std::to_string(IHIST) + " among the diffractometer constants";
  std::vector<std::int64_t> histograms;  // those passed over
  for (;;) {
    src.need(what, kMarker);
    src.need(what, kMarker);
    std::int64_t hist = 0;
    try {
      hist = get_I(src.rec(), 1, 3);
    } catch (const FieldError& e) {
      if (histograms.empty()) src.fail(e.what());
      throw not_held(src.name(), "histogram", histograms, IHIST, run.origin[Setting::histogram]);
    }
    if (hist == IHIST) {
      src.require_line_end();
      return;
    }
    histograms.push_back(hist);
  }
}

// The control layout of a list file.
constexpr ControlLine kLayout[] = {
    with_guide(kSourceLine, "the list file's name (containing `.lst` or `.LST`)"),
    kOutputLine,
    kTitleLine,
    kSymmetryLine,
    kELine,
    kGridLine,
    kIampLine,
    with_guide(kAmplitudesLine,
               "`AMPPOS AMPNEG` (`IAMP` 1) or `AMPPOS` (`IAMP` 0); `AMPPOS` = 0: computed from "
               "the list file"),
    kLambda1Line,
    kHistogramLine,
    kPhaseLine,
    {.holds = Setting::polarisation,
     .when = When::polarisation,
     .stage = Stage::reader,
     .what = "PolA PolB",
     .guide = "`PolA PolB`, the two polarisation constants",
     .placeholder = "<PolA PolB: polarisation constants>",
     .comment = "PolA PolB (type PXC): 0.5 1.0 without a monochromator"},
    kBankAnglesLine,
    {.holds = Setting::tof_constants,
     .when = When::time_of_flight,
     .stage = Stage::reader,
     .what = "TOFLIN TOFQUAD TOFZERO",
     .read = read_tof_constants,
     .guide = "`TOFLIN TOFQUAD TOFZERO`",
     .placeholder = "<TOFLIN TOFQUAD TOFZERO>",
     .comment = "time-of-flight constants (type PNT)"},
};

struct ListFile {
  explicit ListFile(Run& r) : run(r), s(r.store), src(r.src) {}

  Run& run;
  Store& s;
  TextSource& src;

  std::string DTYPE;
  double WAVEL = 0;
  double PolA = 0, PolB = 0;
  bool fractions = false;  // a phase-fractions block was met
  double PHFRAC = 0;
  std::int64_t HISTORD = 0;
  std::int64_t code_wanted = 0;  // 1000 * IPHASE + 21
  std::optional<StructureSections> sections;
  bool phase_seen = false;                 // a line of IPHASE was met in the reflection list
  std::vector<std::int64_t> other_phases;  // the phases of the other lines

  bool neutron() const { return DTYPE[1] == 'N'; }
  bool constant_wavelength() const { return is_constant_wavelength(DTYPE); }

  void read();
  void read_geometry();
  void read_phase_fraction();
  void read_cell();
  bool find_reflection_list();
  void read_reflection_table();
  void take_reflection();
};

void ListFile::read() {
  // The refinement run.
  src.find([](std::string_view r) { return is_genles_title(r); }, "the GENLES title", kMarker);

  // The structure, when the amplitudes are to be computed.
  if (s.AMPPOS == 0.0) sections = read_structure_sections(src);

  // The diffraction type of the histogram from the first constants after the title ...
  find_histogram_constants(run, src, s.IHIST);
  DTYPE = std::string(cols(src.rec(), 6, 8));
  DTYPE.resize(3, ' ');

  // ... and everything else from the first block of constants of the whole file on.
  src.rewind();
  find_histogram_constants(run, src, s.IHIST);

  // Wavelength or detector bank.
  read_geometry();
  run.chosen = "histogram " + std::to_string(s.IHIST) + ", phase " + std::to_string(s.IPHASE) +
               ", type " + DTYPE +
               (s.LTOF ? ", time of flight, bank " + std::to_string(s.NBANK) + " at 2theta " +
                             number_text(s.TWOTH)
                       : ", constant wavelength " + number_text(WAVEL));
  if (sections) evaluate_structure_sections(*sections, DTYPE, s);

  // The fit summary marks the position of the refined values.
  src.find([](std::string_view r) { return at(r, 1, " Reduced CHI**2 ="); },
           "\" Reduced CHI**2 =\"", kMarker);

  read_phase_fraction();
  read_cell();

  // Time-of-flight constants.
  if (is_time_of_flight(DTYPE)) read_control(run, Setting::tof_constants);

  // The reflection list. The code of a line is an I5 field: a phase number too large for
  // 1000 * IPHASE + 21 to be formed matches no line.
  code_wanted = s.IPHASE > -kLargestPhase && s.IPHASE < kLargestPhase
                    ? 1000 * s.IPHASE + kCodeOfPhase
                    : std::numeric_limits<std::int64_t>::min();
  s.NREF1 = 0;
  if (find_reflection_list()) read_reflection_table();
  s.entries_done();  // the profile dump after the list holds no reflections
  if (!phase_seen && !other_phases.empty())
    throw not_held(src.name(), "phase", other_phases, s.IPHASE, run.origin[Setting::phase]);

  // Time-of-flight intensities and order.
  if (is_time_of_flight(DTYPE)) {
    correct_tof_intensities(run, HISTORD);
    sort_by_wavelength(s);
  }
}

void ListFile::read_geometry() {
  decide_line(run, When::polarisation, DTYPE == "PXC");
  decide_line(run, When::time_of_flight, is_time_of_flight(DTYPE));
  if (constant_wavelength()) {
    s.LTOF = false;
    WAVEL = src.F(10, 19, 7);
    if (DTYPE == "PXC") read_control(run, Setting::polarisation, PolA, PolB);
  } else if (is_time_of_flight(DTYPE)) {
    s.LTOF = true;
    src.find(
        [&](std::string_view r) {
          return is_tof_histogram_line(r) && src.located([&] { return get_I(r, 8, 9); }) == s.IHIST;
        },
        "the \" Hstgm\" line of histogram " + std::to_string(s.IHIST), kMarker);
    src.require_line_end();
    s.NBANK = src.I(16, 17);
    read_control(run, Setting::bank_angle);
  } else {
    throw Stop(" Invalid diffraction type: " + DTYPE,
               where(src.name(), src.line()) + ": histogram " + std::to_string(s.IHIST) +
                   " is of diffraction type '" + DTYPE +
                   "': the converter reads types ending in C (constant wavelength) and PNT "
                   "(neutron time of flight)");
  }
}

// The phase fraction of IPHASE in IHIST. Only neutron intensities are divided by it, so a
// fraction that cannot be found stops the run for neutron data only.
void ListFile::read_phase_fraction() {
  fractions = false;
  const std::string which =
      "histogram " + std::to_string(s.IHIST) + ", phase " + std::to_string(s.IPHASE);
  for (;;) {
    src.need("looking for \" Histogram scale factors:\"", kMarker);
    const std::string_view r = src.rec();
    if (at(r, 1, " Histogram scale factors:")) {
      if (fractions && neutron())
        src.fail("no phase fraction of " + which +
                 ": the phase/element fractions are printed for other phases only");
      return;
    }
    if (!at(r, 1, " Phase/element fractions for phase no.")) continue;
    std::int64_t phase = 0;
    src.read_list_cols(39, 41, "phase number", phase);
    fractions = true;
    if (phase != s.IPHASE) continue;

    src.need("skipping a record of the phase fractions", kMarker);
    src.need("reading the histogram numbers of the phase fractions", kTable);
    // The column of the fraction is found from the histogram number in the header record.
    std::size_t k = std::string_view::npos;
    if (s.IHIST >= 0 && s.IHIST <= 9) k = src.rec().find(static_cast<char>('0' + s.IHIST));
    if (k != std::string_view::npos) k += 1;  // 1-based column
    const std::int64_t header_line = src.line();
    src.need("reading the phase fractions", kLine);
    src.require_line_end();
    if (k == std::string_view::npos || k < 4) {
      if (neutron())
        throw IoFailure(src.name(), header_line,
                        "no phase fraction of " + which + ": histogram number " +
                            std::to_string(s.IHIST) +
                            (k == std::string_view::npos ? " not found" : " in columns 1-3") +
                            " in the header of the phase fractions");
      return;
    }
    PHFRAC = src.F(k - 3, k + 7, 9);
    if (PHFRAC == 0.0 && neutron())
      src.fail("the phase fraction of " + which + " is 0 (columns " + std::to_string(k - 3) + "-" +
               std::to_string(k + 7) + ")");
    return;
  }
}

void ListFile::read_cell() {
  static constexpr std::string_view kHeader =
      "                 a         b         c       alpha     beta      gamma";
  src.find([](std::string_view r) { return at(r, 1, kHeader); }, "the cell parameters", kLine);
  src.need("reading the cell parameters", kLine);
  src.require_line_end();
  for (int i = 0; i < 3; ++i) s.CELL[i] = src.F(12 + 10 * i, 21 + 10 * i, 6);
  for (int i = 0; i < 3; ++i) s.CELL[3 + i] = src.F(42 + 10 * i, 51 + 10 * i, 3);
  run.origin[Setting::cell] = where(src.name(), src.line());
  if (std::string fault = cell_fault(s.CELL); !fault.empty()) src.fail(fault);
}

// The header of the reflection list to take. False when the file ends before it (no
// reflections).
bool ListFile::find_reflection_list() {
  HISTORD = 0;
  bool passed_over = false;
  while (src.next(kMarker)) {
    const std::string_view r = src.rec();
    if (!is_reflection_list_header(r)) continue;
    ++HISTORD;
    if (!s.LTOF) {
      // Constant wavelength: the first list, whatever histogram it names.
      src.need("skipping the record after the reflection-list header", kMarker);
      return true;
    }
    if (src.I(12, 13) != s.IHIST) {
      passed_over = true;
      continue;
    }
    if (!passed_over) src.need("skipping the record after the reflection-list header", kMarker);
    return true;
  }
  return false;
}

// Reflection lines up to a blank record or the HSTDMP title. A file that ends before them,
// or inside a blank record (a cut in a reflection line's leading blanks), was cut short:
// the reflections after the cut would be missing without a word.
void ListFile::read_reflection_table() {
  const std::string cut =
      "the file ends before the blank line that ends the reflection list: it was cut short";
  for (;;) {
    if (!src.next(kTable)) throw IoFailure(src.name(), src.line(), cut);
    const std::string_view r = src.rec();
    if (is_blank(r) && !src.has_line_end()) src.fail(cut);
    if (ends_reflection_list(r)) return;
    if (is_reflection_list_page(r)) {
      src.need("skipping a page header of the reflection list", kTable);
      src.need("reading a page header of the reflection list", kMarker);
      if (is_blank(cols(src.rec(), 1, 6))) {
        src.need("skipping the end of the reflection list", kTable);
        return;
      }
      continue;
    }
    take_reflection();
  }
}

// One reflection line, (6X,3I3,I4,I5,F8.5,1P,4E10.3,0P,F6.1,4F10.4).
void ListFile::take_reflection() {
  src.require_line_end();
  const std::int64_t h = src.I(7, 9), k = src.I(10, 12), l = src.I(13, 15);
  const std::int64_t m = src.I(16, 19);
  const std::int64_t code = src.I(20, 24);
  const double d = src.F(25, 32, 5);
  double E1 = src.F(33, 42, 3, 1);
  src.check_F(43, 52, 3, 1);
  double E3 = src.F(53, 62, 3, 1);
  src.check_F(63, 72, 3, 1);
  const double phi = src.F(73, 78, 1);
  for (std::size_t c = 79; c < 119; c += 10) src.check_F(c, c + 9, 4);

  if (code != code_wanted) {
    // Reflection codes are 1000 * phase + 21: the phases the list holds.
    const std::int64_t phase = code / 1000;
    if (code % 1000 == kCodeOfPhase &&
        std::find(other_phases.begin(), other_phases.end(), phase) == other_phases.end())
      other_phases.push_back(phase);
    return;
  }
  phase_seen = true;
  if (!(E1 > 0 && E3 > 0)) return;

  if (neutron()) {
    E1 *= 100;
    E3 *= 100;
    if (fractions) E1 /= PHFRAC;
  }

  double Lp = 0;
  if (constant_wavelength()) {
    const double sin_t = WAVEL * 0.5 / d;
    // A d-spacing that gives no Bragg angle would make Lp infinite or NaN.
    if ((DTYPE == "PXC" || DTYPE == "PNC") && !(sin_t > 0 && sin_t < 1))
      src.fail("columns 25-32: d-spacing '" + std::string(cols(src.rec(), 25, 32)) +
               "' gives no Bragg angle at the wavelength of histogram " + std::to_string(s.IHIST));
    const double sin2 = sin_t * sin_t;
    const double cos_t = std::sqrt(1 - sin2);
    if (DTYPE == "PXC") {
      const double p = 1 - 2 * sin2;
      Lp = ((1 - PolA) + PolA * PolB * (p * p)) / (2 * sin2 * cos_t);
    } else if (DTYPE == "PNC") {
      Lp = 0.5 / (sin2 * cos_t);
    }
  }

  if (m < 1 && run.options.overlap_groups())
    src.fail("columns 16-19: multiplicity " + std::to_string(m) +
             ": overlap groups need a multiplicity of 1 or more");
  const std::size_t n = s.add_reflection(src.line(), [&] { return where(src.name(), src.line()); });
  if (is_time_of_flight(DTYPE)) {
    const double sin_b = cos_sin_deg_residues(s.TWOTH * 0.5).sin;
    const double d2 = d * d;
    Lp = d2 * d2 * sin_b;
    s.Wavelength[n] = 2 * d * sin_b;
    s.Tof[n] = (d * (s.TOFLIN + s.TOFQUAD * d) + s.TOFZERO) * 0.001;
  }
  s.H[n] = h;
  s.K[n] = k;
  s.L[n] = l;
  s.MRef[n] = m;
  s.Dspacing[n] = d;
  s.FoAbs[n] = std::sqrt(E3);
  const CosSin angle = cos_sin_deg_residues(phi);
  s.FoR[n] = s.FoAbs[n] * angle.cos;
  s.FoI[n] = s.FoAbs[n] * angle.sin;
  s.Io[n] = static_cast<double>(m) * Lp * E1;
}

// ---- The survey for --template -------------------------------------------------------

constexpr std::size_t kSurveyWidth = 256;

// The histograms of a diffractometer-constants block: pairs of records, a heading and a
// data record, until the data record's columns 1-3 hold no number (as the reader's
// find_histogram_constants pairs them).
void survey_constants(TextSource& src, std::vector<ListFileSurvey::Histogram>& histograms) {
  while (src.next(kSurveyWidth) && src.next(kSurveyWidth)) {
    const std::string_view rec = src.rec();
    ListFileSurvey::Histogram h;
    try {
      h.number = get_I(rec, 1, 3);
    } catch (const FieldError&) {
      return;
    }
    h.type = std::string(trim(cols(rec, 6, 8)));
    if (is_constant_wavelength(h.type)) h.wavelength = trim(cols(rec, 10, 19));
    if (is_time_of_flight(h.type)) {
      // DIFC DIFA ZERO: tof = d (DIFC + DIFA d) + ZERO, as TOFLIN TOFQUAD TOFZERO.
      std::string_view rest = cols(rec, 10, kSurveyWidth);
      std::string three;
      int n = 0;
      for (; n < 3; ++n) {
        rest = trim(rest);
        const std::string_view word = rest.substr(0, rest.find(' '));
        if (word.empty()) break;
        try {
          parse_F(word, 0);
        } catch (const FieldError&) {
          break;
        }
        if (!three.empty()) three += ' ';
        three += word;
        rest.remove_prefix(word.size());
      }
      if (n == 3) h.tof_constants = three;
    }
    histograms.push_back(h);
  }
}

// A reflection list after its header, as the reader reads it: one record skipped, then the
// lines up to the record that ends the list, page headers passed over. Lines count for the
// phase their code names.
void survey_reflection_list(TextSource& src, std::int64_t histogram,
                            std::vector<SurveyedTable>& tables) {
  const std::int64_t line = src.line();
  std::vector<SurveyedTable> found;
  src.next(kSurveyWidth);
  while (src.next(kSurveyWidth)) {
    const std::string_view r = src.rec();
    if (ends_reflection_list(r)) break;
    if (is_reflection_list_page(r)) {
      src.next(kSurveyWidth);
      src.next(kSurveyWidth);
      if (is_blank(cols(src.rec(), 1, 6))) break;
      continue;
    }
    std::int64_t code = 0;
    try {
      code = get_I(r, 20, 24);
    } catch (const FieldError&) {
      continue;
    }
    if (code % 1000 != kCodeOfPhase) continue;
    const std::int64_t phase = code / 1000;
    std::size_t i = 0;
    while (i < found.size() && found[i].phase != phase) ++i;
    if (i == found.size()) found.push_back({histogram, phase, 0, line});
    ++found[i].reflections;
  }
  std::sort(found.begin(), found.end(),
            [](const SurveyedTable& a, const SurveyedTable& b) { return a.phase < b.phase; });
  tables.insert(tables.end(), found.begin(), found.end());
}

}  // namespace

ListFileSurvey survey_list_file(TextSource& src) {
  ListFileSurvey s;
  bool expedt = false, genles = false, constants = false;
  int structure = 0;  // 1: the scattering factors, 2: the atom list, 3: its end
  while (src.next(kSurveyWidth)) {
    const std::string_view rec = src.rec();
    if (is_expedt_title(rec)) {
      expedt = s.title.empty();
      continue;
    }
    if (expedt && !is_blank(rec)) {
      s.title = trim(rec);
      expedt = false;
    }
    if (is_genles_title(rec)) genles = true;
    if (!genles) continue;
    if (!constants) {
      if (structure == 0 && is_atom_type_table(rec))
        structure = 1;
      else if (structure == 1 && is_atom_list(rec))
        structure = 2;
      else if (structure == 2 && ends_atom_list(rec))
        structure = 3;
      if (is_constants_heading(rec)) {
        survey_constants(src, s.histograms);
        constants = true;
        s.structure = structure == 3;
      }
      continue;
    }
    if (is_tof_histogram_line(rec)) {
      try {
        const std::int64_t number = get_I(rec, 8, 9), bank = get_I(rec, 16, 17);
        for (ListFileSurvey::Histogram& h : s.histograms)
          if (h.number == number && h.bank == 0) h.bank = bank;
      } catch (const FieldError&) {
      }
    } else if (is_reflection_list_header(rec)) {
      std::int64_t histogram = 0;
      try {
        histogram = get_I(rec, 12, 13);
      } catch (const FieldError&) {
      }
      survey_reflection_list(src, histogram, s.tables);
    }
  }
  return s;
}

std::span<const ControlLine> list_file_layout() {
  return kLayout;
}

void read_list_file(Run& run) {
  ListFile reader(run);
  reader.read();
}

}  // namespace memprep
