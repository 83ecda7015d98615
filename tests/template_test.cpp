// memprep --template on the source of each shipped example of a kind it writes templates
// for: the template holds placeholders and a run stops at the first one; with the
// placeholders replaced by the lines of the example's control file, every value the template
// filled in equals the example's, and the run writes the example's expected outputs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>

#include "support.hpp"

namespace memprep::test {
namespace {

struct ControlLine {
  std::size_t line = 0;  // 1-based line of the file
  std::string text;      // the whole line
  std::string value;     // before the comment, trimmed
};

// The significant lines of a control file, as a run reads them.
std::vector<ControlLine> significant_lines(const std::string& control) {
  std::vector<ControlLine> lines;
  std::istringstream in(control);
  std::string text;
  for (std::size_t n = 1; std::getline(in, text); ++n) {
    std::string value = text.substr(0, text.find('#'));
    value.erase(0, value.find_first_not_of(' '));
    value.erase(value.find_last_not_of(' ') + 1);
    if (!value.empty()) lines.push_back({n, text, value});
  }
  return lines;
}

bool placeholder(const std::string& value) {
  return value.front() == '<' && value.back() == '>';
}

// The same words, numbers compared by value ("1.540560" and "1.54056" are one wavelength).
bool same_values(const std::string& a, const std::string& b) {
  std::istringstream wa(a), wb(b);
  std::string x, y;
  for (;;) {
    const bool hx = static_cast<bool>(wa >> x), hy = static_cast<bool>(wb >> y);
    if (!hx || !hy) return hx == hy;
    if (x == y) continue;
    char *ex = nullptr, *ey = nullptr;
    const double dx = std::strtod(x.c_str(), &ex), dy = std::strtod(y.c_str(), &ey);
    if (*ex != '\0' || *ey != '\0' || dx != dy) return false;
  }
}

TEST(Template, FilledInFromTheExampleControlFileConvertsAsTheExample) {
  struct Row {
    std::string dir, control, source;
    // Significant lines where the example chose another value than the template (1-based).
    std::set<std::size_t> chosen;
  } rows[] = {
      {"out-xray", "ceria.ctl", "ceria.out", {}},
      {"out-tof", "nickel.ctl", "nickel.out", {4, 11}},  // title, pattern 2
      {"lst-xray", "silicon.ctl", "silicon.lst", {3}},   // title
      {"lst-neutron", "srtio3.ctl", "srtio3.lst", {3}},  // title
      {"lst-tof", "mno.ctl", "mno.lst", {3}},            // title
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.dir);
    const fs::path example = fs::path(MEMPREP_EXAMPLES_DIR) / r.dir;
    TempDir work;
    for (const auto& e : fs::directory_iterator(example))
      if (e.is_regular_file()) fs::copy_file(e.path(), work.path / e.path().filename());

    const Result made = run_memprep(work.path, {"--template", r.source});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.err, "");
    const std::vector<ControlLine> got = significant_lines(made.out);
    const std::vector<ControlLine> want = significant_lines(read_file(example / r.control));
    ASSERT_EQ(got.size(), want.size()) << made.out;

