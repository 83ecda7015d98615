// The standard output file of a FullProf refinement and its auxiliary file of
// amplitudes and phase angles.
//
// The first pass finds the conditions block of the requested pattern, tells time-of-flight
// data from the rest and notes the number of the last refinement cycle. The second pass
// finds that cycle, the phase, the profile parameters with the cell, and the reflection
// table of the pattern and phase, whose lines are read together with the lines of the
// auxiliary file.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_layout.hpp"
#include "crystal/model_check.hpp"
#include "io/fields.hpp"
#include "readers/fullprof_model.hpp"
#include "readers/fullprof_table.hpp"
#include "readers/readers.hpp"
#include "readers/source_survey.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

constexpr std::size_t kMarkerWidth = 50;  // marker searches
constexpr std::size_t kCheckWidth = 64;   // the first pass, whose angle lines are longer

// The check of a model against the table: reflections with Icalc of at least 1 % of the
// largest (weaker ones are printed with too few digits), a tolerance of 5 % for naming the
// reflections that stand out, and the rms spread above which the model is refused.
constexpr double kModelMinFraction = 1e-2;
constexpr double kModelTolerance = 0.05;
constexpr double kModelSpread = 0.10;
// An auxiliary phase angle further than this from the model's (degrees) counts as another.
constexpr double kPhaseTolerance = 5.0;
constexpr std::size_t kTableWidth = FullprofTable::kWidth;

constexpr std::string_view kConditions = " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:";
constexpr std::string_view kCycle = " => CYCLE No.:";
constexpr std::string_view kRunFinished = " => Run finished";
constexpr std::string_view kPhase = " => Phase";
constexpr std::string_view kProfile = " ==> PROFILE PARAMETERS FOR PATTERN#";
constexpr std::string_view kCell = " => Cell parameters:";
constexpr std::string_view kDirectCell = " => Direct cell parameters:";
constexpr std::string_view kPattern = " Pattern#";
constexpr std::string_view kAuxPhase = " Phase no.:";
constexpr std::string_view kFourierPhase = " Phase No.:";  // a Fourier file's phase line

// Markers of the survey and of the checks against the output.
constexpr std::size_t kSurveyWidth = 256;

constexpr std::string_view kTitle = " => Title:";
constexpr std::string_view kWavelengths = " => Wavelengths:";
constexpr std::string_view kPatternSection = " =>------->  PATTERN number:";
constexpr std::string_view kDetectorAngle = " => T.O.F. 2theta average detector angle";
constexpr std::string_view kPhaseSection = " => Phase  No.";
constexpr std::string_view kSymmetry = " => Symmetry information on space group:";
constexpr std::string_view kHermannMauguin = "Hermann-Mauguin Symbol:";
constexpr std::string_view kSpaceGroup = "Number of Space group:";

// The text after the first `mark` of rec, trimmed.
std::string_view after(std::string_view rec, std::string_view mark) {
  const std::size_t p = rec.find(mark);
  return p == std::string_view::npos ? std::string_view() : trim(rec.substr(p + mark.size()));
}

// The first blank-separated word of s.
std::string_view first_word(std::string_view s) {
  s = trim(s);
  return s.substr(0, s.find(' '));
}

// An integer written alone as the first word of s.
std::optional<std::int64_t> integer(std::string_view s) {
  try {
    return parse_I(first_word(s));
  } catch (const FieldError&) {
    return std::nullopt;
  }
}

std::string collapse_blanks(std::string_view s) {
  std::string out;
  for (char c : trim(s))
    if (c != ' ' || (!out.empty() && out.back() != ' ')) out.push_back(c);
  return out;
}

// The conditions block of a pattern: its second record after the conditions line says
// neutron data in column 26, and then the third says time of flight in column 13.
bool says_neutron(std::string_view rec) {
  return at(rec, 26, "neutron");
}
bool says_time_of_flight(std::string_view rec) {
  return at(rec, 13, "Time-Of-Flight");
}

// The parts one after the other (messages of the searches).
std::string join(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (std::string_view p : parts) s.append(p);
  return s;
}

// The integer that follows "Phase No.:" on a " Pattern#" line.
std::optional<std::int64_t> phase_after_label(std::string_view rec) {
  constexpr std::string_view label = "Phase No.:";
  std::size_t p = rec.find(label);
  if (p == std::string_view::npos) return std::nullopt;
  std::string_view rest = rec.substr(p + label.size());
  std::size_t b = rest.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::nullopt;
  rest.remove_prefix(b);
  std::size_t e = 0;
  if (e < rest.size() && (rest[e] == '+' || rest[e] == '-')) ++e;
  while (e < rest.size() && rest[e] >= '0' && rest[e] <= '9') ++e;
  try {
    return parse_I(rest.substr(0, e));
  } catch (const FieldError&) {
    return std::nullopt;
  }
}

// The phase of a " Pattern#" line: columns 23-26, or in later versions the number after
// "Phase No.:"; none when neither gives one, with the failure of columns 23-26 in `error`.
std::optional<std::int64_t> table_phase(std::string_view rec, std::string& error) {
  try {
    return get_I(rec, 23, 26);
  } catch (const FieldError& e) {
    error = e.what();
    return phase_after_label(rec);
  }
}

