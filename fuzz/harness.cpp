#include "fuzz/harness.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

#include "control/control_file.hpp"
#include "driver/options.hpp"
#include "driver/run.hpp"
#include "driver/source_kinds.hpp"
#include "driver/summary.hpp"
#include "io/errors.hpp"
#include "io/fields.hpp"

namespace memprep::fuzz {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSeparator = "\n%%%%\n";

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "memprep fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The private working directory, made once under $TMPDIR (or /tmp) and removed at exit.
struct WorkDir {
  WorkDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/memprep-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) fault("cannot create a working directory");
    path = pattern;
  }
  ~WorkDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

WorkDir& work_dir() {
  static WorkDir dir;
  return dir;
}

// Enters the working directory for one run and returns to where the fuzzer works (its corpus
// and artifact paths may be relative) afterwards.
class Inside {
 public:
  explicit Inside(const fs::path& dir) : home_(::open(".", O_RDONLY | O_DIRECTORY)) {
    if (home_ < 0 || ::chdir(dir.c_str()) != 0) fault("cannot enter the working directory");
  }
  ~Inside() {
    if (::fchdir(home_) != 0) fault("cannot leave the working directory");
    ::close(home_);
  }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;

 private:
  int home_;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spill(const fs::path& p, std::string_view content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) fault("cannot write " + p.string());
}

void empty_directory(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// The first significant control lines (the file names, the source's first), as far as they
// can be read.
std::vector<std::string> control_names(const std::string& control) {
  static std::ostringstream quiet;
  static Run probe(quiet);
  probe.ctl.open_text("run.ctl", control);
  std::vector<std::string> names;
  try {
    std::string name;
    for (int i = 0; i < 3; ++i) {
      read_control_line(probe, name, TextSource::kLongestRecord, "a file name");
      names.push_back(name);
    }
  } catch (const IoFailure&) {
  }
  return names;
}

// ---- The options ----------------------------------------------------------------------

// One set of the options that form overlap groups and choose the uncertainties.
struct OptionSet {
  bool sigma = false, fwhm = false, d = false;
  std::string words() const {
    std::string w;
    if (sigma) w += " --sigma refinement";
    if (fwhm) w += " --overlap-fwhm";
    if (d) w += " --overlap-d";
    return w.empty() ? " (no options)" : w;
  }
};

// Every set of options a kind accepts, the empty set first: what its row says it gives.
std::vector<OptionSet> option_sets(const SourceKindRow& kind) {
  const bool groups = kind.gives.multiplicities && !kind.writes.overlap_groups;
  std::vector<OptionSet> sets;
  for (int sigma = 0; sigma <= int{kind.gives.intensity_sigmas}; ++sigma)
    for (int fwhm = 0; fwhm <= int{groups && kind.gives.peak_widths}; ++fwhm)
      for (int d = 0; d <= int{groups}; ++d) sets.push_back({sigma == 1, fwhm == 1, d == 1});
  return sets;
}

// An option value from two bytes, as a user would type it: mostly four digits between 1e-4
// and 1e3, evenly in the logarithm; the rest round values and the extremes of a double.
std::string option_value(std::uint8_t hi, std::uint8_t lo) {
  static constexpr double kChosen[] = {0.001, 0.002, 0.005, 0.01,  0.02,   0.05,
                                       0.1,   0.2,   0.5,   1,     2,      5,
                                       10,    100,   1e-30, 1e-31, 1e-300, 5e-324,
                                       1e31,  1e32,  1e100, 1e307, 1e308,  1.7976931348623157e308};
  constexpr unsigned kSpread = 224 * 256;
  const unsigned u = hi * 256u + lo;
  char text[40];
  if (u < kSpread)
    std::snprintf(text, sizeof text, "%.4g", std::pow(10.0, -4 + 7.0 * u / kSpread));
  else
    std::snprintf(text, sizeof text, "%.17g",
                  kChosen[(u - kSpread) % (sizeof kChosen / sizeof kChosen[0])]);
  return text;
}

constexpr std::size_t kOptionBytes = 5;

// The options of the command line, chosen by the input's first five bytes among the sets
// the kind accepts: the set, then the first and the second threshold. Parsed as memprep
// parses its arguments.
RunOptions choose_options(const SourceKindRow* kind, const std::uint8_t* head, OptionSet& set) {
  set = {};
  if (kind) {
    const std::vector<OptionSet> sets = option_sets(*kind);
    set = sets[head[0] % sets.size()];
  }
  std::vector<std::string> args{"memprep"};
  const std::string first = option_value(head[1], head[2]);
  const std::string second = option_value(head[3], head[4]);
  if (set.sigma) args.insert(args.end(), {"--sigma", "refinement"});
  if (set.fwhm) args.insert(args.end(), {"--overlap-fwhm", first});
  if (set.d) args.insert(args.end(), {"--overlap-d", set.fwhm ? second : first});
  args.push_back("run.ctl");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    return parse_command_line(static_cast<int>(argv.size()), argv.data()).run;
  } catch (const UsageError& e) {
    fault(std::string("memprep refuses the options the harness chose: ") + e.what());
  }
}

