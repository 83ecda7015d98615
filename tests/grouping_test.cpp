// Overlap groups formed from the reflections of the store: the chaining rule at its edges,
// the order of singles, groups and members, G'o' and SUM against values worked out by hand,
// and groups left out without a usable SUM. End to end (reader, writers, summary) the example
// examples/out-groups covers them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "steps/overlap_grouping.hpp"
#include "steps/uncertainties.hpp"

namespace memprep {
namespace {

struct Grouping {
  std::ostringstream console, warnings;
  Run run{console, warnings};
  Store& s = run.store;

  Grouping() {
    s.E = 1;
    run.SRCFILE = "x.out";
  }
  // A reflection whose h is its number in the table.
  std::size_t add(double pos, double fwhm, double d = 0) {
    const auto i = static_cast<std::size_t>(++s.NREF1);
    s.H[i] = static_cast<std::int64_t>(i);
    s.SrcLine[i] = 100 + s.NREF1;
    s.Pos[i] = pos;
    s.Fwhm[i] = fwhm;
    s.Dspacing[i] = d;
    s.MRef[i] = 1;
    s.FoAbs[i] = 1;
    s.Io[i] = 1e10;
    return i;
  }
  std::vector<std::int64_t> singles() const { return {s.H.begin() + 1, s.H.begin() + 1 + s.NREF1}; }
  // The table numbers of the members of each group.
  std::vector<std::vector<std::int64_t>> groups() const {
    std::vector<std::vector<std::int64_t>> out;
    std::size_t entry = static_cast<std::size_t>(s.NREF1);
    for (const Store::OverlapGroup& g : s.groups) {
      out.emplace_back();
      for (std::int64_t m = 0; m < g.NMem; ++m) out.back().push_back(s.H[++entry]);
    }
    return out;
  }
};

TEST(OverlapGrouping, ChainsNeighboursCloserThanTheLimitOnly) {
  Grouping g;
  g.run.options.overlap_fwhm = 1;
  g.run.options.overlap_d = 0.0005;
  g.add(20.0, 0.5, 5.0);
  g.add(30.0, 0.5, 3.3);  // 2 and 3: the same position, chained in table order
  g.add(30.0, 0.5, 3.3);
  g.add(25.0, 0.3, 4.0);  // 4 and 5: 0.5 apart, exactly the limit 1 x (0.3 + 0.7) / 2 (the
  g.add(25.5, 0.7, 3.9);  // mean of the two FWHM, not the larger)
  g.add(50.0, 0.2, 1.9);  // 6, 8, 7: 0.3 apart each, under the limits (0.2 + 0.6) / 2 and
  g.add(50.6, 0.4, 1.7);  // (0.6 + 0.4) / 2 (not the smaller FWHM): one chain through 8,
  g.add(50.3, 0.6, 1.8);  // although 6 and 7 are 0.6 apart
  g.add(10.1, 0.2, 9.0);  // 9, 10, 11: 0.2 apart in decimals, the limit; in binary
  g.add(10.3, 0.2, 8.8);  // 10.5 - 10.3 is a little below 0.2
  g.add(10.5, 0.2, 8.6);
  g.add(15.0, 0.1, 1.5000);  // 12 and 13: far apart in 2theta, chained by d; the first
  g.add(16.0, 0.1, 1.5004);  // group in position order, so numbered first
  form_overlap_groups(g.run);

  EXPECT_EQ(g.singles(), (std::vector<std::int64_t>{1, 4, 5, 9, 10, 11}));
  EXPECT_EQ(g.groups(), (std::vector<std::vector<std::int64_t>>{{12, 13}, {2, 3}, {6, 8, 7}}));
  // The companion file's list: every reflection, in table order.
  ASSERT_EQ(g.s.source_order.size(), 13u);
  for (std::size_t k = 0; k < 13; ++k)
    EXPECT_EQ(g.s.H[static_cast<std::size_t>(g.s.source_order[k])],
              static_cast<std::int64_t>(k + 1));
  EXPECT_EQ(g.s.SrcLine[static_cast<std::size_t>(g.s.NREF1) + 6], 108);  // 8 came along
}

TEST(OverlapGrouping, ByDAloneInTheOrderOfThePeaks) {
  // At a fixed wavelength the peaks come in falling d; with time-of-flight data, rising d.
  for (bool tof : {false, true}) {
    Grouping g;
    g.s.LTOF = tof;
    g.run.options.overlap_d = 0.01;
    g.add(0, 0, 2.000);
    g.add(0, 0, 2.005);
    g.add(0, 0, 3.0);
    form_overlap_groups(g.run);
    EXPECT_EQ(g.singles(), (std::vector<std::int64_t>{3}));
    EXPECT_EQ(g.groups(),
              (std::vector<std::vector<std::int64_t>>{tof ? std::vector<std::int64_t>{1, 2}
                                                          : std::vector<std::int64_t>{2, 1}}));
  }
}

// Two members: m = 2, |Fo| = 3 and m = 6, |Fo| = 5, so G'o'² = (2 x 9 + 6 x 25) / 8 = 21.
TEST(OverlapGrouping, GoAndSumByEitherRule) {
  for (auto rule : {RunOptions::Sigma::counting, RunOptions::Sigma::refinement}) {
    Grouping g;
    g.run.options.overlap_fwhm = 1;
    g.run.options.sigma = rule;
    const std::size_t a = g.add(30.0, 0.2), b = g.add(30.1, 0.2), single = g.add(40.0, 0.2);
    g.s.MRef[a] = 2;
    g.s.FoAbs[a] = 3;
    g.s.Io[a] = 4e10;  // written as 4
    g.s.Icalc[a] = 100;
    g.s.FcAbs[a] = 4;  // k = 16 / 100: sigma(|Fo|²) = 0.16 x 25 = 4
    g.s.SigIo[a] = 25;
    g.s.MRef[b] = 6;
    g.s.FoAbs[b] = 5;
    g.s.Io[b] = 12e10;
    g.s.Icalc[b] = 50;
    g.s.FcAbs[b] = 5;  // k = 0.5: sigma(|Fo|²) = 1
    g.s.SigIo[b] = 2;
    g.s.FoAbs[single] = 0;  // Iobs 0
    g.s.Icalc[single] = 100;
    g.s.FcAbs[single] = 4;
    g.s.SigIo[single] = 25;
    assign_uncertainties(g.s, rule);
    form_overlap_groups(g.run);
    ASSERT_EQ(g.s.groups.size(), 1u);
    EXPECT_NEAR(g.s.groups[0].Go, 4.58257569495584, 1e-13);  // sqrt(21)
    if (rule == RunOptions::Sigma::counting) {
      // sqrt(21) / (2 sqrt(1 x (4 + 12)))
      EXPECT_NEAR(g.s.groups[0].Sum, 0.57282196186948, 1e-13);
      EXPECT_EQ(g.s.SigFo[1], 0);  // |Fo| 0: a zero sigma, to be left out
    } else {
      // sigma(G'o'²) = (2 x 4 + 6 x 1) / 8 = 1.75; 1.75 / (sqrt(21) + sqrt(22.75))
      EXPECT_NEAR(g.s.groups[0].Sum, 0.18712031212888824, 1e-13);
      EXPECT_EQ(g.s.SigFo[1], 2);  // |Fo| 0: 4 / (0 + sqrt(4))
    }
  }
}

TEST(OverlapGrouping, GroupWithoutAUsableSumIsLeftOutWhole) {
  Grouping g;
  g.run.options.overlap_fwhm = 1;
  g.run.options.sigma = RunOptions::Sigma::refinement;
  for (double pos : {10.0, 10.1, 20.0, 30.0, 30.1}) {
    const std::size_t i = g.add(pos, 0.2);
    g.s.Icalc[i] = 10;
    g.s.FcAbs[i] = 1;
    g.s.SigIo[i] = 1;
  }
  g.s.Icalc[2] = 0;  // no scale for the second member of the first group
  g.run.listing.wanted = true;
  assign_uncertainties(g.s, g.run.options.sigma);
  form_overlap_groups(g.run);
  leave_out_unweighted(g.run);
  // The listing: every reflection read, in table order, with what became of it.
  using Status = ListedReflection::Status;
  std::vector<std::pair<Status, std::int64_t>> statuses;
  for (const ListedReflection& r : g.run.listing.rows) {
    EXPECT_EQ(r.h, static_cast<std::int64_t>(statuses.size() + 1));
    statuses.emplace_back(r.status, r.group);
  }
  EXPECT_EQ(statuses, (std::vector<std::pair<Status, std::int64_t>>{{Status::group_left_out, 0},
                                                                    {Status::group_left_out, 0},
                                                                    {Status::written, 0},
                                                                    {Status::member, 1},
                                                                    {Status::member, 1}}));
  EXPECT_STREQ(g.run.listing.rows[1].reason, "Icalc zero or negative");
  EXPECT_EQ(g.singles(), (std::vector<std::int64_t>{3}));
  EXPECT_EQ(g.groups(), (std::vector<std::vector<std::int64_t>>{{4, 5}}));
  EXPECT_EQ(g.s.source_order, (std::vector<std::int64_t>{1, 2, 3}));  // 3, 4, 5 as kept
  EXPECT_EQ(g.run.groups_left_out, 1);
  EXPECT_EQ(g.warnings.str(),
            "memprep: x.out: warning: 1 of 2 overlap groups left out of the MEM data set, as "
            "their sigma(G'o') from the table's Sigma of Iobs would not be a finite number above 0 "
            "(Icalc zero or negative: 1)\n"
            "memprep: x.out:101: overlap group of 2 reflections from 1 0 0: Icalc zero or "
            "negative\n");
}

// Under the refinement rule a group whose SUM would be written as 0.0000 is left out, as a
// reflection is (under the counting rule the writer refuses it, naming E).
TEST(OverlapGrouping, RefinementSumWrittenAsZeroLeavesTheGroupOut) {
  Grouping g;
  g.run.options.overlap_fwhm = 1;
  g.run.options.sigma = RunOptions::Sigma::refinement;
  for (double pos : {10.0, 10.1, 20.0}) {
    const std::size_t i = g.add(pos, 0.2);
    g.s.Icalc[i] = g.s.FcAbs[i] = 1;
    g.s.SigIo[i] = pos < 20 ? 1e-5 : 1;  // the group's SUM: 1e-5 / (1 + sqrt(1 + 1e-5))
  }
  assign_uncertainties(g.s, g.run.options.sigma);
  form_overlap_groups(g.run);
  leave_out_unweighted(g.run);
  EXPECT_EQ(g.singles(), (std::vector<std::int64_t>{3}));
  EXPECT_TRUE(g.s.groups.empty());
  EXPECT_EQ(g.run.groups_left_out_reasons, "sigma(|Fo|) written as zero: 1");
}

// Each reason a reflection is left out for, once: the first reflection spoilt, the second
// kept.
TEST(LeaveOut, EachReasonOnce) {
  using Rule = RunOptions::Sigma;
  struct Row {
    Rule rule;
    double E, fo, io, icalc, sig_io;
    const char* reason;
    double kept_io = 1e10;  // the Io of the reflection kept, E Io' about 1
  } rows[] = {
      {Rule::counting, 1, 1, 0, 1, 1, "Io zero or negative"},
      {Rule::counting, 1e300, 1, 1e300, 1, 1, "Io infinite", 1e-290},
      {Rule::counting, 1, 0, 1e10, 1, 1, "|Fo| zero"},
      // |Fo| about 200, as in examples/out-xray: 1 / (E Io') overflows
      {Rule::counting, 1e-322, 200, 1e10, 1, 1, "sigma(|Fo|) not finite", 1e300},
      {Rule::counting, 1e300, 1e-300, 1e8, 1, 1, "sigma(|Fo|) below the smallest number", 1e-290},
      {Rule::refinement, 1, 1, 1e10, 0, 1, "Icalc zero or negative"},
      {Rule::refinement, 1, 1, 1e10, 1, 0, "Sigma or |F|calc zero"},
      {Rule::refinement, 1, 1, 1e10, 1e-300, 1e300, "too large"},
      // sigma(|Fo|^2) = 1e-4: sigma(|Fo|) = 5e-5, written as 0.000 in its F15.3
      {Rule::refinement, 1, 1, 1e10, 1, 1e-4, "sigma(|Fo|) written as zero"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.reason);
    Grouping g;
    g.run.options.sigma = r.rule;
    g.s.E = r.E;
    for (int k = 0; k < 2; ++k) {
      const std::size_t i = g.add(10.0 * (k + 1), 0.1);
      g.s.Icalc[i] = 1;
      g.s.FcAbs[i] = 1;
      g.s.SigIo[i] = 1;
      g.s.Io[i] = 1e10;
    }
    g.s.FoAbs[1] = r.fo;
    g.s.Io[1] = r.io;
    g.s.Icalc[1] = r.icalc;
    g.s.SigIo[1] = r.sig_io;
    g.s.Io[2] = r.kept_io;
    g.run.listing.wanted = true;
    assign_uncertainties(g.s, r.rule);
    leave_out_unweighted(g.run);
    EXPECT_EQ(g.singles(), (std::vector<std::int64_t>{2}));
    ASSERT_EQ(g.run.listing.rows.size(), 2u);
    EXPECT_EQ(g.run.listing.rows[0].status, ListedReflection::Status::left_out);
    EXPECT_STREQ(g.run.listing.rows[0].reason, r.reason);
    EXPECT_EQ(g.run.listing.rows[1].status, ListedReflection::Status::written);
    EXPECT_EQ(g.run.left_out_reasons, std::string(r.reason) + ": 1");
    const std::string warnings = g.warnings.str();
    EXPECT_NE(
        warnings.find("\nmemprep: x.out:101: reflection 1 0 0: " + std::string(r.reason) + "\n"),
        std::string::npos)
        << warnings;
  }
}

}  // namespace
}  // namespace memprep