// Reads `src` on to the record that begins with `marker` and carries `wanted` in columns
// first..last (records with the marker but no number there are passed over), each record
// first shown to check(). At the end of the file the failure names the numbers the file
// does hold, the `noun`s, and where the control file asks for `wanted`; when it holds
// none, it says what was looked for.
template <class Check>
void find_numbered(TextSource& src, std::string_view marker, std::size_t first, std::size_t last,
                   std::int64_t wanted, std::string_view noun, const std::string& asked_at,
                   const std::string& looking_for, Check&& check) {
  std::vector<std::int64_t> held;  // the numbers passed over
  for (;;) {
    if (!src.next(kMarkerWidth)) {
      if (!held.empty()) throw not_held(src.name(), noun, held, wanted, asked_at);
      throw IoFailure(src.name(), 0, "end of file while looking for " + looking_for);
    }
    check(src);
    if (!starts(src.rec(), marker)) continue;
    std::int64_t number = 0;
    try {
      number = get_I(src.rec(), first, last);
    } catch (const FieldError&) {
      continue;
    }
    if (number == wanted) return;
    held.push_back(number);
  }
}

void no_check(const TextSource&) {}

// The control layout of a FullProf output.
constexpr ControlLine kLayout[] = {
    with_guide(kSourceLine, "the FullProf output file's name (containing `.out` or `.OUT`)"),
    {.holds = Setting::auxiliary,
     .stage = Stage::names,
     .what = "the auxiliary file name",
     .read = read_auxiliary_name,
     .guide = "the auxiliary file's name (amplitudes and phase angles), or `-`: the amplitudes "
              "and phases from the refined model (section 4.5)"},
    kOutputLine,
    kTitleLine,
    kSymmetryLine,
    kELine,
    kGridLine,
    kIampLine,
    kAmplitudesLine,
    kLambda1Line,
    with_guide(kHistogramLine, "`IHIST`, the pattern number"),
    kPhaseLine,
    with_guide(kBankAnglesLine,
               "the bank-angle line: 2θ of each detector bank, in bank order; the bank used is "
               "the pattern number `IHIST`"),
    {.holds = Setting::amplitude_divisor,
     .when = When::auxiliary_file,
     .stage = Stage::reader,
     .what = "the amplitude divisor",
     .guide = "`FODIV`: one real, the divisor of the auxiliary file's amplitudes (\\|Fo\\| = "
              "amplitude / FODIV × 10); must be above 0"},
    {.holds = Setting::table_layout,
     .when = When::unknown_heading,
     .stage = Stage::reader,
     .what = "the column layout of the reflection table",
     .guide = "the column layout of the table, four numbers (section 4.4)"},
};

class FullprofReader {
 public:
  explicit FullprofReader(Run& run) : run_(run), s_(run.store), src_(run.src) {}

  void read() {
    // Without an auxiliary file the amplitudes and phases come from the refined model; with
    // one, the model, where the output prints it whole, checks the file's values.
    from_model_ = run_.AUXFILE.empty();
    run_.phases_from_model = from_model_;
    if (from_model_) {
      read_model();
    } else {
      try {
        read_model();
      } catch (const std::exception&) {
        model_.reset();
        structure_factors_.reset();
      }
    }
    src_.rewind();
    first_pass();
    src_.rewind();
    second_pass();
    if (!from_model_) {
      open_auxiliary();
      read_divisor();
    }
    scan_table();
    if (from_model_)
      check_model();
    else if (model_)
      compare_with_model();
    report_f000();
    // Overlap groups by d at a fixed wavelength: the table gives no d, the cell does.
    if (run_.options.overlap_d > 0 && !s_.LTOF) d_spacings_from_cell(s_, s_.NREF1);
  }

 private:
  // The conditions block of the pattern, the kind of data, the last cycle.
  void first_pass() {
    find_numbered(src_, kConditions, 45, 47, s_.IHIST, "pattern", run_.origin[Setting::histogram],
                  "the conditions of pattern " + std::to_string(s_.IHIST), no_check);
    src_.need("reading the conditions of the run", kMarkerWidth);
    s_.LTOF = false;
    src_.need("reading the conditions of the run", kMarkerWidth);
    if (says_neutron(src_.rec())) {
      src_.need("reading the conditions of the run", kMarkerWidth);
      if (says_time_of_flight(src_.rec())) {
        s_.LTOF = true;
        s_.NBANK = s_.IHIST;
      }
    }
    decide_line(run_, When::time_of_flight, s_.LTOF);
    if (s_.LTOF) read_control(run_, Setting::bank_angle);
    std::optional<std::int64_t> cycle;
    // The wavelength of the pattern (the first after its conditions) and the detector angle of
    // its data section, as the output prints them, for the check of the control file's.
    // Both stand before the first cycle, in lines longer than the marker searches read.
    bool next_conditions = false, finished = false;
    std::int64_t section = 0;
    src_.find(
        [&](std::string_view r) {
          // Every marker of this pass begins " =".
          if (r.size() < 4 || r[1] != '=') return false;
          if (starts(r, kConditions)) next_conditions = true;
          if (starts(r, kWavelengths) && !next_conditions && printed_wavelength_.empty()) {
            printed_wavelength_ = first_word(after(r, kWavelengths));
            wavelength_line_ = src_.line();
          }
          if (starts(r, kPatternSection)) section = integer(after(r, kPatternSection)).value_or(0);
          if (starts(r, kDetectorAngle) && section == s_.IHIST && printed_angle_.empty()) {
            printed_angle_ = first_word(after(r, ":"));
            angle_line_ = src_.line();
          }
          finished = starts(r, kRunFinished);
          return finished || starts(r, kCycle);
        },
        join({"\"", kRunFinished, "\""}), kCheckWidth);
    if (!finished) {
      cycle = src_.I(15, 19);
      src_.find(
          [&](std::string_view r) {
            if (starts(r, kCycle)) cycle = src_.I(15, 19);
            return starts(r, kRunFinished);
          },
          join({"\"", kRunFinished, "\""}), kMarkerWidth);
    }
    check_against_output();
    if (!cycle)
      src_.fail("the run finishes without a refinement cycle (no \"" + std::string(kCycle) +
                "\" line before it)");
    last_cycle_ = *cycle;
    run_.chosen = "pattern " + std::to_string(s_.IHIST) + ", phase " + std::to_string(s_.IPHASE) +
                  ", last cycle " + std::to_string(last_cycle_) + ", " +
                  (s_.LTOF ? "time of flight, bank " + std::to_string(s_.NBANK) + " at 2theta " +
                                 number_text(s_.TWOTH)
                           : "constant wavelength " + number_text(s_.LAMBDA1));
  }

