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
      {"out-xray", "ceria.ctl", "ceria.out", {13}},          // FODIV
      {"out-tof", "nickel.ctl", "nickel.out", {4, 11, 14}},  // title, pattern 2, FODIV
      {"lst-xray", "silicon.ctl", "silicon.lst", {3}},       // title
      {"lst-neutron", "srtio3.ctl", "srtio3.lst", {3}},      // title
      {"lst-tof", "mno.ctl", "mno.lst", {3}},                // title
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

}  // namespace
}  // namespace memprep::test
