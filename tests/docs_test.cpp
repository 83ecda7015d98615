// The user guide quotes the shipped examples: control files, sources and outputs. Each
// quotation is an indented code block right after a line
//     <!-- example: examples/DIR/FILE -->            (the whole file), or
//     <!-- example: examples/DIR/FILE lines A-B -->  (lines A to B of it),
// and must stand in the guide exactly as in the file, so that the guide cannot drift from
// what the program writes (the examples themselves are checked by the golden tests). The
// same holds for the templates the guide quotes, and the manual page and the guide describe
// every option of the command line.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "driver/options.hpp"
#include "driver/source_kinds.hpp"
#include "support.hpp"

namespace memprep::test {
namespace {

const fs::path kRoot = fs::path(MEMPREP_EXAMPLES_DIR).parent_path();

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Quotation {
  std::size_t guide_line;  // 1-based line of the marker
  std::string path;
  std::size_t first = 0, last = 0;  // 0: the whole file
  std::vector<std::string> lines;   // the code block, indentation removed
};

// The quotations after the markers "<!-- KIND: ... -->".
std::vector<Quotation> quotations(const std::vector<std::string>& guide, const std::string& kind) {
  const std::string open = "<!-- " + kind + ": ", close = " -->";
  std::vector<Quotation> found;
  for (std::size_t i = 0; i < guide.size(); ++i) {
    const std::string& g = guide[i];
    if (!g.starts_with(open) || !g.ends_with(close)) continue;
    Quotation q;
    q.guide_line = i + 1;
    std::istringstream marker(g.substr(open.size(), g.size() - open.size() - close.size()));
    std::string word;
    marker >> q.path;
    if (marker >> word) {
      char dash = 0;
      EXPECT_EQ(word, "lines") << "user guide line " << q.guide_line;
      marker >> q.first >> dash >> q.last;
      EXPECT_TRUE(dash == '-' && q.first >= 1 && q.last >= q.first)
          << "user guide line " << q.guide_line << ": lines A-B expected";
    }
    std::size_t j = i + 1;
    while (j < guide.size() && guide[j].empty()) ++j;
    for (; j < guide.size(); ++j) {
      if (guide[j].starts_with("    ")) {
        q.lines.push_back(guide[j].substr(4));
      } else if (guide[j].empty() && j + 1 < guide.size() && guide[j + 1].starts_with("    ")) {
        q.lines.push_back("");
      } else {
        break;
      }
    }
    found.push_back(q);
  }
  return found;
}

TEST(UserGuide, QuotedExamplesMatchTheShippedFiles) {
  const std::vector<std::string> guide = split_lines(read_file(kRoot / "docs" / "user-guide.md"));
  const std::vector<Quotation> quoted = quotations(guide, "example");
  ASSERT_FALSE(quoted.empty()) << "the user guide quotes no example";
  for (const Quotation& q : quoted) {
    SCOPED_TRACE("user guide line " + std::to_string(q.guide_line) + ": " + q.path);
    ASSERT_TRUE(fs::exists(kRoot / q.path));
    std::vector<std::string> file = split_lines(read_file(kRoot / q.path));
    if (q.first != 0) {
      ASSERT_LE(q.last, file.size());
      file = std::vector<std::string>(file.begin() + static_cast<long>(q.first - 1),
                                      file.begin() + static_cast<long>(q.last));
    }
    ASSERT_FALSE(q.lines.empty()) << "no indented code block after the marker";
    EXPECT_EQ(q.lines, file);
  }
}

// The guide quotes what --template writes for an example's source after a line
//     <!-- template: examples/DIR/SOURCE -->
// exactly as the program writes it.
TEST(UserGuide, QuotedTemplatesAreWhatTheProgramWrites) {
  const std::vector<std::string> guide = split_lines(read_file(kRoot / "docs" / "user-guide.md"));
  const std::vector<Quotation> quoted = quotations(guide, "template");
  ASSERT_FALSE(quoted.empty()) << "the user guide quotes no template";
  for (const Quotation& q : quoted) {
    SCOPED_TRACE("user guide line " + std::to_string(q.guide_line) + ": " + q.path);
    const fs::path source = kRoot / q.path;
    const Result r = run_memprep(source.parent_path(), {"--template", source.filename().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(q.lines, split_lines(r.out));
  }
}

// Every example directory is listed in the guide's table of examples, and every control
// file the guide names under examples/ exists.
TEST(UserGuide, ListsEveryExample) {
  const std::string guide = read_file(kRoot / "docs" / "user-guide.md");
  for (const auto& e : fs::directory_iterator(MEMPREP_EXAMPLES_DIR)) {
    if (!e.is_directory()) continue;
    std::string row = "| `" + e.path().filename().string() + "` |";
    EXPECT_NE(guide.find(row), std::string::npos)
        << "examples/" << e.path().filename().string() << " is missing from the table of examples";
  }
}

// The guide's table of each kind's control layout, after a line
//     <!-- layout: KIND -->                  (the kind in words, as the help text gives it)
// is the kind's layout as the driver, the reader and --template go by it: a row per line,
// in order, with the line's description and its condition.
TEST(UserGuide, ControlLayoutTablesAreTheKindsLayouts) {
  const std::vector<std::string> guide = split_lines(read_file(kRoot / "docs" / "user-guide.md"));
  for (const SourceKindRow& kind : source_kinds()) {
    SCOPED_TRACE(kind.name.words);
    std::vector<std::string> want = {"| Line | Content | Present |", "|---|---|---|"};
    int n = 0;
    for (const ControlLine& line : kind.layout())
      want.push_back("| " + std::to_string(++n) + " | " + std::string(line.guide) + " | " +
                     std::string(when_text(line.when)) + " |");
    const std::string marker = "<!-- layout: " + std::string(kind.name.words) + " -->";
    auto at = std::find(guide.begin(), guide.end(), marker);
    ASSERT_NE(at, guide.end()) << "no line " << marker;
    ++at;
    while (at != guide.end() && at->empty()) ++at;
    std::vector<std::string> got;
    for (; at != guide.end() && at->starts_with("|"); ++at) got.push_back(*at);
    std::string table;
    for (const std::string& row : want) table += row + "\n";
    EXPECT_EQ(got, want) << "the table should read\n" << table;
  }
}

// True when `text` holds `word` not followed by a letter, digit, "-" or "\\" (so that
// "--overlap" is not found in "--overlap-d").
bool mentions(const std::string& text, const std::string& word) {
  for (std::size_t p = text.find(word); p != std::string::npos; p = text.find(word, p + 1)) {
    const std::size_t after = p + word.size();
    if (after == text.size()) return true;
    const char c = text[after];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '\\') return true;
  }
  return false;
}

// Every option of the option table (the one --help prints) is described in the OPTIONS
// section of the manual page and in the user guide.
TEST(Docs, DescribeEveryOptionOfTheCommandLine) {
  const std::string manual = read_file(kRoot / "docs" / "memprep.1");
  const std::string guide = read_file(kRoot / "docs" / "user-guide.md");
  const std::size_t from = manual.find("\n.SH OPTIONS\n");
  ASSERT_NE(from, std::string::npos) << "docs/memprep.1 has no OPTIONS section";
  const std::string options = manual.substr(from, manual.find("\n.SH ", from + 1) - from);
  for (std::string_view name : long_option_names()) {
    std::string roff = "\\-\\-";  // a minus sign is written "\-" in the manual page
    for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_TRUE(mentions(options, roff))
        << "--" << name << " is not described in the OPTIONS of docs/memprep.1";
    std::string markdown = "`--";
    markdown += name;
    EXPECT_TRUE(mentions(guide, markdown))
        << "--" << name << " is not described in docs/user-guide.md";
  }
}

}  // namespace
}  // namespace memprep::test