  // A wavelength or bank angle that the control file gives otherwise than the output prints
  // it (beyond the printed digits) would be written into every line: refused, naming both.
  void check_against_output() {
    auto check = [&](double typed, const std::string& printed, std::int64_t line, Setting setting,
                     std::string_view what) {
      if (printed.empty()) return;
      double value = 0;
      try {
        value = parse_F(printed, 0);
      } catch (const FieldError&) {
        return;
      }
      const std::size_t point = printed.find('.');
      const int decimals =
          point == std::string::npos ? 0 : static_cast<int>(printed.size() - point - 1);
      const double half_unit = 0.5 * std::pow(10.0, -decimals) * (1 + 1e-9);
      if (std::abs(typed - value) <= half_unit) return;
      throw IoFailure("", 0,
                      run_.origin[setting] + ": " + std::string(what) + " " + number_text(typed) +
                          " is not the " + std::string(what) + " " + printed + " that " +
                          where(src_.name(), line) + " prints for pattern " +
                          std::to_string(s_.IHIST) + ": give the output's value");
    };
    if (s_.LTOF)
      check(s_.TWOTH, printed_angle_, angle_line_, Setting::bank_angle, "bank angle");
    else
      check(s_.LAMBDA1, printed_wavelength_, wavelength_line_, Setting::lambda1, "wavelength");
  }

  // The last cycle, the phase, the profile parameters, the cell and the table's title.
  void second_pass() {
    auto find_numbered = [&](std::string_view marker, std::size_t first, std::size_t last,
                             std::int64_t want, const std::string& what) {
      src_.find(
          [&](std::string_view r) { return starts(r, marker) && src_.I(first, last) == want; },
          join({"\"", marker, "\" ", what}), kMarkerWidth);
    };
    find_numbered(kCycle, 15, 19, last_cycle_, join({"of cycle ", std::to_string(last_cycle_)}));
    find_phase();
    find_numbered(kProfile, 37, 39, s_.IHIST, join({"of pattern ", std::to_string(s_.IHIST)}));
    // Later versions title the block "Direct cell parameters"; the first of either is used.
    src_.find([](std::string_view r) { return starts(r, kCell) || starts(r, kDirectCell); },
              "the cell parameters", kMarkerWidth);
    const std::int64_t cell_line = src_.line() + 1;
    for (double& c : s_.CELL) {
      src_.need("reading the cell parameters", kMarkerWidth);
      src_.require_line_end();
      c = src_.F(1, 15, 6);
    }
    run_.origin[Setting::cell] = where(src_.name(), cell_line);
    if (std::string fault = cell_fault(s_.CELL); !fault.empty())
      throw IoFailure(src_.name(), cell_line, fault);
    src_.find([&](std::string_view r) { return starts(r, kPattern) && pattern_phase_matches(); },
              join({"the reflections of pattern ", std::to_string(s_.IHIST), ", phase ",
                    std::to_string(s_.IPHASE)}),
              kMarkerWidth);
    src_.need("reading the reflection table", kMarkerWidth);
  }

  // The " => Phase" line of the phase, after the last cycle's line. Summary lines such as
  // " => Phase:  1" carry no phase number in columns 10-12 and are passed over.
  void find_phase() {
    find_numbered(src_, kPhase, 10, 12, s_.IPHASE, "phase", run_.origin[Setting::phase],
                  join({"\"", kPhase, "\" of phase ", std::to_string(s_.IPHASE)}), no_check);
  }

  // A " Pattern#" line carries the pattern in columns 10-12 and the phase in columns
  // 23-26; in later versions the phase is the number after "Phase No.:" instead.
  bool pattern_phase_matches() {
    if (src_.I(10, 12) != s_.IHIST) return false;
    std::string error;
    const std::optional<std::int64_t> phase = table_phase(src_.rec(), error);
    if (!phase) src_.fail(error);
    return *phase == s_.IPHASE;
  }