// How often each kind and option set was run and converted; written at exit, so that a
// campaign shows which sets it reached.
struct Tally {
  std::map<std::string, std::pair<long, long>> counts;  // runs, conversions
  ~Tally() {
    for (const auto& [what, n] : counts)
      std::fprintf(stderr, "memprep fuzz: options %s: %ld runs, %ld converted\n", what.c_str(),
                   n.first, n.second);
  }
};

Tally& tally() {
  static Tally t;
  return t;
}

// ---- What a successful run wrote --------------------------------------------------------

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos) fault("the MEM data set does not end with a line end");
    lines.push_back(text.substr(0, nl));
    text.remove_prefix(nl + 1);
  }
  return lines;
}

// The count in a count line of `file` (an I5 field).
std::int64_t count_at(const std::vector<std::string_view>& lines, std::size_t i, const char* what,
                      const char* file = "the MEM data set") {
  if (i >= lines.size()) fault(std::string(file) + " ends before " + what);
  try {
    return parse_I(lines[i]);
  } catch (const FieldError&) {
    fault(std::string(file) + "'s " + what + " is not a count: " + std::string(lines[i]));
  }
}

// Columns first..last (1-based) of a line, blanks around them dropped.
std::string_view field(std::string_view line, std::size_t first, std::size_t last) {
  if (line.size() < first) return {};
  std::string_view f = line.substr(first - 1, last - first + 1);
  while (!f.empty() && f.front() == ' ') f.remove_prefix(1);
  while (!f.empty() && f.back() == ' ') f.remove_suffix(1);
  return f;
}

// One reflection line as written: h k l and the amplitudes, with the decimals they carry.
struct Written {
  std::int64_t h = 0, k = 0, l = 0;
  double re = 0, im = 0, abs = 0;
  int decimals = 0;
  std::size_t line = 0;  // 1-based
};

[[noreturn]] void bad_line(const char* file, std::size_t line, std::string_view text,
                           const std::string& what) {
  fault(std::string(file) + " line " + std::to_string(line) + ": " + what + ": " +
        std::string(text));
}

double real_at(const char* file, std::size_t line, std::string_view text, std::size_t first,
               std::size_t last, const char* what) {
  const std::string_view f = field(text, first, last);
  double v = 0;
  const auto r = std::from_chars(f.data(), f.data() + f.size(), v);
  if (f.empty() || r.ec != std::errc() || r.ptr != f.data() + f.size())
    bad_line(file, line, text, std::string(what) + " is not a number");
  return v;
}

std::int64_t integer_at(const char* file, std::size_t line, std::string_view text,
                        std::size_t first, std::size_t last) {
  const std::string_view f = field(text, first, last);
  std::int64_t v = 0;
  const auto r = std::from_chars(f.data(), f.data() + f.size(), v);
  if (f.empty() || r.ec != std::errc() || r.ptr != f.data() + f.size())
    bad_line(file, line, text, "h k l or M is not an integer");
  return v;
}

