// The sources surveyed in one pass each, by the markers their readers go by
// (fullprof_output.cpp, list_file.cpp).
//
// FullProf output: the conditions block of each pattern (its data type decided as the reader
// decides it), the phase sections with their space groups, the per-pattern data sections
// with the detector angles, and the final reflection tables with their lengths.
//
// List file: the EXPEDT title, the structure sections and the diffractometer constants after
// the GENLES title, the " Hstgm" lines, and the reflection lists with the lines of each phase.
#include "readers/source_survey.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "io/fields.hpp"

namespace memprep {

namespace {

constexpr std::size_t kWidth = 256;

constexpr std::string_view kConditions = " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:";
constexpr std::string_view kTitle = " => Title:";
constexpr std::string_view kWavelengths = " => Wavelengths:";
constexpr std::string_view kPatternSection = " =>------->  PATTERN number:";
constexpr std::string_view kDetectorAngle = " => T.O.F. 2theta average detector angle";
constexpr std::string_view kPhaseSection = " => Phase  No.";
constexpr std::string_view kSymmetry = " => Symmetry information on space group:";
constexpr std::string_view kHermannMauguin = "Hermann-Mauguin Symbol:";
constexpr std::string_view kSpaceGroup = "Number of Space group:";
constexpr std::string_view kPattern = " Pattern#";
constexpr std::string_view kTableEnd1 = "     ---------------";
constexpr std::string_view kTableEnd2 = " -------------------";

std::string_view trim(std::string_view s) {
  const std::size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string_view() : trim_right(s.substr(b));
}

// The text after the first `mark` of rec (after the first ':' when mark is empty), trimmed.
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

class Survey {
 public:
  explicit Survey(TextSource& src) : src_(src) {}

  FullprofSurvey read() {
    std::int64_t since_conditions = 0;  // records since the last conditions line
    bool neutron = false;
    while (src_.next(kWidth)) {
      const std::string_view rec = src_.rec();
      ++since_conditions;
      if (starts(rec, kConditions)) {
        conditions();
        since_conditions = 0;
      } else if (since_conditions == 2 && !s_.patterns.empty()) {
        neutron = at(rec, 26, "neutron");
      } else if (since_conditions == 3 && neutron && at(rec, 13, "Time-Of-Flight")) {
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
    if (src_.next(kWidth)) {
      phase.name = collapse_blanks(src_.rec());
      // A name of nothing but "#" is the program's filler for no name.
      if (phase.name.find_first_not_of('#') == std::string::npos) phase.name.clear();
    }
    s_.phases.push_back(phase);
    hermann_mauguin_ = false;
  }

  // A " Pattern#" line, the line after it, then the table up to its closing dashes: the
  // reflection lines are those that begin, after blanks, with a digit (the headings that
  // repeat inside the table begin with "No.").
  void table() {
    SurveyedTable t;
    t.line = src_.line();
    const std::string_view rec = src_.rec();
    try {
      t.pattern = get_I(rec, 10, 12);
    } catch (const FieldError&) {
      return;
    }
    std::optional<std::int64_t> phase;
    try {
      phase = get_I(rec, 23, 26);
    } catch (const FieldError&) {
      phase = integer(after(rec, "Phase No.:"));
    }
    if (!phase) return;
    t.phase = *phase;
    src_.next(kWidth);
    while (src_.next(kWidth)) {
      const std::string_view r = src_.rec();
      if (starts(r, kTableEnd1) || starts(r, kTableEnd2)) break;
      const std::string_view text = trim(r);
      if (!text.empty() && text.front() >= '0' && text.front() <= '9') ++t.reflections;
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

// The histograms of a diffractometer-constants block: pairs of records, a heading and a
// data record, until the data record's columns 1-3 hold no number.
void constants_block(TextSource& src, std::vector<ListFileSurvey::Histogram>& histograms) {
  while (src.next(kWidth) && src.next(kWidth)) {
    const std::string_view rec = src.rec();
    ListFileSurvey::Histogram h;
    try {
      h.number = get_I(rec, 1, 3);
    } catch (const FieldError&) {
      return;
    }
    h.type = std::string(trim(cols(rec, 6, 8)));
    if (h.type.size() == 3 && h.type[2] == 'C') h.wavelength = trim(cols(rec, 10, 19));
    if (h.type == "PNT") {
      // DIFC DIFA ZERO: tof = d (DIFC + DIFA d) + ZERO, as TOFLIN TOFQUAD TOFZERO.
      std::string_view rest = cols(rec, 10, kWidth);
      std::string three;
      int n = 0;
      for (; n < 3; ++n) {
        rest = trim(rest);
        const std::string_view word = first_word(rest);
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

// A reflection list after its " Histogram" header, as the reader reads it: one record
// skipped, then the lines up to a blank record, the HSTDMP page header or the end of the
// file, REFLIST page headers passed over. Lines count for phase p when their code (columns
// 20-24) is 1000 p + 21.
void reflection_list(TextSource& src, std::int64_t histogram, std::vector<SurveyedTable>& tables) {
  const std::int64_t line = src.line();
  std::vector<SurveyedTable> found;
  src.next(kWidth);
  while (src.next(kWidth)) {
    const std::string_view r = src.rec();
    if (is_blank(r) || (at(r, 1, "1") && at(r, 69, "HSTDMP"))) break;
    if (at(r, 1, "1") && at(r, 69, "REFLIST")) {
      src.next(kWidth);
      src.next(kWidth);
      if (is_blank(cols(src.rec(), 1, 6))) break;
      continue;
    }
    std::int64_t code = 0;
    try {
      code = get_I(r, 20, 24);
    } catch (const FieldError&) {
      continue;
    }
    if (code % 1000 != 21) continue;
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

FullprofSurvey survey_fullprof_output(TextSource& src) {
  return Survey(src).read();
}

ListFileSurvey survey_list_file(TextSource& src) {
  ListFileSurvey s;
  bool expedt = false, genles = false, constants = false;
  int structure = 0;  // 1: the scattering factors, 2: the atom list, 3: its end
  while (src.next(kWidth)) {
    const std::string_view rec = src.rec();
    if (at(rec, 35, "EXPEDT")) {
      expedt = s.title.empty();
      continue;
    }
    if (expedt && !is_blank(rec)) {
      s.title = trim(rec);
      expedt = false;
    }
    if (at(rec, 35, "GENLES")) genles = true;
    if (!genles) continue;
    if (!constants) {
      if (structure == 0 && starts(rec, " The atomic and magnetic scattering factors for"))
        structure = 1;
      else if (structure == 1 && starts(rec, " Type seq"))
        structure = 2;
      else if (structure == 2 &&
               (starts(rec, " Lattice parameters") || starts(rec, "  Constraints")))
        structure = 3;
      if (starts(rec, " Diffractometer constants for powder data:")) {
        constants_block(src, s.histograms);
        constants = true;
        s.structure = structure == 3;
      }
      continue;
    }
    if (starts(rec, " Hstgm") && at(rec, 11, "PNT")) {
      try {
        const std::int64_t number = get_I(rec, 8, 9), bank = get_I(rec, 16, 17);
        for (ListFileSurvey::Histogram& h : s.histograms)
          if (h.number == number && h.bank == 0) h.bank = bank;
      } catch (const FieldError&) {
      }
    } else if (starts(rec, " Histogram") && at(rec, 15, "data")) {
      std::int64_t histogram = 0;
      try {
        histogram = get_I(rec, 12, 13);
      } catch (const FieldError&) {
      }
      reflection_list(src, histogram, s.tables);
    }
  }
  return s;
}

}  // namespace memprep