  // The auxiliary file, at the " Phase no.:" line of the phase. A FullProf Fourier file
  // (" Phase No.:", then h k l |F| sigma and no phase angle) is refused for what it is.
  void open_auxiliary() {
    aux_.open(run_.AUXFILE);
    find_numbered(aux_, kAuxPhase, 12, 15, s_.IPHASE, "phase", run_.origin[Setting::phase],
                  join({"\"", kAuxPhase, "\" of phase ", std::to_string(s_.IPHASE)}),
                  [](const TextSource& aux) {
                    if (starts(aux.rec(), kFourierPhase))
                      aux.fail(
                          "this is a FullProf Fourier file (\" Phase No.:\", then h k l |F| sigma, "
                          "no phase angle), not an auxiliary file; the auxiliary file holds, after "
                          "a \" Phase no.:\" line with the phase number in columns 12-15, one line "
                          "per reflection of the table: h k l in columns 1-12, the amplitude in "
                          "columns 13-24 and the phase angle in degrees in columns 37-48");
                  });
  }

  // The next line of the auxiliary block of the phase; false when the block has ended (the
  // end of the file, or the next phase's " Phase no.:" line).
  bool next_auxiliary_line() { return aux_.next(kTableWidth) && !starts(aux_.rec(), kAuxPhase); }

  // Reflection lines of the table after the current one, up to its end-of-table line (or
  // the end of the file), counted for the warning when the auxiliary block is shorter.
  std::int64_t remaining_table_lines() {
    std::int64_t n = 0;
    while (src_.next(kTableWidth)) {
      const std::string_view rec = src_.rec();
      if (FullprofTable::is_end(rec)) break;
      if (!is_blank(rec) && !FullprofTable::is_heading(rec)) ++n;
    }
    return n;
  }

  void read_divisor() {
    fodiv_ = 1;
    read_control(run_, Setting::amplitude_divisor, fodiv_);
    if (fodiv_ == 0 || !std::isfinite(fodiv_))
      run_.ctl.fail("the amplitude divisor must be a non-zero number, not " + number_text(fodiv_));
    // A negative divisor would turn every |Fo| negative and every phase by 180 degrees.
    if (fodiv_ < 0)
      run_.ctl.fail("the amplitude divisor must be above 0, not " + number_text(fodiv_) +
                    ": it would make every |Fo| negative");
    run_.chosen += ", FODIV " + number_text(fodiv_);
  }

  static bool begins_with_N(std::string_view rec) {
    std::size_t b = rec.find_first_not_of(' ');
    return b != std::string_view::npos && rec[b] == 'N';
  }

  // Every known heading begins " No." or "   No.": no other line can be one.
  static bool may_be_heading(std::string_view rec) {
    return rec.size() > 3 && rec[0] == ' ' &&
           (rec[1] == 'N' || (rec[1] == ' ' && rec[2] == ' ' && rec[3] == 'N'));
  }

  void scan_table() {
    bool header_seen = false;
    int requests = 0;
    s_.NREF1 = 0;
    for (;;) {
      src_.need("reading the reflection table (no end-of-table line)", kTableWidth);
      std::string_view rec = src_.rec();
      if (is_blank(rec)) continue;
      if (may_be_heading(rec) && table_.take_heading(rec)) {
        header_seen = true;
        continue;
      }
      if (!header_seen && begins_with_N(rec)) {
        if (requests == 0) {
          table_.take_user_layout();
          requests = 1;
        }
        continue;
      }
      if (FullprofTable::is_end(rec)) {
        // A run written without its final reflection list has the closing dashes of the
        // R-factor block here: that is no table at all, not an empty one.
        if (!table_.has_layout())
          src_.fail("no reflection table: the end-of-table line comes before any table heading");
        break;
      }
      // Before the table's heading there is nothing to read a reflection by.
      if (!table_.has_layout()) continue;
      Store::require_capacity(s_.NREF1 + 1, [&] { return where(src_.name(), src_.line()); });
      const std::size_t j = static_cast<std::size_t>(s_.NREF1 + 1);
      table_.parse_reflection(j);
      s_.SrcLine[j] = src_.line();
      if (from_model_) {
        take_from_model(j);
        s_.NREF1 = static_cast<std::int64_t>(j);
        s_.reached(j);
        continue;
      }

      // The end of the auxiliary block ends the table; the reflection in hand is not taken.
      if (!next_auxiliary_line()) {
        if (unindexed_)
          refuse_unindexed_block("ends after", s_.NREF1, s_.NREF1 + 1 + remaining_table_lines());
        warn_short_block(1 + remaining_table_lines());
        aux_.close();
        return;
      }
      // Lines are paired with the table in turn: a blank one would take a reflection's place.
      if (is_blank(aux_.rec()))
        aux_.fail("a blank line inside the block of phase " + std::to_string(s_.IPHASE) +
                  ": its lines are paired with the reflections of the table in turn, one each");
      aux_.require_line_end();
      match_indices(j);
      require_point(13, 24, "the amplitude");
      require_point(37, 48, "the phase angle");
      const double amplitude = modulus(13, 24, "the amplitude");
      const CosSin phi = cos_sin_deg(aux_.F(37, 48, 4));
      s_.FoAbs[j] = (amplitude / fodiv_) * 10;
      if (run_.options.sigma == RunOptions::Sigma::refinement) {
        require_point(25, 36, "|F|calc");
        s_.FcAbs[j] = (modulus(25, 36, "|F|calc") / fodiv_) * 10;
      }
      if (!s_.LTOF) s_.Io[j] *= 1e10;
      s_.FoR[j] = s_.FoAbs[j] * phi.cos;
      s_.FoI[j] = s_.FoAbs[j] * phi.sin;
      if (model_) note_against_model(j);
      s_.NREF1 = static_cast<std::int64_t>(j);
      s_.reached(j);
    }
    if (from_model_) return;
    std::int64_t surplus = 0;
    while (next_auxiliary_line())
      if (!is_blank(aux_.rec())) ++surplus;
    if (surplus > 0 && unindexed_) refuse_unindexed_block("holds", s_.NREF1 + surplus, s_.NREF1);
    if (surplus > 0)
      run_.warnings << "memprep: " << where(aux_.name(), 0) << ": warning: the block of phase "
                    << s_.IPHASE << " holds " << s_.NREF1 + surplus
                    << " reflection lines, the table of " << where(src_.name(), 0) << " "
                    << s_.NREF1 << ": the last " << surplus << " are not used\n";
    aux_.close();
  }