// h k l and Fo(r), Fo(i), |Fo| from columns 16-30, 31-45 and abs_first..abs_first+14, with
// what every amplitude must be: |Fo| not negative and, where the converter derived it,
// the modulus of (Fo(r), Fo(i)) to the decimals written.
Written reflection_at(const char* file, const std::vector<std::string_view>& lines, std::size_t i,
                      std::size_t abs_first, bool derived) {
  const std::string_view t = lines[i];
  Written w;
  w.line = i + 1;
  w.h = integer_at(file, w.line, t, 1, 5);
  w.k = integer_at(file, w.line, t, 6, 10);
  w.l = integer_at(file, w.line, t, 11, 15);
  w.re = real_at(file, w.line, t, 16, 30, "Fo(r)");
  w.im = real_at(file, w.line, t, 31, 45, "Fo(i)");
  w.abs = real_at(file, w.line, t, abs_first, abs_first + 14, "|Fo|");
  const std::string_view a = field(t, abs_first, abs_first + 14);
  const std::size_t point = a.find('.');
  w.decimals = point == std::string_view::npos ? 0 : static_cast<int>(a.size() - point - 1);
  if (a.front() == '-') bad_line(file, w.line, t, "|Fo| is negative");
  // Each of the three is rounded by half a unit of its last decimal: the modulus of the
  // written parts lies within sqrt(2) such halves of the modulus of the exact ones.
  const double half = 0.5 * std::pow(10.0, -w.decimals);
  const double modulus = std::hypot(w.re, w.im);
  if (derived &&
      std::fabs(modulus - w.abs) > (1 + std::sqrt(2.0)) * half * (1 + 1e-9) + 1e-12 * w.abs)
    bad_line(
        file, w.line, t,
        "|Fo| is not |(Fo(r), Fo(i))| = " + std::to_string(modulus) + " to the decimals written");
  return w;
}

// The title (line 2 of the MEM data set and of the companion file) is the user's text, but
// no control byte (a tab aside), and nothing a reader of the file could take for one of its
// markers.
void check_title(const char* file, const std::vector<std::string_view>& lines) {
  if (lines.size() < 2) fault(std::string(file) + " ends before its title");
  const std::string_view t = lines[1];
  for (std::size_t i = 0; i < t.size(); ++i) {
    const auto c = static_cast<unsigned char>(t[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7f)
      bad_line(file, 2, t,
               "the title holds the control byte " + std::to_string(c) + " at position " +
                   std::to_string(i + 1));
  }
  if (!t.starts_with('#')) return;
  std::string_view word = t.substr(1);
  while (word.starts_with(' ')) word.remove_prefix(1);
  for (std::string_view marker : {"NREF1", "NREF2", "NREF3", "Title"})
    if (word.starts_with(marker)) bad_line(file, 2, t, "the title reads as a marker");
}

// What a MEM data set holds for the checks beside it.
struct MemDataSet {
  std::vector<Written> singles;
  std::vector<std::array<std::int64_t, 3>> members;  // h k l of every group member
};

// What a scientist takes from a MEM data set: every number is a number (no NaN, no infinity,
// no asterisks of a field too narrow; the title, line 2, is the user's own text); the counts
// after "# NREF1" and "# NREF2" match the lines that follow them; the title is a title;
// |Fo| is not negative and,
// unless the source gives it (`derived` false), the modulus of (Fo(r), Fo(i)); every
// sigma(|Fo|) and SUM is above 0 as written, G'o' not negative.
MemDataSet check_mem_data_set(const std::string& text, bool derived) {
  const char* file = "the MEM data set";
  const std::vector<std::string_view> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 1) continue;
    for (std::string_view bad : {"NaN", "Inf", "*"})
      if (lines[i].find(bad) != std::string_view::npos)
        fault("line " + std::to_string(i + 1) + " of the MEM data set holds " + std::string(bad) +
              ": " + std::string(lines[i]));
  }
  check_title(file, lines);
  MemDataSet m;
  std::size_t i = 2;
  while (i < lines.size() && lines[i] != "# NREF1") ++i;
  const std::int64_t nref1 = count_at(lines, i + 1, "NREF1");
  i += 3;  // the count and the column heading
  for (; i < lines.size() && lines[i] != "# NREF2"; ++i) {
    m.singles.push_back(reflection_at(file, lines, i, 61, derived));
    if (!(real_at(file, i + 1, lines[i], 46, 60, "sigma(|Fo|)") > 0))
      bad_line(file, i + 1, lines[i], "sigma(|Fo|) is not above 0");
  }
  if (static_cast<std::int64_t>(m.singles.size()) != nref1)
    fault("NREF1 is " + std::to_string(nref1) + ", but " + std::to_string(m.singles.size()) +
          " reflection lines follow");
  if (i == lines.size()) return m;
  const std::int64_t nref2 = count_at(lines, i + 1, "NREF2");
  i += 3;
  std::int64_t groups = 0;
  for (; i < lines.size(); ++groups) {
    const std::int64_t members = count_at(lines, i, "member count");
    if (members < 0 || static_cast<std::size_t>(members) > lines.size() - i - 1)
      fault("a group of " + std::to_string(members) + " members runs past the end");
    ++i;
    // The first member's line carries G'o' and SUM; a group an earlier MEM data set gives
    // without members is copied as its count alone. G'o' is above 0, but a group of weak
    // reflections may show 0 in the decimals written: only a sign is wrong.
    if (members > 0 && (real_at(file, i + 1, lines[i], 16, 30, "G'o'") < 0 ||
                        field(lines[i], 16, 30).starts_with('-')))
      bad_line(file, i + 1, lines[i], "G'o' is negative");
    if (members > 0 && !(real_at(file, i + 1, lines[i], 31, 45, "SUM") > 0))
      bad_line(file, i + 1, lines[i], "SUM is not above 0");
    for (std::int64_t j = 0; j < members; ++j, ++i)
      m.members.push_back({integer_at(file, i + 1, lines[i], 1, 5),
                           integer_at(file, i + 1, lines[i], 6, 10),
                           integer_at(file, i + 1, lines[i], 11, 15)});
  }
  if (groups != nref2)
    fault("NREF2 is " + std::to_string(nref2) + ", but " + std::to_string(groups) +
          " groups follow");
  return m;
}

