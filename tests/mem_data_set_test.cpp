// The MEM data set as written from the store: amplitude-block variants, the two reflection
// layouts, sigma(|Fo|), and values that would not fit their fields. Whole files are checked
// by the golden cases; these tests look at the lines that vary with the settings.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "io/ordered_output.hpp"
#include "steps/uncertainties.hpp"
#include "support.hpp"
#include "writers/writers.hpp"

namespace memprep {
namespace {

struct Writer {
  std::ostringstream console;
  Run run{console};
  Store& s = run.store;

  Writer() {
    s.TITLE = "Test phase";
    s.CELL = {5.4309, 5.4309, 5.4309, 90, 90, 90};
    s.SPG = 227;
    s.SET = 1;
    s.NX = s.NY = s.NZ = 64;
    s.E = 1;
    s.IAMP = 1;
    s.AMPPOS = 112;
    s.LAMBDA1 = 1.54056;
    s.IPHASE = 1;
  }

  void reflection(std::int64_t h, std::int64_t k, std::int64_t l, double fr, double fi, double fa,
                  double io, double wavelength = 0, double d = 0) {
    std::int64_t i = ++s.NREF1;
    s.H[i] = h;
    s.K[i] = k;
    s.L[i] = l;
    s.FoR[i] = fr;
    s.FoI[i] = fi;
    s.FoAbs[i] = fa;
    s.Io[i] = io;
    s.Wavelength[i] = wavelength;
    s.Dspacing[i] = d;
  }

  std::vector<std::string> lines() {
    test::TempDir dir;
    std::string path = (dir.path / "out.mem").string();
    run.mem.create(path);
    assign_uncertainties(s);
    write_mem_data_set(run);
    run.mem.commit();
    std::istringstream in(test::read_file(path));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }

