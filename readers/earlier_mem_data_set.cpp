// An earlier MEM data set as the source. The header records are found by their
// first words and by their order, the reflections are re-derived (|Fo| from its parts, Io
// from sigma(|Fo|)), and d-spacings and wavelengths are computed from the cell and the
// detector bank's 2theta. The overlap groups that follow the reflection list are read into
// the store last.
#include "readers/earlier_mem_data_set.hpp"

#include <charconv>
#include <cmath>
#include <type_traits>

#include "control/control_layout.hpp"
#include "io/fields_decimal.hpp"
#include "readers/readers.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

// Word reads look at the first word of a record only; a record of up to this many
// characters is taken whole.
constexpr std::size_t kRecordWidth = 512;
// Reflection records are read in their first 62 columns.
constexpr std::size_t kReflectionWidth = 62;

bool is_space(char c) {
  return c == ' ' || c == '\t';
}

// A word read that needs a record: the end of the file is reported as "while <what>".
std::string_view need_word(TextSource& src, std::string_view what) {
  std::string_view word;
  if (!read_word(src, word))
    throw IoFailure(src.name(), 0, "end of file while " + std::string(what));
  return word;
}

// Word reads until the first word begins with `prefix` (case-sensitive).
void find_word(TextSource& src, std::string_view prefix) {
  std::string what = "looking for a record whose first word begins with \"";
  what.append(prefix).append("\"");
  while (!need_word(src, what).starts_with(prefix)) {
  }
}

// The six values of a reflection record.
struct ReflectionValues {
  std::int64_t h = 0, k = 0, l = 0;
  double fo_r = 0, fo_i = 0, sig = 0;
};

// The usual reflection record, six plain numbers (digits, sign, decimal point) separated by
// blanks or single commas, converted without the general free-format reader. Returns false
// for anything else (exponents, repeat counts, null values, slashes, missing or bad items),
// which the general reader then reads, with the same values, or reports.
bool read_plain_reflection(std::string_view rec, ReflectionValues& v) {
  std::string_view tok[6];
  std::size_t i = 0;
  const std::size_t size = rec.size();
  for (int n = 0; n < 6; ++n) {
    while (i < size && is_space(rec[i])) ++i;
    if (n > 0 && i < size && rec[i] == ',') {  // the separator of the value before
      ++i;
      while (i < size && is_space(rec[i])) ++i;
    }
    std::size_t j = i;
    while (j < size && !is_space(rec[j]) && rec[j] != ',') {
      char c = rec[j];
      if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
      ++j;
    }
    if (j == i) return false;
    tok[n] = rec.substr(i, j - i);
    i = j;
  }
  auto whole = [](std::string_view t, auto& out) {
    if (t.front() == '+') {
      t.remove_prefix(1);
      if (t.empty() || t.front() == '-') return false;
    }
    if constexpr (std::is_floating_point_v<std::remove_reference_t<decltype(out)>>) {
      // The free-format reader's own conversion, so the value is the one it would give.
      return decimal::read_real(t, {false}, out) == decimal::Status::ok;
    } else {
      const char* end = t.data() + t.size();
      const std::from_chars_result r = std::from_chars(t.data(), end, out);
      return r.ec == std::errc() && r.ptr == end;
    }
  };
  return whole(tok[0], v.h) && whole(tok[1], v.k) && whole(tok[2], v.l) && whole(tok[3], v.fo_r) &&
         whole(tok[4], v.fo_i) && whole(tok[5], v.sig);
}

// A number written with a decimal comma ("19,360") reads as two values, which shifts every
// value after it: a reflection line with more than six values and a comma between two
// digits is refused at that number.
void refuse_decimal_comma(const TextSource& src, std::string_view rec) {
  if (rec.find(',') == std::string_view::npos) return;  // the lines of nearly every file
  std::size_t values = 0;
  for (std::size_t i = 0; i < rec.size();) {
    while (i < rec.size() && (is_space(rec[i]) || rec[i] == ',')) ++i;
    if (i == rec.size()) break;
    ++values;
    while (i < rec.size() && !is_space(rec[i]) && rec[i] != ',') ++i;
  }
  if (values <= 6) return;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  for (std::size_t i = 1; i + 1 < rec.size(); ++i) {
    if (rec[i] != ',' || !digit(rec[i - 1]) || !digit(rec[i + 1])) continue;
    std::size_t first = i, last = i;
    while (first > 0 && !is_space(rec[first - 1])) --first;
    while (last + 1 < rec.size() && !is_space(rec[last + 1])) ++last;
    src.fail("columns " + std::to_string(first + 1) + "-" + std::to_string(last + 1) + ": '" +
             std::string(rec.substr(first, last - first + 1)) +
             "' is not a number: a decimal comma? write the decimal point as '.'");
  }
}

}  // namespace