// Two writings of one amplitude, each rounded to its own decimals, agree.
bool same_amplitude(double a, int da, double b, int db) {
  return std::fabs(a - b) <= (0.5 * std::pow(10.0, -da) + 0.5 * std::pow(10.0, -db)) * (1 + 1e-9) +
                                 1e-12 * std::fabs(a);
}

bool same_reflection(const Written& a, const Written& b) {
  return a.h == b.h && a.k == b.k && a.l == b.l &&
         same_amplitude(a.re, a.decimals, b.re, b.decimals) &&
         same_amplitude(a.im, a.decimals, b.im, b.decimals) &&
         same_amplitude(a.abs, a.decimals, b.abs, b.decimals);
}

// The companion file: numbers only, its count right, |Fo| the modulus of (Fo(r), Fo(i)) and
// not negative, and the reflections of the MEM data set: the single reflections in their
// order with the same values, every group member once.
void check_companion_file(const std::string& text, const MemDataSet& mem) {
  const char* file = "the companion file";
  const std::vector<std::string_view> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 1) continue;
    for (std::string_view bad : {"NaN", "Inf", "*"})
      if (lines[i].find(bad) != std::string_view::npos)
        bad_line(file, i + 1, lines[i], "it holds " + std::string(bad));
  }
  check_title(file, lines);
  std::size_t i = 2;
  while (i < lines.size() && lines[i] != "# NREF1") ++i;
  const std::int64_t nref1 = count_at(lines, i + 1, "NREF1", file);
  i += 3;
  std::vector<Written> listed;
  for (; i < lines.size() && lines[i] != "# NREF2"; ++i)
    listed.push_back(reflection_at(file, lines, i, 46, true));
  if (static_cast<std::int64_t>(listed.size()) != nref1)
    fault("the companion file's NREF1 is " + std::to_string(nref1) + ", but " +
          std::to_string(listed.size()) + " reflection lines follow");
  if (listed.size() != mem.singles.size() + mem.members.size())
    fault("the companion file lists " + std::to_string(listed.size()) +
          " reflections, the MEM data set " + std::to_string(mem.singles.size()) + " and " +
          std::to_string(mem.members.size()) + " group members");
  std::multiset<std::array<std::int64_t, 3>> members(mem.members.begin(), mem.members.end());
  std::size_t next = 0;  // the next single reflection of the MEM data set
  for (const Written& w : listed) {
    if (next < mem.singles.size() && same_reflection(mem.singles[next], w)) {
      ++next;
      continue;
    }
    auto member = members.find({w.h, w.k, w.l});
    if (member == members.end())
      fault("the companion file's line " + std::to_string(w.line) + " (" + std::to_string(w.h) +
            " " + std::to_string(w.k) + " " + std::to_string(w.l) +
            ") is neither the next single reflection of the MEM data set, at its line " +
            (next < mem.singles.size() ? std::to_string(mem.singles[next].line) : "none") +
            ", nor a group member");
    members.erase(member);
  }
}

