// The reader of earlier MEM data sets: header records found by their first words, the
// reflection list, and the d-spacings from the cell.
#include "readers/earlier_mem_data_set.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>

#include "readers/readers.hpp"

namespace memprep {
namespace {

const char* const kControl = "A title\nP 14-2\n90\n1.5 2.5 3.5\n";

std::string header(const std::string& amplitudes = "112.0 0.0", const std::string& mode = "2") {
  return "#Initial\n1.540560\n#a b c alpha beta gamma\n5.4309 5.4309 5.4309 90 90 90\n"
         "#NX NY NZ\n64 48 32\n#amplitudes\n" +
         amplitudes + "\n#first\n#second\n" + mode + "\n#h k l Fo(r) Fo(i) sigma\n";
}

const char* const kTwoReflections =
    "    1    1    1   -59.123    0.000    6.104\n"
    "    2    2    0    67.500    4.000    3.325\n";

struct Reader {
  std::ostringstream console;
  Run run{console};
  Store& s = run.store;

  explicit Reader(std::string source, const std::string& control = kControl) {
    run.ctl.open_text("run.ctl", control);
    start_layout(run, mem_data_set_layout(), Stage::reader);
    run.src.open_text("old.zmemin", std::move(source));
  }
  void read() { read_mem_data_set(run); }
  // The IoFailure the read ends with.
  IoFailure failure() {
    try {
      read();
    } catch (const IoFailure& f) {
      return f;
    }
    ADD_FAILURE() << "the read did not fail";
    return IoFailure("", 0, "");
  }
};

TEST(MemDataSetReader, FillsTheStoreFromControlLinesHeaderAndReflections) {
  Reader r(header() + kTwoReflections + "# NREF2\nnext record\n");
  r.read();
  const Store& s = r.s;
  EXPECT_TRUE(s.LTOF);
  EXPECT_EQ(s.E, 1.0);
  EXPECT_EQ(s.TITLE, "A title");
  EXPECT_EQ(s.VOL, 'P');
  EXPECT_EQ(s.SPG, 14);
  EXPECT_EQ(s.SET, 2);
  EXPECT_EQ(s.TWOTH, 90.0);
  EXPECT_EQ(s.TOFLIN, 1.5);
  EXPECT_EQ(s.TOFQUAD, 2.5);
  EXPECT_EQ(s.TOFZERO, 3.5);
  EXPECT_EQ(s.LAMBDA1, 1.540560);
  EXPECT_EQ(s.CELL[0], 5.4309);
  EXPECT_EQ(s.CELL[5], 90.0);
  EXPECT_EQ(s.NX, 64);
  EXPECT_EQ(s.NY, 48);
  EXPECT_EQ(s.NZ, 32);
  EXPECT_EQ(s.AMPPOS, 112.0);
  EXPECT_EQ(s.IAMP, 0);

  ASSERT_EQ(s.NREF1, 2);
  EXPECT_EQ(s.H[2], 2);
  EXPECT_EQ(s.K[2], 2);
  EXPECT_EQ(s.L[2], 0);
  EXPECT_EQ(s.FoR[2], 67.5);
  EXPECT_EQ(s.FoI[2], 4.0);
  EXPECT_EQ(s.SigFo[2], 3.325);
  EXPECT_EQ(s.FoAbs[2], std::sqrt(67.5 * 67.5 + 16.0));
  double x = 0.5 * s.FoAbs[2] / 3.325;
  EXPECT_EQ(s.Io[2], x * x);
  EXPECT_DOUBLE_EQ(s.Dspacing[1], 5.4309 / std::sqrt(3.0));

  // The record after the one that ended the list is passed over, and no group follows.
  EXPECT_TRUE(s.groups.empty());
  EXPECT_FALSE(r.run.src.next());
}

TEST(MemDataSetReader, IampFollowsTheNegativeAmplitude) {
  struct Case {
    const char* amplitudes;
    std::int64_t iamp;
  } cases[] = {
      {"112.0 0.0", 0}, {"112.0 -0.0", 0}, {"112.0, 0", 0}, {"112.0 -8.5", 1}, {"112.0 1e-300", 1}};
  for (const Case& c : cases) {
    Reader r(header(c.amplitudes) + "#\n");
    r.read();
    EXPECT_EQ(r.s.IAMP, c.iamp) << c.amplitudes;
  }
}

TEST(MemDataSetReader, MarkerWordsArePrefixesOfTheFirstWordAndCaseSensitive) {
  // "#initial", a word that only contains the marker and "# a" (first word "#") do not
  // match; the value after each marker must come from the record after the match.
  Reader r(
      "x #Initial\n#initial\n1.0\n   #Initial-values, more\n\n  0.7 9.9\n# a\n1 1 1 90 90 90\n"
      "#alpha\n\n4,5,\n6 80 90 100\n#\n1 2 3\n#\n10 0\n#\n#\n2\n#\n#\n");
  r.read();
  EXPECT_EQ(r.s.LAMBDA1, 0.7);
  EXPECT_EQ(r.s.CELL[0], 4.0);
  EXPECT_EQ(r.s.CELL[2], 6.0);
  EXPECT_EQ(r.s.CELL[5], 100.0);
  EXPECT_EQ(r.s.NREF1, 0);

  Reader lower("#initial\n1.0\n#a\n");
  IoFailure f = lower.failure();
  EXPECT_EQ(f.file, "old.zmemin");
  EXPECT_NE(f.condition.find("#Initial"), std::string::npos) << f.condition;
}

TEST(MemDataSetReader, ModeRecordMustBeginWithTwo) {
  for (const char* mode : {"2", "20", "2nd", "  2,x"}) {
    Reader r(header("1 0", mode) + "#\n");
    EXPECT_NO_THROW(r.read()) << mode;
  }
  for (const char* mode : {"1", "x2", "#2", "/2"}) {
    Reader r(header("1 0", mode) + "#\n");
    try {
      r.read();
      ADD_FAILURE() << mode << " was taken as a mode record";
    } catch (const Stop& stop) {
      EXPECT_STREQ(stop.what(), " This is not MEM-data set");
    }
  }
}

TEST(MemDataSetReader, ReflectionsWithBothPartsZeroAreNotKept) {
  Reader r(header() +
           "    1    0    0    0.0   0.0   1.0\n"
           "    2    0    0    0.0   3.0   1.0\n"
           "    3    0    0   -0.0   0.0   1.0\n"
           "    4    0    0   -5.0   0.0   2.0\n"
           "    5    0    0    0     0     0\n"
           "#\n");
  r.read();
  ASSERT_EQ(r.s.NREF1, 2);
  EXPECT_EQ(r.s.H[1], 2);
  EXPECT_EQ(r.s.FoAbs[1], 3.0);
  EXPECT_EQ(r.s.H[2], 4);
  EXPECT_EQ(r.s.FoAbs[2], 5.0);
}

TEST(MemDataSetReader, PlainAndGeneralFreeFormatLinesGiveTheSameValues) {
  Reader r(header() +
           "    3   -1    2      12.2500     -0.5000      0.1250\n"
           "3,-1,2,12.25,-.5,.125\n"
           "+3 -1 +2 1225-2 -5.0E-1 1.25D-1 ignored\n"
           "3 -1 2, 12.250\t-0.50 , 0.125/\n"
           "1*3 -1 2 12.25 -0.5 0.125\n"
           "#\n");
  r.read();
  ASSERT_EQ(r.s.NREF1, 5);
  for (std::int64_t j = 1; j <= 5; ++j) {
    EXPECT_EQ(r.s.H[j], 3) << j;
    EXPECT_EQ(r.s.K[j], -1) << j;
    EXPECT_EQ(r.s.L[j], 2) << j;
    EXPECT_EQ(r.s.FoR[j], 12.25) << j;
    EXPECT_EQ(r.s.FoI[j], -0.5) << j;
    EXPECT_EQ(r.s.SigFo[j], 0.125) << j;
  }
}

TEST(MemDataSetReader, ReflectionLinesAreReadInTheirFirst62Columns) {
  // A seventh value beyond column 62 is never seen; a sixth one there is missing.
  std::string ok = "    1    1    1   -59.123    0.000    6.104" + std::string(19, ' ') + "x\n";
  Reader r(header() + ok + "#\n");
  r.read();
  EXPECT_EQ(r.s.NREF1, 1);

  std::string cut = "    1    1    1   -59.123    0.000" + std::string(28, ' ') + "6.104\n";
  Reader bad(header() + cut + "#\n");
  IoFailure f = bad.failure();
  EXPECT_EQ(f.line, 13);
  EXPECT_NE(f.condition.find("value 6"), std::string::npos) << f.condition;
}

TEST(MemDataSetReader, MalformedReflectionListsFailAtTheirLine) {
  struct Case {
    const char* list;
    std::int64_t line;
  } cases[] = {
      {"    1    1    1   1.0  0.0  1.0\n\n#\n", 14},       // blank record
      {"    1    1    1   1.0  0.0  1.0\n # NREF2\n", 14},  // "#" not in column 1
      {"    1    1    1   1.0  0.0\n#\n", 13},              // five values
      {"    1    1    1   1.0  0.0 / 1.0\n#\n", 13},        // a slash cuts the list
      {"    1    1  1.5   1.0  0.0  1.0\n#\n", 13},         // l not an integer
      {"    1    1    1   1.0  0.0  1.0x\n#\n", 13},        // sigma not a number
      {"    1    1    1   1.0  +-0.5  1.0\n#\n", 13},       // two signs
      {"    1    1    1   1.0  0.0  1.0\n", 0},             // no end of the list
  };
  for (const Case& c : cases) {
    Reader r(header() + c.list);
    IoFailure f = r.failure();
    EXPECT_EQ(f.file, "old.zmemin") << c.list;
    EXPECT_EQ(f.line, c.line) << c.list << f.condition;
  }
}

TEST(MemDataSetReader, TruncatedHeadersAndControlFilesFail) {
  const std::string full = header();
  // Cut the header before each of its records.
  for (std::size_t pos = full.find('\n'); pos != std::string::npos;
       pos = full.find('\n', pos + 1)) {
    Reader r(full.substr(0, pos + 1));
    EXPECT_THROW(r.read(), IoFailure) << full.substr(0, pos + 1);
  }
  Reader no_tof(header() + "#\n", "A title\nP 1\n90\n1.5 2.5\n");
  IoFailure f = no_tof.failure();
  EXPECT_EQ(f.file, "run.ctl");
}

// Builds a source with n reflections, each line "h 0 0 1.0 0.0 0.5".
std::string many_reflections(std::int64_t n, const std::string& extra = "") {
  std::string text = header();
  text.reserve(text.size() + static_cast<std::size_t>(n) * 24);
  for (std::int64_t i = 1; i <= n; ++i) text += std::to_string(i % 97 + 1) + " 0 0 1.0 0.0 0.5\n";
  return text + extra + "#\n";
}

TEST(MemDataSetReader, CapacityIsTheStoreSize) {
  Reader full(many_reflections(MAXREF, "1 1 1 0.0 0.0 0.5\n"));  // a left-out line past it
  full.read();
  EXPECT_EQ(full.s.NREF1, MAXREF);

  Reader over(many_reflections(MAXREF + 1));
  try {
    over.read();
    ADD_FAILURE() << "a reflection beyond the store was accepted";
  } catch (const Stop& stop) {
    EXPECT_EQ(stop.what(), capacity_message());
    EXPECT_EQ(over.s.NREF1, MAXREF);
  }
}

// d from the reciprocal metric tensor: G* = G^-1 with G the metric tensor of the cell,
// 1/d^2 = h^T G* h.
double d_from_metric(const std::array<double, 6>& cell, int h, int k, int l) {
  const double a = cell[0], b = cell[1], c = cell[2];
  const double rad = std::numbers::pi / 180;
  const double g[3][3] = {
      {a * a, a * b * std::cos(cell[5] * rad), a * c * std::cos(cell[4] * rad)},
      {a * b * std::cos(cell[5] * rad), b * b, b * c * std::cos(cell[3] * rad)},
      {a * c * std::cos(cell[4] * rad), b * c * std::cos(cell[3] * rad), c * c}};
  double inv[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // Cofactor of g[j][i].
      int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      inv[i][j] = g[r0][c0] * g[r1][c1] - g[r0][c1] * g[r1][c0];
    }
  double det = g[0][0] * inv[0][0] + g[0][1] * inv[1][0] + g[0][2] * inv[2][0];
  const int v[3] = {h, k, l};
  double q = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) q += v[i] * inv[i][j] / det * v[j];
  return 1 / std::sqrt(q);
}

TEST(DSpacings, AgreeWithTheReciprocalMetricTensor) {
  const std::array<double, 6> cells[] = {
      {4.1, 5.2, 6.3, 80.5, 95.25, 110.0},    // triclinic
      {7.31, 3.94, 11.2, 90, 103.7, 90},      // monoclinic
      {3.21, 3.21, 5.21, 90, 90, 120},        // hexagonal
      {5.0, 6.0, 7.0, 90, 90, 90},            // orthorhombic
      {6.5, 6.5, 6.5, 71.2, 71.2, 71.2},      // rhombohedral
      {12.0, 8.5, 9.75, 118.4, 62.1, 97.35},  // obtuse and acute angles
  };
  const int hkl[][3] = {{1, 0, 0},  {0, 1, 0},  {0, 0, 1},  {1, 1, 1},  {-2, 1, 3},
                        {3, -4, 2}, {0, 5, -1}, {7, 2, -6}, {-1, -1, 4}};
  for (const auto& cell : cells) {
    std::ostringstream console;
    memprep::Run run(console);
    Store& s = run.store;
    s.CELL = cell;
    s.TWOTH = 145.0;
    s.NREF1 = std::size(hkl);
    for (std::size_t j = 0; j < std::size(hkl); ++j) {
      s.H[j + 1] = hkl[j][0];
      s.K[j + 1] = hkl[j][1];
      s.L[j + 1] = hkl[j][2];
    }
    compute_d_spacings(run);
    for (std::size_t j = 0; j < std::size(hkl); ++j) {
      double d = d_from_metric(cell, hkl[j][0], hkl[j][1], hkl[j][2]);
      EXPECT_NEAR(s.Dspacing[j + 1], d, 1e-12 * d) << cell[3] << " " << j;
      double lambda = 2 * d * std::sin(72.5 * std::numbers::pi / 180);
      EXPECT_NEAR(s.Wavelength[j + 1], lambda, 1e-12 * lambda);
    }
  }
}

TEST(DSpacings, CubicCellAndRightAngleBank) {
  std::ostringstream console;
  memprep::Run run(console);
  Store& s = run.store;
  s.CELL = {10, 10, 10, 90, 90, 90};
  s.TWOTH = 90;
  s.NREF1 = 3;
  const int hkl[3][3] = {{1, 0, 0}, {2, 2, 0}, {3, 1, -1}};
  for (int j = 0; j < 3; ++j) {
    s.H[j + 1] = hkl[j][0];
    s.K[j + 1] = hkl[j][1];
    s.L[j + 1] = hkl[j][2];
  }
  s.Dspacing[4] = -1;  // beyond NREF1: untouched
  compute_d_spacings(run);
  EXPECT_DOUBLE_EQ(s.Dspacing[1], 10.0);
  EXPECT_DOUBLE_EQ(s.Dspacing[2], 10 / std::sqrt(8.0));
  EXPECT_DOUBLE_EQ(s.Dspacing[3], 10 / std::sqrt(11.0));
  for (int j = 1; j <= 3; ++j) EXPECT_DOUBLE_EQ(s.Wavelength[j], s.Dspacing[j] * std::sqrt(2.0));
  EXPECT_EQ(s.Dspacing[4], -1);

  s.NREF1 = 0;
  s.Dspacing[1] = 0;
  compute_d_spacings(run);
  EXPECT_EQ(s.Dspacing[1], 0);
}

}  // namespace
}  // namespace memprep