  // |Fo| = |F_model| sqrt(Iobs / Icalc), with the phase of F_model: the scale and the
  // corrections of the pattern (Lorentz-polarisation, absorption, preferred orientation)
  // cancel in Iobs / Icalc. Without an Icalc no |Fo| is formed (NaN), and the reflection is
  // left out with the others that have no usable uncertainty.
  void take_from_model(std::size_t j) {
    const auto h = static_cast<int>(s_.H[j]), k = static_cast<int>(s_.K[j]),
               l = static_cast<int>(s_.L[j]);
    const std::complex<double> F = (*structure_factors_)(h, k, l);
    const double f = std::abs(F);
    const double icalc = s_.Icalc[j];
    crystal::CheckedReflection c;
    c.Icalc = icalc;
    c.F2 = f * f;
    // The table's Mult where it prints one; the model's otherwise.
    c.multiplicity =
        s_.MRef[j] > 0 ? static_cast<double>(s_.MRef[j])
                       : crystal::reflection_info(model_->model.group, model_->model.cell, h, k, l)
                             .multiplicity;
    const double d = crystal::d_spacing(model_->model.cell, h, k, l);
    c.d = s_.LTOF ? s_.Dspacing[j] : d;
    if (!s_.LTOF) {
      // The check's Lorentz factor needs the Bragg angle, from the wavelength.
      if (!(s_.LAMBDA1 > 0 && s_.LAMBDA1 < 2 * d))
        throw IoFailure("", 0,
                        run_.origin[Setting::lambda1] + ": lambda1 = " + number_text(s_.LAMBDA1) +
                            " gives reflection " + std::to_string(h) + " " + std::to_string(k) +
                            " " + std::to_string(l) + " (d = " + number_text(d) +
                            ") no Bragg angle: amplitudes from the model need the wavelength");
      c.two_theta = 2 * std::asin(s_.LAMBDA1 / (2 * d)) * 180 / std::acos(-1.0);
    }
    checked_.push_back(c);
    if (icalc > 0) {
      s_.FoAbs[j] = f * std::sqrt(std::max(s_.Io[j], 0.0) / icalc);
      // A real or imaginary component that is rounding residue of the sum over the operations
      // is none.
      double re = F.real(), im = F.imag();
      if (std::abs(im) <= 1e-9 * f) im = 0;
      if (std::abs(re) <= 1e-9 * f) re = 0;
      s_.FoR[j] = f > 0 ? s_.FoAbs[j] * (re / f) : 0;
      s_.FoI[j] = f > 0 ? s_.FoAbs[j] * (im / f) : 0;
    } else {
      s_.FoAbs[j] = s_.FoR[j] = s_.FoI[j] = std::nan("");
    }
    s_.FcAbs[j] = f;
    if (!s_.LTOF) s_.Io[j] *= 1e10;
  }

  void read_model() {
    model_ = read_fullprof_model(src_, s_.IPHASE);
    structure_factors_ = std::make_unique<crystal::StructureFactors>(model_->model);
    table_.keep_icalc();
  }

  // An auxiliary line against the model: its phase angle and the ratio of its |Fo| to the
  // model's |F_model| sqrt(Iobs / Icalc), which is 1 for the model of this refinement.
  void note_against_model(std::size_t j) {
    const std::complex<double> F = (*structure_factors_)(
        static_cast<int>(s_.H[j]), static_cast<int>(s_.K[j]), static_cast<int>(s_.L[j]));
    const double icalc = s_.Icalc[j], iobs = s_.LTOF ? s_.Io[j] : s_.Io[j] * 1e-10;
    const double f = std::abs(F);
    if (!(icalc > 0) || !(iobs > 0) || !(f > 0) || !(s_.FoAbs[j] > 0)) return;
    ratios_.push_back(s_.FoAbs[j] / (f * std::sqrt(iobs / icalc)));
    const double model_phase = std::arg(F) * 180 / std::acos(-1.0);
    const double file_phase = std::atan2(s_.FoI[j], s_.FoR[j]) * 180 / std::acos(-1.0);
    const double off = std::abs(std::remainder(file_phase - model_phase, 360.0));
    if (off > kPhaseTolerance) ++phases_off_;
  }

