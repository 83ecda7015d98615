// The standard output file of a FullProf refinement and its auxiliary file of
// amplitudes and phase angles.
//
// The first pass finds the conditions block of the requested pattern, tells time-of-flight
// data from the rest and notes the number of the last refinement cycle. The second pass
// finds that cycle, the phase, the profile parameters with the cell, and the reflection
// table of the pattern and phase, whose lines are read together with the lines of the
// auxiliary file.
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_file.hpp"
#include "io/fields.hpp"
#include "readers/fullprof_table.hpp"
#include "readers/readers.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

constexpr std::size_t kMarkerWidth = 50;  // marker searches
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

class FullprofReader {
 public:
  explicit FullprofReader(Run& run) : run_(run), s_(run.store), src_(run.src) {}

  void read() {
    first_pass();
    src_.rewind();
    second_pass();
    open_auxiliary();
    read_divisor();
    scan_table();
    // Overlap groups by d at a fixed wavelength: the table gives no d, the cell does.
    if (run_.options.overlap_d > 0 && !s_.LTOF) d_spacings_from_cell(s_, s_.NREF1);
  }

 private:
  // The conditions block of the pattern, the kind of data, the last cycle.
  void first_pass() {
    find_numbered(src_, kConditions, 45, 47, s_.IHIST, "pattern", run_.origin.hist,
                  "the conditions of pattern " + std::to_string(s_.IHIST), no_check);
    src_.need("reading the conditions of the run", kMarkerWidth);
    s_.LTOF = false;
    src_.need("reading the conditions of the run", kMarkerWidth);
    if (at(src_.rec(), 26, "neutron")) {
      src_.need("reading the conditions of the run", kMarkerWidth);
      if (at(src_.rec(), 13, "Time-Of-Flight")) {
        s_.LTOF = true;
        s_.NBANK = s_.IHIST;
        s_.TWOTH = read_bank_angle(run_, s_.NBANK, s_.NBANKS);
      }
    }
    std::optional<std::int64_t> cycle;
    src_.find(
        [&](std::string_view r) {
          if (starts(r, kCycle)) cycle = src_.I(15, 19);
          return starts(r, kRunFinished);
        },
        join({"\"", kRunFinished, "\""}), kMarkerWidth);
    if (!cycle)
      src_.fail("the run finishes without a refinement cycle (no \"" + std::string(kCycle) +
                "\" line before it)");
    last_cycle_ = *cycle;
    run_.chosen = "pattern " + std::to_string(s_.IHIST) + ", phase " + std::to_string(s_.IPHASE) +
                  ", last cycle " + std::to_string(last_cycle_) + ", " +
                  (s_.LTOF ? "time of flight, bank " + std::to_string(s_.NBANK) + " at 2theta " +
                                 number_text(s_.TWOTH)
                           : std::string("constant wavelength"));
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
    run_.origin.cell = where(src_.name(), cell_line);
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
    find_numbered(src_, kPhase, 10, 12, s_.IPHASE, "phase", run_.origin.phase,
                  join({"\"", kPhase, "\" of phase ", std::to_string(s_.IPHASE)}), no_check);
  }

  // A " Pattern#" line carries the pattern in columns 10-12 and the phase in columns
  // 23-26; in later versions the phase is the number after "Phase No.:" instead.
  bool pattern_phase_matches() {
    if (src_.I(10, 12) != s_.IHIST) return false;
    std::int64_t phase = 0;
    try {
      phase = get_I(src_.rec(), 23, 26);
    } catch (const FieldError& e) {
      std::optional<std::int64_t> labelled = phase_after_label(src_.rec());
      if (!labelled) src_.fail(e.what());
      phase = *labelled;
    }
    return phase == s_.IPHASE;
  }

  // The auxiliary file, at the " Phase no.:" line of the phase. A FullProf Fourier file
  // (" Phase No.:", then h k l |F| sigma and no phase angle) is refused for what it is.
  void open_auxiliary() {
    aux_.open(run_.AUXFILE);
    find_numbered(aux_, kAuxPhase, 12, 15, s_.IPHASE, "phase", run_.origin.phase,
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
      const std::string& rec = src_.rec();
      if (FullprofTable::is_end(rec)) break;
      if (!is_blank(rec) && !FullprofTable::is_heading(rec)) ++n;
    }
    return n;
  }

  void read_divisor() {
    fodiv_ = 1;
    read_control_values(run_, "the amplitude divisor", fodiv_);
    if (fodiv_ == 0 || !std::isfinite(fodiv_))
      run_.ctl.fail("the amplitude divisor must be a non-zero number, not " + number_text(fodiv_));
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

      // The end of the auxiliary block ends the table; the reflection in hand is not taken.
      if (!next_auxiliary_line()) {
        warn_short_block(1 + remaining_table_lines());
        aux_.close();
        return;
      }
      aux_.require_line_end();
      match_indices(j);
      const double amplitude = aux_.F(13, 24, 4);
      const CosSin phi = cos_sin_deg(aux_.F(37, 48, 4));
      s_.FoAbs[j] = (amplitude / fodiv_) * 10;
      if (run_.options.sigma == RunOptions::Sigma::refinement)
        s_.FcAbs[j] = (aux_.F(25, 36, 4) / fodiv_) * 10;
      if (!s_.LTOF) s_.Io[j] *= 1e10;
      s_.FoR[j] = s_.FoAbs[j] * phi.cos;
      s_.FoI[j] = s_.FoAbs[j] * phi.sin;
      s_.NREF1 = static_cast<std::int64_t>(j);
    }
    std::int64_t surplus = 0;
    while (next_auxiliary_line())
      if (!is_blank(aux_.rec())) ++surplus;
    if (surplus > 0)
      run_.warnings << "memprep: " << where(aux_.name(), 0) << ": warning: the block of phase "
                    << s_.IPHASE << " holds " << s_.NREF1 + surplus
                    << " reflection lines, the table of " << where(src_.name(), 0) << " "
                    << s_.NREF1 << ": the last " << surplus << " are not used\n";
    aux_.close();
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

  // An auxiliary line that gives h k l in its first twelve columns (3I4) must give those of
  // the table line it is paired with; blank columns give no index to compare.
  void match_indices(std::size_t j) {
    if (shows_indices(aux_.rec(), j)) return;
    if (is_blank(cols(aux_.rec(), 1, 12))) return;
    const std::int64_t h = aux_.I(1, 4), k = aux_.I(5, 8), l = aux_.I(9, 12);
    if (h == s_.H[j] && k == s_.K[j] && l == s_.L[j]) return;
    auto hkl = [](std::int64_t a, std::int64_t b, std::int64_t c) {
      return std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c);
    };
    aux_.fail("h k l " + hkl(h, k, l) + ", but " + where(src_.name(), src_.line()) +
              " is reflection " + hkl(s_.H[j], s_.K[j], s_.L[j]) +
              ": the auxiliary file must list the reflections of the table in its order");
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
  double fodiv_ = 1;
  FullprofTable table_{run_, src_};
};

}  // namespace

void read_fullprof_output(Run& run) {
  FullprofReader(run).read();
}

}  // namespace memprep