std::string_view first_word(std::string_view rec) {
  std::size_t i = 0;
  while (i < rec.size() && is_space(rec[i])) ++i;
  std::size_t j = i;
  while (j < rec.size() && !is_space(rec[j]) && rec[j] != ',' && rec[j] != '/') ++j;
  return rec.substr(i, j - i);
}

bool read_word(TextSource& src, std::string_view& word) {
  for (;;) {
    if (!src.next(kRecordWidth)) return false;
    std::string_view rec = src.rec();
    bool blank = true;
    for (char c : rec)
      if (!is_space(c)) blank = false;
    if (blank) continue;
    word = first_word(rec);
    return true;
  }
}

namespace {

void read_bank_2theta(Run& run, const ControlLine& line) {
  Store& s = run.store;
  read_control_values(run, line.what, s.TWOTH);
  if (!(s.TWOTH > 0 && s.TWOTH < 180))
    run.ctl.fail("2theta = " + number_text(s.TWOTH) +
                 ": the 2theta of the detector bank must lie between 0 and 180 degrees");
}

// The control layout of an earlier MEM data set: the data set gives the rest.
constexpr ControlLine kLayout[] = {
    with_guide(kSourceLine, "the earlier MEM data set's name (containing `.zmemin` or `.ZMEMIN`)"),
    with_guide(kOutputLine, "the new MEM data set's name"),
    by_reader(kTitleLine),
    by_reader(kSymmetryLine),
    {.holds = Setting::bank_angle,
     .stage = Stage::reader,
     .what = "2theta of the detector bank",
     .read = read_bank_2theta,
     .guide = "`TWOTH`: 2θ of the detector bank in degrees (for the wavelengths)"},
    {.holds = Setting::tof_constants,
     .stage = Stage::reader,
     .what = "TOFLIN TOFQUAD TOFZERO",
     .read = read_tof_constants,
     .guide = "`TOFLIN TOFQUAD TOFZERO`: three reals; required, but no output depends on them"},
};

}  // namespace

std::span<const ControlLine> mem_data_set_layout() {
  return kLayout;
}

void read_mem_data_set(Run& run) {
  Store& s = run.store;
  TextSource& src = run.src;

  s.LTOF = true;

  // The settings of this kind that the source does not hold.
  read_control(run, Setting::title);
  read_control(run, Setting::symmetry);
  s.E = 1.0;
  read_control(run, Setting::bank_angle);
  read_control(run, Setting::tof_constants);

  // The header: lambda1 after the "#Initial" record, the cell after the "#a" record, then
  // the grid and the amplitudes each after one passed-over record.
  find_word(src, "#Initial");
  src.read_list_from_next("reading lambda1", s.LAMBDA1);
  run.origin[Setting::lambda1] = where(src.name(), src.line());
  find_word(src, "#a");
  src.read_list_from_next("reading the cell (a b c alpha beta gamma)", s.CELL[0], s.CELL[1],
                          s.CELL[2], s.CELL[3], s.CELL[4], s.CELL[5]);
  run.origin[Setting::cell] = where(src.name(), src.line());
  if (std::string fault = cell_fault(s.CELL); !fault.empty()) src.fail(fault);
  need_word(src, "looking for the heading of NX NY NZ");
  src.read_list_from_next("reading NX NY NZ", s.NX, s.NY, s.NZ);
  run.origin[Setting::grid] = where(src.name(), src.line());
  if (std::string fault = grid_fault(s.NX, s.NY, s.NZ); !fault.empty()) src.fail(fault);
  need_word(src, "looking for the heading of the amplitudes");
  src.read_list_from_next("reading the positive and negative amplitudes", s.AMPPOS, s.AMPNEG);
  run.origin[Setting::amplitudes] = where(src.name(), src.line());
  s.IAMP = s.AMPNEG == 0.0 ? 0 : 1;

  // Two passed-over records, then the mode record, which must begin with "2".
  need_word(src, "looking for the mode record");
  need_word(src, "looking for the mode record");
  if (!need_word(src, "reading the mode record").starts_with("2"))
    throw Stop(" This is not MEM-data set",
               where(src.name(), src.line()) +
                   ": the mode record of an earlier MEM data set begins with 2, this one with \"" +
                   std::string(first_word(src.rec())) + "\"");
  need_word(src, "looking for the heading of the reflection list");

  s.NREF1 = 0;
  s.E = 1.0;

  // The reflection list, ended by a record with "#" in column 1. A reflection whose Fo(r)
  // and Fo(i) are both 0.0 is not kept.
  for (;;) {
    src.need("reading the reflection list (it ends with a line beginning with \"#\")",
             kReflectionWidth);
    std::string_view rec = src.rec();
    if (starts(rec, "#")) break;
    src.require_line_end();
    ReflectionValues v;
    if (!read_plain_reflection(rec, v)) {
      src.read_all("reflection line: expected h k l Fo(r) Fo(i) sigma(|Fo|) in columns 1-62", v.h,
                   v.k, v.l, v.fo_r, v.fo_i, v.sig);
    }
    refuse_decimal_comma(src, cols(rec, 1, kReflectionWidth));
    const double fo_r = v.fo_r, fo_i = v.fo_i;
    if (fo_r == 0.0 && fo_i == 0.0) continue;
    const std::size_t n =
        s.add_reflection(src.line(), [&] { return where(src.name(), src.line()); });
    s.H[n] = v.h;
    s.K[n] = v.k;
    s.L[n] = v.l;
    s.FoR[n] = fo_r;
    s.FoI[n] = fo_i;
    s.SigFo[n] = v.sig;
    s.FoAbs[n] = std::sqrt(fo_r * fo_r + fo_i * fo_i);
    double x = 0.5 * s.FoAbs[n] / s.SigFo[n];
    // A negative sigma gives a negative Io, so that the reflection is left out and reported
    // rather than written with the sigma's sign lost.
    s.Io[n] = v.sig < 0 ? -(x * x) : x * x;
  }

  compute_d_spacings(run);
  run.chosen = "time of flight, bank at 2theta " + number_text(s.TWOTH);
  read_overlap_groups(run);
}