// The reflections of a binary structure-factor file, as its records give them.
std::vector<Written> fos_reflections(const std::string& file) {
  std::vector<Written> r;
  std::size_t pos = 0;
  auto record = [&]() -> std::string_view {
    std::uint32_t n = 0;
    if (file.size() - pos < 4) fault("the binary source of a successful run ends early");
    std::memcpy(&n, file.data() + pos, 4);
    if (file.size() - pos - 4 < std::size_t{n} + 4)
      fault("the binary source of a successful run ends early");
    std::string_view data(file.data() + pos + 4, n);
    pos += 8 + std::size_t{n};
    return data;
  };
  for (int i = 0; i < 6; ++i) record();
  std::int64_t n = 0;
  std::memcpy(&n, record().data(), 8);
  for (std::int64_t i = 0; i < n; ++i) {
    const std::string_view d = record();
    std::int64_t hkl[3];
    double v[4];
    std::memcpy(hkl, d.data(), 24);
    std::memcpy(v, d.data() + 24, 32);
    r.push_back({hkl[0], hkl[1], hkl[2], v[0], v[1], v[2], 17, 0});
  }
  return r;
}

// A binary source's amplitudes are written as they stand: each reflection of the MEM data
// set is the next one of the source (those left out passed over) with its values.
void check_as_given(const MemDataSet& mem, const std::vector<Written>& source) {
  std::size_t next = 0;
  for (const Written& w : mem.singles) {
    while (next < source.size() && !same_reflection(w, source[next])) ++next;
    if (next == source.size())
      fault("line " + std::to_string(w.line) +
            " of the MEM data set is no reflection of the binary source as it stands");
    ++next;
  }
}

// The summary gives every threshold the run used as the number it was given.
void check_summary(const std::string& text, const RunOptions& o) {
  for (double v : {o.overlap_fwhm, o.overlap_d}) {
    if (v == 0) continue;
    bool found = false;
    for (std::size_t at = 0; at < text.size() && !found;) {
      const std::size_t end = text.find_first_of(" \n", at);
      const std::string_view word(text.data() + at,
                                  (end == std::string::npos ? text.size() : end) - at);
      double w = 0;
      const auto r = std::from_chars(word.data(), word.data() + word.size(), w);
      found = !word.empty() && r.ec == std::errc() && r.ptr == word.data() + word.size() && w == v;
      at = end == std::string::npos ? text.size() : end + 1;
    }
    if (!found) {
      char given[40];
      std::snprintf(given, sizeof given, "%.17g", v);
      fault(std::string("the summary does not give the threshold ") + given + ": " + text);
    }
  }
}

}  // namespace

std::string fixed_source(const std::string& name) {
  fs::path p = fs::path(MEMPREP_FUZZ_SOURCES) / name;
  if (!fs::is_regular_file(p)) fault("missing fixed source " + p.string());
  return slurp(p);
}

