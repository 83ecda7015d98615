// Kind Z: an earlier MEM data set as the source. The header records are found by their
// first words and by their order, the reflections are re-derived (|Fo| from its parts, Io
// from sigma(|Fo|)), and d-spacings and wavelengths are computed from the cell and the
// detector bank's 2theta. The overlap groups that follow the reflection list are read
// afterwards by copy_overlap_groups.
#include "readers/mem_data_set.hpp"

#include <charconv>
#include <cmath>
#include <numbers>
#include <type_traits>

#include "driver/control_file.hpp"
#include "readers/readers.hpp"

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

// A free-format read of `vars` starting with the next record and taking further records
// as needed. A slash ends the list and leaves the remaining variables unchanged.
template <class... Vars>
void read_values(TextSource& src, std::string_view what, Vars&... vars) {
  ListInput in = src.list_from_next(what);
  try {
    (in.next(vars), ...);
  } catch (const FieldError& e) {
    src.fail(std::string(what) + ": " + e.what());
  }
}

// sin and cos of an angle in degrees. The multiples of 30 degrees take their exact values
// (cos 90 = 0, cos 120 = -0.5), so that a right angle adds no spurious cross terms.
struct DegreeTrig {
  double sin, cos;
};

DegreeTrig trig_deg(double x) {
  static const double half_root3 = std::sqrt(3.0) / 2;
  static const double table[12] = {0, 0.5,  half_root3,  1,  half_root3,  0.5,
                                   0, -0.5, -half_root3, -1, -half_root3, -0.5};
  double r = std::fmod(x, 360.0);
  if (r < 0) r += 360.0;
  if (r == std::floor(r) && std::fmod(r, 30.0) == 0) {
    int k = static_cast<int>(r / 30) % 12;
    return {table[k], table[(k + 3) % 12]};
  }
  double rad = r * (std::numbers::pi / 180);
  return {std::sin(rad), std::cos(rad)};
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
    const char* end = t.data() + t.size();
    std::from_chars_result r;
    if constexpr (std::is_floating_point_v<std::remove_reference_t<decltype(out)>>)
      r = std::from_chars(t.data(), end, out, std::chars_format::fixed);
    else
      r = std::from_chars(t.data(), end, out);
    return r.ec == std::errc() && r.ptr == end;
  };
  return whole(tok[0], v.h) && whole(tok[1], v.k) && whole(tok[2], v.l) && whole(tok[3], v.fo_r) &&
         whole(tok[4], v.fo_i) && whole(tok[5], v.sig);
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

void read_mem_data_set(Run& run) {
  Store& s = run.store;
  TextSource& src = run.src;

  s.LTOF = true;

  // The settings of this kind that the source does not hold.
  read_control_line(run, s.TITLE, 70, "the title");
  read_control_line(run, run.LINE, 512, "the symmetry line");
  decode_symmetry_line(run);
  s.E = 1.0;
  read_control_values(run, "2theta of the detector bank", s.TWOTH);
  read_control_values(run, "TOFLIN TOFQUAD TOFZERO", s.TOFLIN, s.TOFQUAD, s.TOFZERO);

  // The header: lambda1 after the "#Initial" record, the cell after the "#a" record, then
  // the grid and the amplitudes each after one passed-over record.
  find_word(src, "#Initial");
  read_values(src, "reading lambda1", s.LAMBDA1);
  find_word(src, "#a");
  read_values(src, "reading the cell (a b c alpha beta gamma)", s.CELL[0], s.CELL[1], s.CELL[2],
              s.CELL[3], s.CELL[4], s.CELL[5]);
  need_word(src, "looking for the heading of NX NY NZ");
  read_values(src, "reading NX NY NZ", s.NX, s.NY, s.NZ);
  need_word(src, "looking for the heading of the amplitudes");
  read_values(src, "reading the positive and negative amplitudes", s.AMPPOS, s.AMPNEG);
  s.IAMP = s.AMPNEG == 0.0 ? 0 : 1;

  // Two passed-over records, then the mode record, which must begin with "2".
  need_word(src, "looking for the mode record");
  need_word(src, "looking for the mode record");
  if (!need_word(src, "reading the mode record").starts_with("2"))
    throw Stop(" This is not MEM-data set");
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
    ReflectionValues v;
    if (!read_plain_reflection(rec, v)) {
      try {
        ListInput in(rec);
        bool all = in.next(v.h) && in.next(v.k) && in.next(v.l) && in.next(v.fo_r) &&
                   in.next(v.fo_i) && in.next(v.sig);
        if (!all) throw FieldError("value " + std::to_string(in.item()) + " is missing");
      } catch (const FieldError& e) {
        src.fail("reflection line: expected h k l Fo(r) Fo(i) sigma(|Fo|) in columns 1-62: " +
                 std::string(e.what()));
      }
    }
    const double fo_r = v.fo_r, fo_i = v.fo_i;
    if (fo_r == 0.0 && fo_i == 0.0) continue;
    if (s.NREF1 >= MAXREF) throw Stop(capacity_message());
    std::int64_t n = s.NREF1 + 1;
    s.H[n] = v.h;
    s.K[n] = v.k;
    s.L[n] = v.l;
    s.FoR[n] = fo_r;
    s.FoI[n] = fo_i;
    s.SigFo[n] = v.sig;
    s.FoAbs[n] = std::sqrt(fo_r * fo_r + fo_i * fo_i);
    double x = 0.5 * s.FoAbs[n] / s.SigFo[n];
    s.Io[n] = x * x;
    s.NREF1 = n;
  }

  compute_d_spacings(run);
}

void compute_d_spacings(Run& run) {
  Store& s = run.store;
  if (s.NREF1 <= 0) return;
  const double a = s.CELL[0], b = s.CELL[1], c = s.CELL[2];
  const DegreeTrig al = trig_deg(s.CELL[3]), be = trig_deg(s.CELL[4]), ga = trig_deg(s.CELL[5]);
  const double ca = al.cos, cb = be.cos, cg = ga.cos;
  const double sa = al.sin, sb = be.sin, sg = ga.sin;

  const double abc = a * b * c;
  const double v2 = abc * abc * (1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  const double bcs = b * c * sa, acs = a * c * sb, abs_ = a * b * sg;
  const double A = bcs * bcs, B = acs * acs, C = abs_ * abs_;
  const double P = 2 * a * b * (c * c) * (ca * cb - cg);
  const double Q = 2 * (a * a) * b * c * (cb * cg - ca);
  const double R = 2 * a * (b * b) * c * (ca * cg - cb);
  const double sin_theta = trig_deg(s.TWOTH / 2).sin;

  for (std::int64_t j = 1; j <= s.NREF1; ++j) {
    const double h = static_cast<double>(s.H[j]);
    const double k = static_cast<double>(s.K[j]);
    const double l = static_cast<double>(s.L[j]);
    const double S = A * (h * h) + B * (k * k) + C * (l * l) + P * h * k + Q * k * l + R * h * l;
    s.Dspacing[j] = std::sqrt(v2 / S);
    s.Wavelength[j] = 2 * s.Dspacing[j] * sin_theta;
  }
}

}  // namespace memprep