// Group lines, each read in its first 62 columns:
//   "{" in column 1          opens a group (the rest of the line is not read)
//   "}" in column 1          closes it: the brace as a word, then G'o' and SUM
//   anything else            a member: h k l M, counted to the current group
// A member line after a closing line still belongs to the current group: the group just
// closed, or the one before it when the group just closed was left out. Groups whose G'o'
// is 0.0 are left out with their members.
void read_overlap_groups(Run& run) {
  Store& s = run.store;
  TextSource& src = run.src;
  constexpr std::size_t kGroupWidth = 62;
  // Groups without members take no room in the store; their count is bounded by the field.
  constexpr std::int64_t kMostGroups = 99999;

  // The record after the end of the reflection list is passed over. A source that ends
  // before it has no groups.
  std::string_view word;
  if (!read_word(src, word)) return;

  // Members go into the store after the single reflections.
  std::int64_t IREF = s.NREF1;
  std::int64_t open_line = 0;  // source line of the current group's opening line
  bool closed = true;          // the current group has its closing line

  while (src.next(kGroupWidth)) {
    src.require_line_end();
    const std::string_view rec = src.rec();
    if (starts(rec, "{")) {
      if (!closed)
        src.fail("a group opens here while the group opened on line " + std::to_string(open_line) +
                 " has no closing line (\"}\")");
      s.groups.push_back({});
      open_line = src.line();
      closed = false;
      continue;
    }
    if (is_blank(rec))
      src.fail(
          "blank line in the overlap-group section, where every line opens or closes a "
          "group or holds a member (h k l M)");
    if (s.groups.empty())
      src.fail(std::string(starts(rec, "}") ? "a closing line" : "a member line") +
               " stands outside any group: no opening line (\"{\") before it, or every "
               "group before it has G'o' = 0 and is left out");
    Store::OverlapGroup& g = s.groups.back();
    if (starts(rec, "}")) {
      src.located("closing line: expected \"}\" G'o' SUM in columns 1-62", [&] {
        ListInput in(rec);
        std::string brace;
        if (!(in.next_word(brace) && in.next(g.Go) && in.next(g.Sum)))
          throw FieldError("value " + std::to_string(in.item()) + " is missing");
      });
      closed = true;
      if (g.Go == 0.0) {
        IREF -= g.NMem;
        s.groups.pop_back();
      } else if (static_cast<std::int64_t>(s.groups.size()) > kMostGroups) {
        src.fail("more than " + std::to_string(kMostGroups) +
                 " overlap groups (the group count of a MEM data set is a five-digit field)");
      }
    } else {
      Store::require_capacity(IREF + 1, [&] { return where(src.name(), src.line()); });
      const std::size_t n = static_cast<std::size_t>(IREF + 1);
      src.read_all("member line: expected h k l M in columns 1-62", s.H[n], s.K[n], s.L[n],
                   s.MRef[n]);
      s.SrcLine[n] = src.line();
      s.reached(n);
      IREF = static_cast<std::int64_t>(n);
      ++g.NMem;
    }
  }
  if (!closed)
    throw IoFailure(src.name(), open_line,
                    "the group opened on this line has no closing line (\"}\") before the "
                    "end of the file");
}

void compute_d_spacings(Run& run) {
  Store& s = run.store;
  if (s.NREF1 <= 0) return;
  d_spacings_from_cell(s, s.NREF1);
  const double sin_theta = sin_deg(s.TWOTH / 2);
  for (std::int64_t j = 1; j <= s.NREF1; ++j) s.Wavelength[j] = 2 * s.Dspacing[j] * sin_theta;
}

}  // namespace memprep
