// Time-of-flight intensities rescaled by the dumped profile, and the wavelength order.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "list_file_support.hpp"
#include "readers/list_file.hpp"

namespace memprep::test {
namespace {

// A profile record: number, time of flight, multiplier (columns 39-54), divisor (79-86).
std::string point(int recno, double tof, double mul, double div) {
  return format("%6d  %10.3f%8.2f%12.3f%16.6E%8.2f%16.6E%8.3f\n", recno, tof, 1.0, 2.0, mul, 3.0,
                4.0, div);
}

std::string dump_heading() {
  return title("HSTDMP") + " RecNo  Tof   Int   ...\n";
}

std::string page() {
  return "1" + std::string(33, ' ') + "HSTDMP page\n title\n RecNo\n";
}

// Io after correction: Io * mul * 1e-10 / (div * 0.001).
double scaled(double io, double mul, double div) {
  return io * mul * 1.0e-10 / (div * 0.001);
}

void set_reflections(Store& s, const std::vector<double>& tof) {
  s.NREF1 = static_cast<std::int64_t>(tof.size());
  for (std::size_t i = 0; i < tof.size(); ++i) {
    s.Tof[i + 1] = tof[i];
    s.Io[i + 1] = 1000.0 * (i + 1);
  }
}

TEST(TofProfile, SecondBlockFirstPointStrictlyBeyond) {
  std::string text = "reflection list tail\n" + dump_heading() +
                     // block 1: never used with HISTORD 2
                     point(1, 1.0, 9e9, 1) + point(2, 2.0, 9e9, 1) +
                     // block 2, with a page header inside
                     point(1, 10.0, 2e10, 4) + point(2, 20.0, 3e10, 5) + page() +
                     point(3, 30.0, 5e10, 8) +
                     // block 3: ends the block read
                     point(1, 100.0, 7e10, 1);
  std::ostringstream console;
  memprep::Run run(console);
  run.src.open_text("x.lst", text);
  set_reflections(run.store, {5.0, 10.0, 25.0, 30.0, 31.0});
  correct_tof_intensities(run, 2);
  const auto& Io = run.store.Io;
  EXPECT_DOUBLE_EQ(Io[1], scaled(1000, 2e10, 4));  // before the first point
  EXPECT_DOUBLE_EQ(Io[2], scaled(2000, 3e10, 5));  // exactly at a point: the next one
  EXPECT_DOUBLE_EQ(Io[3], scaled(3000, 5e10, 8));  // after the page header
  EXPECT_DOUBLE_EQ(Io[4], 4000);                   // at the last point: unchanged
  EXPECT_DOUBLE_EQ(Io[5], 5000);                   // beyond the last point of block 2
}

TEST(TofProfile, SixDigitRecordNumbersAreNotPageHeaders) {
  std::string text = dump_heading() + point(1, 1.0, 1e10, 1);
  for (int r = 2; r < 100000; ++r) text += point(r, r, 1e10, 1);
  text += point(100000, 100000.0, 4e10, 2) + point(100001, 100001.0, 6e10, 3);
  std::ostringstream console;
  memprep::Run run(console);
  run.src.open_text("x.lst", text);
  set_reflections(run.store, {99999.5, 100000.0});
  correct_tof_intensities(run, 1);
  EXPECT_DOUBLE_EQ(run.store.Io[1], scaled(1000, 4e10, 2));
  EXPECT_DOUBLE_EQ(run.store.Io[2], scaled(2000, 6e10, 3));
}

TEST(TofProfile, UnorderedProfileGivesTheFirstPointBeyond) {
  // Points out of order and repeated: the first point in table order beyond Tof is used.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> t(0, 40);
  std::vector<double> tofs;
  std::string text = dump_heading();
  for (int r = 1; r <= 60; ++r) {
    tofs.push_back(t(rng));
    text += point(r, tofs.back(), 1e10 * r, 1);
  }
  std::vector<double> refl;
  for (int i = 0; i < 200; ++i) refl.push_back(t(rng) + (i % 3) * 0.5);
  std::ostringstream console;
  memprep::Run run(console);
  run.src.open_text("x.lst", text);
  set_reflections(run.store, refl);
  correct_tof_intensities(run, 1);
  for (std::size_t i = 0; i < refl.size(); ++i) {
    double want = 1000.0 * (i + 1);
    for (std::size_t j = 0; j < tofs.size(); ++j) {
      if (tofs[j] > refl[i]) {
        want = scaled(want, 1e10 * (j + 1), 1);
        break;
      }
    }
    EXPECT_DOUBLE_EQ(run.store.Io[i + 1], want) << "reflection " << i + 1;
  }
}

TEST(TofProfile, FailuresNameTheRecord) {
  std::ostringstream console;
  {
    memprep::Run run(console);  // a divisor of 0 at the point used
    run.src.open_text("x.lst", dump_heading() + point(1, 10.0, 1e10, 0));
    set_reflections(run.store, {5.0});
    try {
      correct_tof_intensities(run, 1);
      FAIL() << "no failure";
    } catch (const IoFailure& e) {
      EXPECT_EQ(e.line, 3);
    }
  }
  {
    memprep::Run run(console);  // letters in an ignored field of the taken block
    std::string bad = point(1, 10.0, 1e10, 1);
    bad.replace(20, 3, "x.x");
    run.src.open_text("x.lst", dump_heading() + bad);
    set_reflections(run.store, {5.0});
    EXPECT_THROW(correct_tof_intensities(run, 1), IoFailure);
  }
  {
    memprep::Run run(console);  // no dump at all
    run.src.open_text("x.lst", "end of the list\n");
    set_reflections(run.store, {5.0});
    EXPECT_THROW(correct_tof_intensities(run, 1), IoFailure);
  }
}

// The plain selection sort the wavelength order must reproduce, on positions 1..n of w.
std::vector<int> selection_sort_order(std::vector<double> w) {
  std::vector<int> id(w.size());
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<int>(i);
  const std::size_t n = w.size() - 1;
  for (std::size_t i = 1; i < n; ++i) {
    double best = w[i];
    std::size_t jbest = 0;
    for (std::size_t j = i + 1; j <= n; ++j)
      if (w[j] > best) {
        best = w[j];
        jbest = j;
      }
    if (jbest) {
      std::swap(w[i], w[jbest]);
      std::swap(id[i], id[jbest]);
    }
  }
  return id;
}

TEST(WavelengthOrder, SamePermutationAsSelectionSortWithTies) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const int n = 1 + static_cast<int>(rng() % 60);
    const int distinct = 1 + static_cast<int>(rng() % 6);  // few values: many ties
    Store s;
    s.NREF1 = n;
    std::vector<double> w(n + 1);
    for (int i = 1; i <= n; ++i) {
      // Negative values and both zeros as well: -0 and 0 are equal wavelengths.
      w[i] = 0.5 * static_cast<double>(rng() % distinct) - 1.0;
      if (w[i] == 0 && rng() % 2) w[i] = -0.0;
      s.Wavelength[i] = w[i];
      s.H[i] = i;
      s.SrcLine[i] = 100 + i;
      s.MRef[i] = 2 * i;
      s.Io[i] = 10.0 * i;
      s.Tof[i] = w[i] * 3;
      s.FcAbs[i] = 7.0 * i;  // an array the reader does not fill: it travels all the same
    }
    std::vector<int> want = selection_sort_order(w);
    sort_by_wavelength(s);
    for (int i = 1; i <= n; ++i) {
      ASSERT_EQ(s.H[i], want[i]) << "round " << round << " position " << i;
      ASSERT_EQ(s.SrcLine[i], 100 + want[i]);
      ASSERT_EQ(s.MRef[i], 2 * want[i]);
      ASSERT_EQ(s.Io[i], 10.0 * want[i]);
      ASSERT_EQ(std::signbit(s.Wavelength[i]), std::signbit(w[want[i]]));
      ASSERT_EQ(s.Wavelength[i], w[want[i]]);
      ASSERT_EQ(s.Tof[i], w[want[i]] * 3);
      ASSERT_EQ(s.FcAbs[i], 7.0 * want[i]);
    }
  }
}

TEST(WavelengthOrder, NonIncreasingStoreKeepsItsOrder) {
  Store s;
  s.NREF1 = 5;
  const double w[] = {3, 3, 2, 2, 1};
  for (int i = 1; i <= 5; ++i) {
    s.Wavelength[i] = w[i - 1];
    s.K[i] = i;
  }
  sort_by_wavelength(s);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(s.K[i], i);
  s.NREF1 = 0;
  sort_by_wavelength(s);  // an empty store is left alone
}

}  // namespace
}  // namespace memprep::test