  // Most phases far from the model's, or a ratio that is not 1, point to the likely cause.
  void compare_with_model() {
    if (ratios_.empty()) return;
    std::vector<double> r = ratios_;
    std::nth_element(r.begin(), r.begin() + static_cast<long>(r.size() / 2), r.end());
    const double median = r[r.size() / 2];
    double spread = 0;
    for (double x : ratios_) spread += (x / median - 1) * (x / median - 1);
    spread = std::sqrt(spread / static_cast<double>(ratios_.size()));
    const std::string head = "memprep: " + where(run_.AUXFILE, 0) +
                             ": warning: compared with the model of phase " +
                             std::to_string(s_.IPHASE) + " in " + where(src_.name(), 0) + ", ";
    if (2 * phases_off_ > ratios_.size())
      run_.warnings << head << "the phase angles of " << phases_off_ << " of " << ratios_.size()
                    << " reflections differ by more than " << kPhaseTolerance
                    << " degrees: the file may be of another phase or another cycle\n";
    if (spread > kModelSpread)
      run_.warnings << head << "the ratio of |Fo| to |F_model| sqrt(Iobs / Icalc) spreads "
                    << percent(spread) << ": the file may be of another phase or another cycle\n";
    else if (std::abs(median - 1) > 0.02)
      run_.warnings << head << "|Fo| is " << number_text(std::round(median * 1000) / 1000)
                    << " times |F_model| sqrt(Iobs / Icalc) on every reflection: check FODIV ("
                    << number_text(fodiv_) << ")\n";
  }

  // F000 is the control file's; with a model, one that differs from the model's by more
  // than 1 % is likely a slip, and the warning names both.
  void report_f000() {
    std::string typed = number_text(s_.AMPPOS);
    if (s_.IAMP == 1) typed += " " + number_text(s_.AMPNEG);
    run_.chosen += ", F000 " + typed + " from " + run_.origin[Setting::amplitudes];
    if (!model_) return;
    const crystal::Amplitudes a = crystal::f000(model_->model);
    const double typed_total = s_.AMPPOS + (s_.IAMP == 1 ? s_.AMPNEG : 0);
    const double model_total = a.positive + a.negative;
    if (std::abs(typed_total - model_total) <= 0.01 * std::abs(model_total)) return;
    run_.warnings << "memprep: " << run_.origin[Setting::amplitudes] << ": warning: F000 " << typed
                  << " differs by more than 1 % from the model's " << a.positive;
    if (a.negative != 0) run_.warnings << " " << a.negative;
    run_.warnings << " ("
                  << (model_->model.radiation == crystal::Radiation::xray
                          ? "the electrons in the cell"
                          : "the positive and negative scattering lengths in the cell, fm")
                  << ")\n";
  }

  // The model read must explain the table's Icalc: Icalc / (Mult |F_model|^2 LP) is the
  // scale times corrections that vary slowly. A spread far beyond what a model read right
  // gives (2 % on the real outputs) is a model read wrong, and its phases are not to be
  // trusted.
  void check_model() {
    const crystal::Geometry geometry = s_.LTOF ? crystal::Geometry::time_of_flight
                                       : model_->model.radiation == crystal::Radiation::xray
                                           ? crystal::Geometry::xray
                                           : crystal::Geometry::neutron;
    const crystal::CheckResult r =
        crystal::model_check(checked_, geometry, kModelTolerance, kModelMinFraction);
    std::string what = ", |Fo| and phases from the model (" +
                       std::to_string(model_->model.atoms.size()) + " atoms, space group " +
                       model_->model.group.hm() + ", cycle " + std::to_string(model_->cycle) +
                       "), Icalc / (Mult |F|^2 LP) spread " + percent(r.spread) + " over " +
                       std::to_string(r.used) + " reflections";
    run_.chosen += what;
    if (r.used == 0 || r.spread <= kModelSpread) return;
    std::string worst;
    for (std::size_t n = 0; n < r.outliers.size() && n < 3; ++n) {
      const std::size_t j = r.outliers[n] + 1;
      worst += (n ? ", " : " (most: ") + std::to_string(s_.H[j]) + " " + std::to_string(s_.K[j]) +
               " " + std::to_string(s_.L[j]) + " at " + where(src_.name(), s_.SrcLine[j]);
    }
    if (!worst.empty()) worst += ")";
    throw IoFailure(src_.name(), model_->symmetry_line,
                    "the model read for phase " + std::to_string(s_.IPHASE) +
                        " does not explain the table's Icalc: Icalc / (Mult |F|^2 LP) spreads " +
                        percent(r.spread) + " about its median, more than " +
                        percent(kModelSpread) + worst +
                        "; its phases are not used (name an auxiliary file instead)");
  }

  static std::string percent(double fraction) {
    const double p = fraction * 100;
    std::string s(static_cast<std::size_t>(std::max(std::snprintf(nullptr, 0, "%.1f %%", p), 0)),
                  ' ');
    std::snprintf(s.data(), s.size() + 1, "%.1f %%", p);
    return s;
  }

