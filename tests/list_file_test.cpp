// The list-file reader over list files held in memory.
#include "readers/list_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "list_file_support.hpp"
#include "readers/readers.hpp"

namespace memprep::test {
namespace {

const std::string kExampleLine = refl(1, 0, 2, 6, 1021, 2.0, 100, 100, 90);

// A list file of a constant-wavelength histogram 1 (wavelength 1.5) and, when `hist2` is
// given, a second histogram of the same type listed after it (wavelength 2.0).
std::string cw_file(const char* dtype, const std::string& lists, const std::string& fracs = "",
                    int hist2 = 0) {
  std::string second = hist2 ? "  next\n" + format("%3d  %s %10.7f\n", hist2, dtype, 2.0) : "";
  return title("GENLES") + constants(1, dtype, 1.5) + second + chi2() + fracs + scale_factors() +
         cell(4.1, 4.2, 4.3, 90, 91, 120) + lists;
}

std::string one_list(const std::string& lines) {
  return reflist(1) + lines + "\n";
}

// Reads `src` with the given control lines; the amplitudes are given (no structure sections).
struct Reading {
  explicit Reading(const std::string& src, const std::string& ctl = "", int ihist = 1,
                   int iphase = 1) {
    run.ctl.open_text("run.ctl", ctl);
    start_layout(run, list_file_layout(), Stage::reader);
    run.src.open_text("x.lst", src);
    s.IHIST = ihist;
    s.IPHASE = iphase;
    s.AMPPOS = 100;
  }
  void read() { read_list_file(run); }
  std::ostringstream console;
  Run run{console};
  Store& s = run.store;
};

TEST(ListFile, OnlyLinesOfThePhaseWithPositiveE1AndE3AreStored) {
  std::string lines = refl(1, 0, 0, 2, 2021, 3.0, 50, 50, 0) +  // phase 2
                      refl(1, 1, 0, 2, 1021, 2.5, 0, 50, 0) +   // E1 = 0
                      refl(1, 1, 1, 2, 1021, 2.2, 50, -1, 0) +  // E3 < 0
                      refl(2, 0, 0, 2, 1022, 2.1, 50, 50, 0) +  // another code
                      refl(2, 1, 0, 4, 1021, 1.9, 50, 49, 180);
  Reading r(cw_file("PXC", one_list(lines)), "0 0\n");
  r.read();
  ASSERT_EQ(r.s.NREF1, 1);
  EXPECT_EQ(r.s.H[1], 2);
  EXPECT_EQ(r.s.K[1], 1);
  EXPECT_DOUBLE_EQ(r.s.FoAbs[1], 7);  // X-ray values are not scaled
  EXPECT_DOUBLE_EQ(r.s.FoR[1], -7);   // phase 180
  EXPECT_NEAR(r.s.FoI[1], 0, 1e-12);

  Reading p2(cw_file("PXC", one_list(lines)), "0 0\n", 1, 2);
  p2.read();
  ASSERT_EQ(p2.s.NREF1, 1);
  EXPECT_EQ(p2.s.H[1], 1);
  EXPECT_DOUBLE_EQ(p2.s.FoR[1], std::sqrt(50.0));
}

TEST(ListFile, NeutronIntensityDividedByPhaseFraction) {
  const std::string fracs = fractions(2, 0.1) + fractions(1, 0.25, 0.5, 0.125);
  Reading h1(cw_file("PNC", one_list(kExampleLine), fracs));
  h1.read();
  EXPECT_NEAR(h1.s.Io[1], 230126.9 / 0.25, 0.2);
  EXPECT_DOUBLE_EQ(h1.s.FoAbs[1], 100);  // |Fo| is not divided

  // Histogram 2: its fraction is found under its digit, its wavelength in its own line;
  // the first reflection list is taken whatever histogram it names.
  Reading h2(cw_file("PNC", one_list(kExampleLine), fracs, 2), "", 2);
  h2.read();
  ASSERT_EQ(h2.s.NREF1, 1);
  double sin_t = 2.0 * 0.5 / 2.0;
  EXPECT_NEAR(h2.s.Io[1], 6 * 0.5 / (sin_t * sin_t * std::sqrt(1 - sin_t * sin_t)) * 1e4 / 0.5,
              1e-6);

  // X-ray intensities are never divided.
  Reading x(cw_file("PXC", one_list(kExampleLine), fracs), "0.5 0.8\n");
  x.read();
  EXPECT_NEAR(x.s.Io[1], 1626.17, 0.005);
}

TEST(ListFile, PhaseFractionThatCannotBeFoundStopsNeutronDataOnly) {
  auto failure = [](const std::string& src, int ihist) -> std::string {
    Reading r(src, "", ihist);
    try {
      r.read();
    } catch (const IoFailure& e) {
      return e.condition;
    }
    return "";
  };
  // Fractions printed for another phase only.
  std::string other = cw_file("PNC", one_list(kExampleLine), fractions(2, 0.5));
  EXPECT_NE(failure(other, 1).find("histogram 1, phase 1"), std::string::npos);
  // Histogram number not in the header (a two-digit number never is).
  std::string h12 = cw_file("PNC", one_list(kExampleLine), fractions(1, 0.5), 12);
  EXPECT_NE(failure(h12, 12).find("histogram 12, phase 1"), std::string::npos);
  // The same files as X-ray data read fine.
  Reading x(cw_file("PXC", one_list(kExampleLine), fractions(2, 0.5)), "0.5 0.8\n");
  x.read();
  EXPECT_NEAR(x.s.Io[1], 1626.17, 0.005);
}

TEST(ListFile, PageHeadersInsideTheReflectionList) {
  std::string lines = kExampleLine + reflist_page(true) + refl(1, 1, 0, 6, 1021, 2.0, 1, 1, 0) +
                      reflist_page(false) + refl(1, 1, 1, 6, 1021, 2.0, 1, 1, 0);
  Reading r(cw_file("PNC", one_list(lines)));
  r.read();
  ASSERT_EQ(r.s.NREF1, 2);
  EXPECT_EQ(r.s.K[2], 1);

  // The HSTDMP title ends the list as well.
  std::string dump = "1" + std::string(67, ' ') + "HSTDMP\n";
  Reading d(cw_file("PNC", reflist(1) + kExampleLine + dump + kExampleLine));
  d.read();
  EXPECT_EQ(d.s.NREF1, 1);
}

TEST(ListFile, SeveralRunsAnchorAtTheFirstConstantsBlock) {
  // The type comes from the first block after the GENLES title; the wavelength, cell and
  // list from the first block of the whole file on.
  std::string src = constants(1, "PXC", 1.0) + chi2() + scale_factors() +
                    cell(5, 5, 5, 90, 90, 90) + one_list(kExampleLine) + title("GENLES") +
                    constants(1, "PNC", 1.5) + chi2() + scale_factors() +
                    cell(6, 6, 6, 90, 90, 90) + one_list(refl(3, 3, 3, 1, 1021, 1, 1, 1, 0));
  Reading r(src);
  r.read();
  ASSERT_EQ(r.s.NREF1, 1);
  EXPECT_EQ(r.s.CELL[0], 5);
  EXPECT_EQ(r.s.H[1], 1);
  double sin_t = 1.0 * 0.5 / 2.0;  // wavelength 1.0 of the first block, neutron Lp
  EXPECT_NEAR(r.s.Io[1], 6 * 0.5 / (sin_t * sin_t * std::sqrt(1 - sin_t * sin_t)) * 10000, 1e-6);
}

TEST(ListFile, TimeOfFlightListHeaderSkipsOneRecordOnlyWhenFirst) {
  auto tof_file = [](const std::string& lists) {
    return title("GENLES") + constants(2, "PNT", 0) + hstgm(2, 1) + chi2() + scale_factors() +
           cell(4, 4, 4, 90, 90, 90) + lists + title("HSTDMP") + " RecNo\n";
  };
  // Histogram 2's list after histogram 1's: no record skipped, HISTORD 2.
  std::string passed = reflist(1) + kExampleLine + "\n" + " Histogram  2 data\n" +
                       refl(2, 0, 0, 1, 1021, 2.0, 1, 1, 0) + "\n";
  Reading r(tof_file(passed), "90\n10000 0 0\n", 2);
  r.read();
  ASSERT_EQ(r.s.NREF1, 1);
  EXPECT_EQ(r.s.H[1], 2);

  // Taken first: the record after the header is skipped.
  std::string first = reflist(2) + refl(2, 0, 0, 1, 1021, 2.0, 1, 1, 0) + "\n";
  Reading f(tof_file(first), "90\n10000 0 0\n", 2);
  f.read();
  ASSERT_EQ(f.s.NREF1, 1);

  // No list of the histogram: no reflections, and the dump is searched from the end.
  Reading none(tof_file(reflist(1) + kExampleLine + "\n"), "90\n10000 0 0\n", 2);
  EXPECT_THROW(none.read(), IoFailure);
}

TEST(ListFile, InvalidDiffractionTypeStops) {
  Reading r(cw_file("PXT", one_list(kExampleLine)), "0.5 0.8\n");
  try {
    r.read();
    FAIL() << "no stop";
  } catch (const Stop& e) {
    EXPECT_STREQ(e.what(), " Invalid diffraction type: PXT");
  }
}

TEST(ListFile, CapacityIsTheStoreSize) {
  std::string lines;
  lines.reserve(120 * (MAXREF + 2));
  for (std::int64_t i = 0; i < MAXREF; ++i) lines += kExampleLine;
  Reading full(cw_file("PNC", one_list(lines)));
  full.read();
  EXPECT_EQ(full.s.NREF1, MAXREF);

  Reading over(cw_file("PNC", one_list(lines + kExampleLine)));
  try {
    over.read();
    FAIL() << "no stop";
  } catch (const Stop& e) {
    EXPECT_EQ(e.what(), capacity_message());
  }
}

TEST(ListFile, MalformedFilesAreReportedWithTheirLine) {
  auto failure_line = [](const std::string& src) -> std::int64_t {
    Reading r(src);
    try {
      r.read();
    } catch (const IoFailure& e) {
      return e.line;
    }
    return -1;
  };
  // The pair search reads on past the block into a record that is not a number: the file
  // does not hold the histogram.
  std::string no_hist = title("GENLES") + constants(2, "PNC", 1.5) + "skip\nabc\n";
  EXPECT_EQ(failure_line(no_hist), 0);
  // A column heading where a reflection line is expected.
  std::string heading = cw_file("PNC", reflist(1) + "    h  k  l\n" + "    h  k  l\n");
  EXPECT_EQ(failure_line(heading), 12);
  // A missing fit summary ends the file: no line to name.
  EXPECT_EQ(failure_line(title("GENLES") + constants(1, "PNC", 1.5)), 0);
  // A d-spacing that gives no Bragg angle.
  EXPECT_EQ(failure_line(cw_file("PNC", one_list(refl(1, 0, 0, 1, 1021, 0.5, 1, 1, 0)))), 12);
  // No list at all: no reflections.
  Reading empty(cw_file("PNC", ""));
  empty.read();
  EXPECT_EQ(empty.s.NREF1, 0);
}

// The reals of a reflection line that are only checked (E2, E4 and the last four columns) are
// refused as the converted ones are, with the message of the conversion itself.
TEST(ListFile, CheckedOnlyRealsAreRefusedAsConvertedOnes) {
  struct Field {
    std::size_t first, last;
    int d, scale;
  };
  const Field fields[] = {{43, 52, 3, 1},  {63, 72, 3, 1},   {79, 88, 4, 0}, {89, 98, 4, 0},
                          {99, 108, 4, 0}, {109, 118, 4, 0}, {53, 62, 3, 1}};
  const char* const texts[] = {"  1.0E+999", "   1.2.3  ", "       NaN", " 1.0E+9999",
                               "  1.0E+300", "  1.0E-999", "  12345678", "  -4.5D+01",
                               "       1 -", "9999999999"};
  for (const Field& f : fields)
    for (const char* text : texts) {
      std::string line = kExampleLine;
      line.replace(f.first - 1, f.last - f.first + 1, text);
      std::string expected;
      try {
        get_F(line, f.first, f.last, f.d, f.scale);
      } catch (const FieldError& e) {
        expected = e.what();
      }
      Reading r(cw_file("PNC", one_list(line)));
      std::string got;
      try {
        r.read();
      } catch (const IoFailure& e) {
        got = e.condition;
      }
      EXPECT_EQ(got, expected) << "columns " << f.first << "-" << f.last << ": '" << text << "'";
    }
}

}  // namespace
}  // namespace memprep::test
