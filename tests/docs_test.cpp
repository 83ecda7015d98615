// The user guide quotes the shipped examples: control files, sources and outputs. Each
// quotation is an indented code block right after a line
//     <!-- example: examples/DIR/FILE -->            (the whole file), or
//     <!-- example: examples/DIR/FILE lines A-B -->  (lines A to B of it),
// and must stand in the guide exactly as in the file, so that the guide cannot drift from
// what the program writes (the examples themselves are checked by the golden tests).
#include <gtest/gtest.h>

#include <sstream>

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

std::vector<Quotation> quotations(const std::vector<std::string>& guide) {
  const std::string open = "<!-- example: ", close = " -->";
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
  const std::vector<Quotation> quoted = quotations(guide);
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

}  // namespace
}  // namespace memprep::test