    // As written, the template is refused at its first placeholder.
    std::size_t first = 0;
    while (first < got.size() && !placeholder(got[first].value)) ++first;
    ASSERT_LT(first, got.size()) << "no placeholder in\n" << made.out;
    write_file(work.path / "run.ctl", made.out);
    const Result refused = run_memprep(work.path, {"--quiet", "run.ctl"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "memprep: run.ctl:" + std::to_string(got[first].line) +
                               ": this line still holds the template's placeholder " +
                               got[first].value + ": replace it with the value\n");

    std::string filled;
    for (std::size_t i = 0; i < got.size(); ++i) {
      const bool chosen = r.chosen.count(i + 1) > 0;
      const bool same = same_values(got[i].value, want[i].value);
      if (!placeholder(got[i].value)) {
        EXPECT_EQ(same, !chosen) << "line " << i + 1 << ": template '" << got[i].value
                                 << "', example '" << want[i].value << "'";
      }
      filled += (placeholder(got[i].value) || chosen ? want[i].text : got[i].text) + "\n";
    }
    write_file(work.path / "filled.ctl", filled);
    const Result run = run_memprep(work.path, {"--quiet", "filled.ctl"});
    ASSERT_EQ(run.status, 0) << run.err;
    for (const std::string& name : list_files(example / "expected"))
      EXPECT_EQ(
          first_difference(read_file(example / "expected" / name), read_file(work.path / name)), "")
          << name;
  }
}

// The template of a spoilt copy of examples/out-tof/nickel.out: each row makes one edit
// (a string replaced by another) and names lines the template must hold.
// The time-of-flight constants of a list file come from its diffractometer constants.
TEST(Template, TimeOfFlightConstantsOfAListFile) {
  const fs::path example = fs::path(MEMPREP_EXAMPLES_DIR) / "lst-tof";
  const Result made = run_memprep(example, {"--template", "mno.lst"});
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_NE(made.out.find("# TOFLIN TOFQUAD TOFZERO: the diffractometer constants of histogram"),
            std::string::npos)
      << made.out;
}

TEST(Template, TitleWithHashMissingBankAnglesAndPhasesWithoutReflections) {
  // For the third row: a second phase, and a table of one reflection of it in pattern 1.
  const std::string phase_1_end = " =>  Hermann-Mauguin Symbol: F m -3 m\n";
  const std::string phase_2 = "\n => Phase  No. 2\n       NiO\n =>   Number of Space group: 225\n";
  const std::string table_2 =
      " Pattern#  1 Phase No.:  2 NiO\n\n"
      "   No.  Code     H   K   L  Mult     Hw          TOF        Icalc       Iobs      Sigma   "
      "    Shift       Phase     d-hkl\n"
      "      1      2   1   1   1    8   0.0031   19430.261      30332.3    30211.5      173.8  "
      "    0.0000      0.0000  2.034582\n"
      "     ----------------------------------------------------------------------------------\n\n";
  struct Row {
    const char* what;
    std::string from, to;
    std::vector<std::string> lines;
  } rows[] = {
      {"title with #",
       " => Title: Ni at 300 K",
       " => Title: Ni #13744 at 300 K",
       {"Ni No.13744 at 300 K, time-of-flight neutron data  # title, from \" => Title:\" (\"#\" "
        "written as \"No.\")"}},
      {"no detector angle for pattern 2",
       " => T.O.F. 2theta average detector angle      :     90.000\n",
       "",
       {"#   pattern 2: time of flight, detector at 2theta (not given)",
        "<bank angles: 2theta of banks 1 and 2, in bank order>  # bank-angle line: bank = "
        "pattern number"}},
      {"phase 1 without reflections in pattern 1, phase 2 with one",
       "      1      1   1   1   1    8   0.0031   19430.261      30332.3    30211.5      173.8  "
       "    0.0000      0.0000  2.034582\n      2      1   2   0   0    6   0.0031   16827.100   "
       "   18495.7    18422.0      135.7      0.0000      0.0000  1.762000\n      3      1   2   "
       "2   0   12   0.0031   11898.557      14863.5    14804.3      121.7      0.0000      "
       "0.0000  1.245922\n      4      1   3   1   1   24   0.0031   10147.123      21075.7    "
       "20991.7      144.9      0.0000      0.0000  1.062526\n      5      1   2   2   2    8   "
       "0.0031    9715.131       5232.0     5211.2       72.2      0.0000      0.0000  1.017291\n"
       "      6      1   4   0   0    6   0.0031    8413.550       2297.6     2288.4       47.8  "
       "    0.0000      0.0000  0.881000\n",
       "",
       {"#   phase 2: NiO, space group 225",
        "#     phase 1: no reflection table, nothing to convert", "#     phase 2: 1 reflection",
        "# The lines below take pattern 1 and phase 2.", "2                       # phase number"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    TempDir work;
    std::string out = read_file(fs::path(MEMPREP_EXAMPLES_DIR) / "out-tof" / "nickel.out");
    const std::size_t at = out.find(r.from);
    ASSERT_NE(at, std::string::npos);
    out.replace(at, r.from.size(), r.to);
    if (std::string(r.what).starts_with("phase")) {
      out.insert(out.find(phase_1_end) + phase_1_end.size(), phase_2);
      out.insert(out.find(" Pattern#  2 Phase No.:  1"), table_2);
    }
    write_file(work.path / "nickel.out", out);
    const Result made = run_memprep(work.path, {"--template", "nickel.out"});
    ASSERT_EQ(made.status, 0) << made.err;
    for (const std::string& line : r.lines)
      EXPECT_NE(made.out.find("\n" + line + "\n"), std::string::npos) << line << "\n" << made.out;
  }
}

}  // namespace
}  // namespace memprep::test