  // True when columns 1-12 of rec are h k l of entry j as I4 writes them, the form the
  // auxiliary file has: then they read as those indices, without converting them again.
  bool shows_indices(std::string_view rec, std::size_t j) const {
    if (rec.size() < 12) return false;
    const std::int64_t hkl[] = {s_.H[j], s_.K[j], s_.L[j]};
    for (int f = 0; f < 3; ++f) {
      const char* const field = rec.data() + 4 * f;
      std::int64_t v = hkl[f];
      if (v < -999 || v > 9999) return false;
      const bool neg = v < 0;
      std::uint64_t u = neg ? static_cast<std::uint64_t>(-v) : static_cast<std::uint64_t>(v);
      int c = 3;
      do {
        if (field[c--] != static_cast<char>('0' + u % 10)) return false;
        u /= 10;
      } while (u != 0);
      if (neg && field[c--] != '-') return false;
      for (; c >= 0; --c)
        if (field[c] != ' ') return false;
    }
    return true;
  }

  // Every program that writes the auxiliary layout writes its reals with a decimal point: a
  // field without one would read with four implied decimals (236 as 0.0236), and a blank one
  // as 0, neither of them the value meant.
  void require_point(std::size_t first, std::size_t last, std::string_view what) {
    const std::string_view rec = aux_.rec();
    if (rec.size() >= last && rec[last - 5] == '.') return;  // as F12.4 writes it
    const std::string_view field = cols(rec, first, last);
    if (field.find('.') != std::string_view::npos) return;
    const std::string_view text = trim(field);
    std::string where_text = "columns " + std::to_string(first) + "-" + std::to_string(last) + ": ";
    if (text.empty()) aux_.fail(where_text + std::string(what) + " is blank: give its value");
    double read_as = 0;
    try {
      read_as = parse_F(text, 4);
    } catch (const FieldError&) {
      return;  // not a number at all: refused as such when read
    }
    aux_.fail(where_text + std::string(what) + " '" + std::string(text) +
              "' has no decimal point, and would read as " + number_text(read_as) +
              " (F12.4, four implied decimals): write it with its decimal point");
  }

  // An amplitude of the auxiliary file is a modulus: a negative one is no |F| at all.
  double modulus(std::size_t first, std::size_t last, std::string_view what) {
    const double v = aux_.F(first, last, 4);
    if (v < 0)
      aux_.fail("columns " + std::to_string(first) + "-" + std::to_string(last) + ": " +
                std::string(what) + " " + std::string(trim(cols(aux_.rec(), first, last))) +
                " is negative: the auxiliary file gives moduli, 0 or more");
    return v;
  }

  // An auxiliary line that gives h k l in its first twelve columns (3I4) must give those of
  // the table line it is paired with; blank columns give no index to compare.
  void match_indices(std::size_t j) {
    if (shows_indices(aux_.rec(), j)) return;
    if (is_blank(cols(aux_.rec(), 1, 12))) {
      unindexed_ = true;
      return;
    }
    const std::int64_t h = aux_.I(1, 4), k = aux_.I(5, 8), l = aux_.I(9, 12);
    if (h == s_.H[j] && k == s_.K[j] && l == s_.L[j]) return;
    auto hkl = [](std::int64_t a, std::int64_t b, std::int64_t c) {
      return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
    };
    aux_.fail("h k l " + hkl(h, k, l) + ", but " + where(src_.name(), src_.line()) +
              " is reflection " + hkl(s_.H[j], s_.K[j], s_.L[j]) +
              ": the auxiliary file must list the reflections of the table in its order");
  }

  // A block whose lines give no h k l is paired with the table by position alone: when
  // its length is not the table's, a line is missing or added somewhere, and every
  // amplitude after it would belong to another reflection.
  [[noreturn]] void refuse_unindexed_block(std::string_view ends, std::int64_t lines,
                                           std::int64_t table) {
    throw IoFailure(aux_.name(), aux_.line(),
                    "the block of phase " + std::to_string(s_.IPHASE) + " " + std::string(ends) +
                        " " + std::to_string(lines) + " reflection lines, the table of " +
                        where(src_.name(), 0) + " has " + std::to_string(table) +
                        ", and lines without h k l (columns 1-12 blank) cannot be paired with "
                        "its reflections: give h k l on every line, or one line per reflection");
  }

  // The auxiliary block ended before the table: `left` table lines, the one in hand
  // included, are not converted.
  void warn_short_block(std::int64_t left) {
    run_.warnings << "memprep: " << where(aux_.name(), aux_.line())
                  << ": warning: the block of phase " << s_.IPHASE << " ends after " << s_.NREF1
                  << " reflection lines, the table of " << where(src_.name(), 0) << " has "
                  << s_.NREF1 + left << ": only the first " << s_.NREF1 << " are converted\n";
  }

  Run& run_;
  Store& s_;
  TextSource& src_;
  TextSource aux_;
  std::int64_t last_cycle_ = 0;
  std::string printed_wavelength_, printed_angle_;  // as the output prints them
  std::int64_t wavelength_line_ = 0, angle_line_ = 0;
  double fodiv_ = 1;
  FullprofTable table_{run_, src_};
  std::optional<FullProfModel> model_;
  std::unique_ptr<crystal::StructureFactors> structure_factors_;
  std::vector<crystal::CheckedReflection> checked_;
  bool from_model_ = false;
  bool unindexed_ = false;      // a line of the auxiliary block gave no h k l
  std::vector<double> ratios_;  // of the auxiliary |Fo| to the model's
  std::size_t phases_off_ = 0;
};