int run_one(const Target& target, const std::uint8_t* data, std::size_t size) {
  static const bool started = [&] {
    for (SourceKind k : target.kinds)
      for (const OptionSet& set : option_sets(source_kind(k)))
        tally().counts[std::string(source_kind(k).name.fragments[0]) + set.words()];
    return true;
  }();
  (void)started;
  if (size < kOptionBytes) return -1;
  const std::uint8_t* option_bytes = data;
  std::string_view input(reinterpret_cast<const char*>(data) + kOptionBytes, size - kOptionBytes);

  // Split the input into its files.
  std::map<std::string, std::string> written;
  for (std::size_t i = 0; i < target.parts.size(); ++i) {
    bool last = i + 1 == target.parts.size();
    std::size_t sep = last ? std::string_view::npos : input.find(kSeparator);
    if (sep == std::string_view::npos) {
      written[target.parts[i]] = std::string(input);
      break;
    }
    written[target.parts[i]] = std::string(input.substr(0, sep + 1));
    input.remove_prefix(sep + kSeparator.size());
  }
  for (const auto& [name, content] : target.fixed) written.emplace(name, content);

  // Only plain names are run: a path could reach any file of the machine. The source's name
  // gives the kind whose options are tried.
  const SourceKindRow* named_kind = nullptr;
  auto ctl = written.find("run.ctl");
  if (ctl != written.end()) {
    const std::vector<std::string> names = control_names(ctl->second);
    for (const std::string& name : names)
      if (name.find('/') != std::string::npos) return -1;
    if (!names.empty()) {
      try {
        named_kind = &choose_source_kind(names[0], "run.ctl");
      } catch (const Stop&) {
      }
    }
  }
  OptionSet set;
  const RunOptions options = choose_options(named_kind, option_bytes, set);
  std::pair<long, long>* counts = nullptr;
  if (named_kind) {
    // Only the kinds of the target's sources are tallied.
    auto c = tally().counts.find(std::string(named_kind->name.fragments[0]) + set.words());
    if (c != tally().counts.end()) counts = &c->second;
  }
  if (counts) ++counts->first;

  WorkDir& dir = work_dir();
  Inside inside(dir.path);
  empty_directory(".");
  for (const auto& [name, content] : written) spill(name, content);

  // The run's files are closed, and an uncommitted temporary file removed, when the Run goes
  // away, as at the end of the program.
  std::string outfile, fosfile, srcfile, summary_text;
  SourceKind kind = SourceKind::none;
  bool ok = false;
  {
    std::ostringstream console;
    Run run(console);
    run.CTLFILE = "run.ctl";
    run.options = options;
    static const bool verbose = std::getenv("MEMPREP_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "options%s\n", set.words().c_str());
    try {
      run_converter(run);
      ok = true;
      summary_text = summary(run);
      if (verbose) std::fprintf(stderr, "converted\n%s", summary_text.c_str());
    } catch (const Stop& e) {
      if (verbose) std::fprintf(stderr, "stopped: %s\n", e.what());
    } catch (const IoFailure& e) {
      if (verbose) std::fprintf(stderr, "failed: %s\n", e.what());
    } catch (const std::exception& e) {
      fault(std::string("a run ended with an unexpected exception: ") + e.what());
    } catch (...) {
      fault("a run ended with an unknown exception");
    }
    outfile = run.OUTFILE;
    fosfile = run.FOSFILE;
    srcfile = run.SRCFILE;
    kind = run.KIND;
  }

  std::set<std::string> after = entries(".");
  for (const std::string& name : after)
    if (name.starts_with(".memprep-") && !written.count(name) &&
        !(ok && (name == outfile || name == fosfile)))
      fault("temporary file left behind: " + name);

  if (!ok) {
    for (const std::string& name : after)
      if (!written.count(name)) fault("a failed run left the file '" + name + "'");
    for (const auto& [name, content] : written) {
      if (!after.count(name)) fault("a failed run removed the input '" + name + "'");
      if (slurp(name) != content) fault("a failed run changed the input '" + name + "'");
    }
  } else {
    if (!after.count(outfile)) fault("a successful run left no MEM data set '" + outfile + "'");
    const bool companion = source_kind(kind).writes.companion;
    if (companion && !after.count(fosfile))
      fault("a successful run left no companion file '" + fosfile + "'");
    for (const std::string& name : after)
      if (!written.count(name) && name != outfile && !(companion && name == fosfile))
        fault("a successful run left the unexpected file '" + name + "'");
    const bool as_given = kind == SourceKind::fos_file;
    const MemDataSet mem = check_mem_data_set(slurp(outfile), !as_given);
    if (companion) check_companion_file(slurp(fosfile), mem);
    if (as_given) check_as_given(mem, fos_reflections(slurp(srcfile)));
    check_summary(summary_text, options);
    if (counts) ++counts->second;
  }
  empty_directory(".");
  return 0;
}

}  // namespace memprep::fuzz
