// The overlap groups carried over from an earlier MEM data set into the "# NREF2" section.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "readers/earlier_mem_data_set.hpp"
#include "support.hpp"
#include "writers/writers.hpp"

namespace memprep {
namespace {

using test::read_file;
using test::TempDir;

const char* const kHeading = " #  h    k    l           G'o'            SUM        M\n";

// A run whose source stands just after the end of the reflection list, with nref1 single
// reflections already in the store and an empty MEM data set open for appending.
struct Groups {
  TempDir dir;
  std::ostringstream console;
  Run run{console};
  Store& s = run.store;

  explicit Groups(std::string section, std::int64_t nref1 = 2) {
    s.NREF1 = nref1;
    for (std::int64_t j = 1; j <= std::min<std::int64_t>(nref1, 2); ++j) s.H[j] = 100 + j;
    run.src.open_text("old.zmemin", std::move(section));
    run.mem.create((dir.path / "new.mem").string());
  }
  // The appended text.
  std::string copy() {
    read_overlap_groups(run);
    write_overlap_groups(run);
    run.mem.finish();
    run.mem.commit();
    return read_file(dir.path / "new.mem");
  }
  IoFailure failure() {
    try {
      read_overlap_groups(run);
    } catch (const IoFailure& f) {
      return f;
    }
    ADD_FAILURE() << "the copy did not fail";
    return IoFailure("", 0, "");
  }
};

TEST(OverlapGroups, NothingIsAppendedWithoutAKeptGroup) {
  for (const char* section : {"", "\n  \n", "    0\n", "# NREF2\n{\n1 0 0 2\n} 0.0 1\n",
                              "x\n{\n} 0 0\n{\n2 0 0 4\n3 0 0 4\n}, 0.0, 7.5\n"}) {
    Groups g(section);
    EXPECT_EQ(g.copy(), "") << section;
  }
}

TEST(OverlapGroups, MembersFollowTheSingleReflectionsInTheStore) {
  Groups g(
      "    2\n{\n 3 3 3 8\n 5,1,1,24\n} 1234.5 12.3\n{\n 9 9 9 1\n} 0 1\n{\n -4 4 0 12\n}"
      " 860.25 9.75\n");
  EXPECT_EQ(g.copy(), std::string("# NREF2\n    2\n") + kHeading +
                          "    2\n"
                          "    3    3    3      1234.5000        12.3000        8\n"
                          "    5    1    1                                     24\n"
                          "    1\n"
                          "   -4    4    0       860.2500         9.7500       12\n");
  EXPECT_EQ(g.s.H[1], 101);  // the single reflections are not touched
  EXPECT_EQ(g.s.H[2], 102);
  EXPECT_EQ(g.s.H[3], 3);
  EXPECT_EQ(g.s.H[4], 5);
  EXPECT_EQ(g.s.H[5], -4);  // in the place of the member of the group left out
}

TEST(OverlapGroups, FieldsTooWideForTheirColumnsStopTheRun) {
  for (const char* section :
       {"x\n{\n 123456 0 0 12\n} 12.5 -2.5\n", "x\n{\n 1 0 0 12\n} 1e12 -2.5\n",
        "x\n{\n 1 0 0 1234567890\n} 12.5 -2.5\n"}) {
    Groups g(section);
    try {
      g.copy();
      ADD_FAILURE() << section << ": written";
    } catch (const IoFailure& f) {
      EXPECT_NE(std::string(f.what()).find("overlap group 1: "), std::string::npos) << f.what();
    }
  }
}

// The SUM of a group formed here is its uncertainty: written as zero, it would weigh the
// group infinitely.
TEST(OverlapGroups, ASumFormedHereAndWrittenAsZeroStopsTheRun) {
  Groups g("x\n{\n 1 0 0 12\n} 12.5 0.00001\n");
  g.run.options.overlap_d = 0.01;
  g.s.E = 2;
  g.run.CTLFILE = "run.ctl";
  g.run.origin[Setting::E] = "run.ctl:5";
  try {
    g.copy();
    ADD_FAILURE() << "written";
  } catch (const IoFailure& f) {
    EXPECT_NE(std::string(f.what()).find(
                  "overlap group 1: SUM = 1e-05 is written as 0.0000 in its field F15.4, a zero "
                  "uncertainty; E = 2 (run.ctl:5) is too large for this group"),
              std::string::npos)
        << f.what();
  }
}

TEST(OverlapGroups, GroupLinesOutsideAnyGroupFailAtTheirLine) {
  struct Case {
    const char* section;
    std::int64_t line;
    const char* says;
  } cases[] = {
      {"x\n 1 0 0 2\n{\n 2 0 0 2\n} 5 5\n", 2, "outside any group"},
      {"x\n} 5 5\n", 2, "outside any group"},
      {"x\n{\n 2 0 0 2\n} 0 5\n 3 0 0 2\n", 5, "outside any group"},
      {"x\n{\n 2 0 0 2\n{\n 3 0 0 2\n} 5 5\n", 4, "opened on line 2"},
      {"x\n{\n 2 0 0 2\n} 5 5\n{\n 3 0 0 2\n", 5, "no closing line"},
      {"    2\n\n{\n 2 0 0 2\n} 5 5\n", 2, "blank line"},
      {"x\n{\n 2 0 0 2\n} 5 5\n\n", 5, "blank line"},
      {"x\n{\n", 2, "no closing line"},
  };
  for (const Case& c : cases) {
    Groups g(c.section);
    IoFailure f = g.failure();
    EXPECT_EQ(f.file, "old.zmemin");
    EXPECT_EQ(f.line, c.line) << c.section;
    EXPECT_NE(f.condition.find(c.says), std::string::npos) << f.condition;
  }
}

TEST(OverlapGroups, MalformedGroupLinesFailAtTheirLine) {
  struct Case {
    const char* section;
    std::int64_t line;
  } cases[] = {
      {"x\n{\n 2 0 0\n} 5 5\n", 3},      // three values
      {"x\n{\n\n} 5 5\n", 3},            // blank record
      {"x\n{\n# 2 0 0 2\n} 5 5\n", 3},   // a comment line
      {"x\n{\n 2 0 0 2.5\n} 5 5\n", 3},  // M not an integer
      {"x\n{\n 2 0 0 2\n} 5\n", 4},      // no SUM
      {"x\n{\n 2 0 0 2\n}5 5\n", 4},     // "}5" is the brace word
      {"x\n{\n 2 0 0 2\n} 5 / 5\n", 4},  // a slash cuts the list
      {"x\n{\n 2 0 0                                                         2\n} 5 5\n",
       3},  // M beyond column 62
  };
  for (const Case& c : cases) {
    Groups g(c.section);
    IoFailure f = g.failure();
    EXPECT_EQ(f.line, c.line) << c.section << f.condition;
  }
}

TEST(OverlapGroups, ManyGroupsAreAllKept) {
  std::string section = "x\n";
  for (int g = 1; g <= 2500; ++g)
    section += "{\n" + std::to_string(g) + " 0 0 2\n} " + std::to_string(g) + ".5 1\n";
  Groups g(section);
  std::string out = g.copy();
  EXPECT_TRUE(out.starts_with("# NREF2\n 2500\n")) << out.substr(0, 40);
  EXPECT_TRUE(out.ends_with(" 2500    0    0      2500.5000         1.0000        2\n"));
}

TEST(OverlapGroups, MembersCountAgainstTheStoreCapacity) {
  // Members of a group left out give their places back before the next group.
  Groups fits("x\n{\n1 0 0 1\n} 0 0\n{\n2 0 0 1\n3 0 0 1\n} 4 4\n", MAXREF - 2);
  EXPECT_NE(fits.copy().find("    3    0    0"), std::string::npos);

  Groups over("x\n{\n1 0 0 1\n2 0 0 1\n3 0 0 1\n} 4 4\n", MAXREF - 2);
  try {
    over.copy();
    ADD_FAILURE() << "a member beyond the store was accepted";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.what(), capacity_message());
  }
}

// End to end: single reflections and group members share the store; a run that stops in
// the group section leaves no MEM data set behind.
TEST(OverlapGroups, RunStopsWhenSinglesAndMembersTogetherExceedTheStore) {
  for (std::int64_t members : {1, 2}) {
    TempDir dir;
    test::write_file(dir.path / "run.ctl", "big.zmemin\nbig.mem\nT\nP 1\n90\n0 0 0\n");
    std::string src = "#Initial\n1.0\n#a\n9 9 9 90 90 90\n#\n8 8 8\n#\n10 0\n#\n#\n2\n#\n";
    for (std::int64_t j = 1; j < MAXREF; ++j) src += "1 2 3 4.0 0.0 0.5\n";
    src += "# NREF2\n1\n{\n";
    for (std::int64_t m = 0; m < members; ++m) src += "1 1 1 2\n";
    src += "} 9.5 1\n";
    test::write_file(dir.path / "big.zmemin", src);

    test::Result r = test::run_memprep(dir.path, {"run.ctl"});
    if (members == 1) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(std::filesystem::exists(dir.path / "big.mem"));
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, capacity_message() + "\n");
      EXPECT_FALSE(std::filesystem::exists(dir.path / "big.mem"));
    }
  }
}

}  // namespace
}  // namespace memprep