// ---- The survey for --template -------------------------------------------------------
//
// The conditions block of each pattern (its data type decided as the reader decides it),
// the phase sections with their space groups, the per-pattern data sections with the
// detector angles, and the final reflection tables with their lengths.

class Survey {
 public:
  explicit Survey(TextSource& src) : src_(src) {}

  FullprofSurvey read() {
    std::int64_t since_conditions = 0;  // records since the last conditions line
    bool neutron = false;
    while (src_.next(kSurveyWidth)) {
      const std::string_view rec = src_.rec();
      ++since_conditions;
      if (starts(rec, kConditions)) {
        conditions();
        since_conditions = 0;
      } else if (since_conditions == 2 && !s_.patterns.empty()) {
        neutron = says_neutron(rec);
      } else if (since_conditions == 3 && neutron && says_time_of_flight(rec)) {
        s_.patterns.back().tof = true;
      }
      if (starts(rec, kTitle) && s_.patterns.size() == 1 && s_.title.empty())
        s_.title = after(rec, kTitle);
      else if (starts(rec, kWavelengths))
        wavelengths_.emplace_back(first_word(after(rec, kWavelengths)));
      else if (starts(rec, kPatternSection))
        section_ = integer(after(rec, kPatternSection)).value_or(0);
      else if (starts(rec, kDetectorAngle))
        detector_angle(rec);
      else if (starts(rec, kPhaseSection))
        phase_section();
      else if (starts(rec, kPattern))
        table();
      else if (!s_.phases.empty())
        space_group(rec, s_.phases.back());
    }
    // The options of the patterns are printed one pattern after the other: the n-th
    // wavelength line belongs to the n-th pattern at a constant wavelength.
    std::size_t next = 0;
    for (FullprofSurvey::Pattern& p : s_.patterns)
      if (!p.tof && next < wavelengths_.size()) p.wavelength = wavelengths_[next++];
    return std::move(s_);
  }

 private:
  // The pattern of a conditions line, columns 45-47 as the reader takes it.
  void conditions() {
    FullprofSurvey::Pattern p;
    try {
      p.number = get_I(src_.rec(), 45, 47);
    } catch (const FieldError&) {
      return;
    }
    s_.patterns.push_back(p);
  }

  // The space group of the phase section: its number, and its symbol from the information
  // block (whose case is the symbol's own) or else from the symmetry heading.
  void space_group(std::string_view rec, FullprofSurvey::Phase& phase) {
    if (!starts(rec, " =>")) return;
    if (rec.find(kSpaceGroup) != std::string_view::npos) {
      if (phase.space_group.empty()) phase.space_group = first_word(after(rec, kSpaceGroup));
    } else if (rec.find(kHermannMauguin) != std::string_view::npos) {
      if (!hermann_mauguin_) phase.symbol = collapse_blanks(after(rec, kHermannMauguin));
      hermann_mauguin_ = true;
    } else if (starts(rec, kSymmetry) && phase.symbol.empty()) {
      phase.symbol = collapse_blanks(after(rec, kSymmetry));
    }
  }

  void detector_angle(std::string_view rec) {
    for (FullprofSurvey::Pattern& p : s_.patterns)
      if (p.number == section_ && p.bank_angle.empty()) p.bank_angle = first_word(after(rec, ":"));
  }

  void phase_section() {
    const std::optional<std::int64_t> n = integer(after(src_.rec(), kPhaseSection));
    if (!n) return;
    FullprofSurvey::Phase phase;
    phase.number = *n;
    if (src_.next(kSurveyWidth)) {
      phase.name = collapse_blanks(src_.rec());
      // A name of nothing but "#" is the program's filler for no name.
      if (phase.name.find_first_not_of('#') == std::string::npos) phase.name.clear();
    }
    s_.phases.push_back(phase);
    hermann_mauguin_ = false;
  }

  // A " Pattern#" line, the line after it, then the table up to its end-of-table line: the
  // reflection lines are those the reader would take, every line that is neither blank nor
  // a table heading.
  void table() {
    SurveyedTable t;
    t.line = src_.line();
    const std::string_view rec = src_.rec();
    try {
      t.pattern = get_I(rec, 10, 12);
    } catch (const FieldError&) {
      return;
    }
    std::string error;
    const std::optional<std::int64_t> phase = table_phase(rec, error);
    if (!phase) return;
    t.phase = *phase;
    src_.next(kSurveyWidth);
    while (src_.next(kSurveyWidth)) {
      const std::string_view r = src_.rec();
      if (FullprofTable::is_end(r)) break;
      if (!is_blank(r) && !FullprofTable::is_heading(r)) ++t.reflections;
    }
    for (SurveyedTable& known : s_.tables)
      if (known.pattern == t.pattern && known.phase == t.phase) {
        known = t;
        return;
      }
    s_.tables.push_back(t);
  }

  TextSource& src_;
  FullprofSurvey s_;
  std::vector<std::string> wavelengths_;
  std::int64_t section_ = 0;      // the pattern of the data section being read
  bool hermann_mauguin_ = false;  // the phase's symbol is from its information block
};

}  // namespace

FullprofSurvey survey_fullprof_output(TextSource& src) {
  return Survey(src).read();
}

std::span<const ControlLine> fullprof_output_layout() {
  return kLayout;
}

void read_fullprof_output(Run& run) {
  FullprofReader(run).read();
}

}  // namespace memprep