  // The three lines after the SPG line (the amplitude block, when there is one).
  std::vector<std::string> block() {
    std::vector<std::string> all = lines();
    return {all.begin() + 8, all.begin() + 11};
  }
};

TEST(MemDataSetWriter, AmplitudeBlockVariants) {
  auto with = [](std::int64_t iamp, bool ltof) {
    Writer w;
    w.s.IAMP = iamp;
    w.s.LTOF = ltof;
    w.s.AMPNEG = -8.5;
    w.s.IHIST = 1;
    w.s.NBANK = 2;
    w.s.TWOTH = 90;
    return w.block();
  };
  EXPECT_EQ(with(1, false),
            (std::vector<std::string>{"# Positive amplitude  Negative amplitude    lambda1",
                                      "            112.0000             -8.5000   1.540560",
                                      "# E =  1.00000, Phase No. =  1"}));
  EXPECT_EQ(with(1, true),
            (std::vector<std::string>{
                "# Positive amplitude  Negative amplitude    lambda1",
                "            112.0000             -8.5000   1.540560",
                "# E =  1.00000,  histogram =  1, nbank =  2, Phase No. =  1, 2theta =  90.00"}));
  // One amplitude: the negative one is not written, whatever it holds.
  EXPECT_EQ(with(0, false), (std::vector<std::string>{"# Positive amplitude    lambda1",
                                                      "            112.0000    1.540560",
                                                      "# E =  1.00000, Phase No. =  1"}));
  EXPECT_EQ(with(0, true),
            (std::vector<std::string>{
                "# Positive amplitude    lambda1", "            112.0000    1.540560",
                "# E =  1.00000,  histogram =  1,  nbank =  2, Phase No. =  1,  2theta =  90.00"}));
}

TEST(MemDataSetWriter, ETextKeepsItsLeadingBlanks) {
  EXPECT_EQ(e_text(1), "  1.00000");
  EXPECT_EQ(e_text(0.05), " 5.000000E-02");
  EXPECT_EQ(e_text(1234567), " 1.234567E+06");
}

TEST(MemDataSetWriter, AValueThatDoesNotFitItsFieldStopsTheRun) {
  // Each would be asterisks or a non-number in the file; the message names the value, the
  // field and where the value came from.
  struct Row {
    void (*edit)(Writer&);
    const char* message;
  } rows[] = {
      {[](Writer& w) { w.s.LAMBDA1 = 1e9; },
       "run.ctl:9: lambda1 = 1e+09 does not fit the field F11.6 of the MEM data set; each control "
       "line holds one setting in a fixed order"},
      {[](Writer& w) {
         w.s.LTOF = true;
         w.s.IHIST = 1000;
       },
       "the histogram number = 1000 does not fit the field I3 of the MEM data set"},
      {[](Writer& w) { w.reflection(1, 1, 1, 2e12, 0, 2e12, 1e20); },
       "sample.out:7: reflection 1 1 1: Fo(r) = 2e+12 does not fit the field F15.3"},
      // sigma = 5e-5: above 0, but written as 0.000 it would weigh the reflection infinitely.
      {[](Writer& w) { w.reflection(2, 0, 0, 1, 0, 1, 1e18); },
       "sample.out:7: reflection 2 0 0: sigma(|Fo|) = 5e-05 is written as 0.000 in its field "
       "F15.3, a zero uncertainty; E = 1 (run.ctl:5) is too large for this reflection"},
  };
  for (const Row& r : rows) {
    Writer w;
    w.run.SRCFILE = "sample.out";
    w.run.CTLFILE = "run.ctl";
    w.run.origin[Setting::lambda1] = "run.ctl:9";
    w.run.origin[Setting::E] = "run.ctl:5";
    r.edit(w);
    for (std::int64_t i = 1; i <= w.s.NREF1; ++i) w.s.SrcLine[i] = 7;
    try {
      w.lines();
      ADD_FAILURE() << r.message << ": written";
    } catch (const IoFailure& f) {
      EXPECT_NE(std::string(f.what()).find(r.message), std::string::npos) << f.what();
    }
  }
}

// Chunks that take uneven times (every tenth is slow, wherever it is made: the others
// are made past it as far as the free buffers allow) still reach the file whole and in order, and a
// refusal in a slow chunk wins over one in a later, quick one.
TEST(MemDataSetWriter, ChunksMadeOutOfTurnAreWrittenInOrder) {
  constexpr std::size_t kItems = 40 * ordered::kChunk + 17;
  auto make = [](std::size_t refused) {
    return [refused](ChunkText& text, std::size_t item) {
      if (item % ordered::kChunk == 0 && item / ordered::kChunk % 10 == 7)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (item == refused || item == refused + 3 * ordered::kChunk)
        throw IoFailure("items", static_cast<std::int64_t>(item), "refused");
      const std::string line = std::to_string(item);
      std::memcpy(text.room(line.size() + 1), (line + "\n").data(), line.size() + 1);
      text.advance(line.size() + 1);
    };
  };
  test::TempDir dir;
  const std::string path = (dir.path / "items").string();
  {
    OutputFile out;
    out.create(path);
    write_in_order(out, kItems, make(kItems * 2));
    out.finish();
    out.commit();
  }
  std::istringstream in(test::read_file(path));
  std::size_t n = 0;
  for (std::string line; std::getline(in, line); ++n) ASSERT_EQ(line, std::to_string(n));
  EXPECT_EQ(n, kItems);

  OutputFile out;
  out.create(path);
  try {
    write_in_order(out, kItems, make(17 * ordered::kChunk + 5));  // chunk 17 is slow, 20 quick
    ADD_FAILURE() << "written";
  } catch (const IoFailure& f) {
    EXPECT_EQ(f.line, static_cast<std::int64_t>(17 * ordered::kChunk + 5));
  }
}

TEST(MemDataSetWriter, BlankTitleIsAnEmptyLineAndAFullTitleIsWrittenWhole) {
  Writer w;
  w.s.TITLE = std::string(70, ' ');
  EXPECT_EQ(w.lines()[1], "");
  Writer full;
  full.s.TITLE = std::string(69, 'x') + "y";
  EXPECT_EQ(full.lines()[1], std::string(69, 'x') + "y");
}

}  // namespace
}  // namespace memprep
