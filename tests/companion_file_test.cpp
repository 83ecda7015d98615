// The companion structure-factor text file.
#include <gtest/gtest.h>

#include <sstream>

#include "support.hpp"
#include "writers/writers.hpp"

namespace memprep {
namespace {

using test::read_file;
using test::TempDir;

// A run with the settings of a small cubic X-ray example and two reflections.
struct Companion {
  TempDir dir;
  std::ostringstream console;
  Run run{console};

  Companion() {
    Store& s = run.store;
    run.OUTFILE = (dir.path / "example.mem").string();
    s.TITLE = "Example title";
    s.CELL = {5.4307, 5.4307, 5.4307, 90, 90, 90};
    s.NX = s.NY = s.NZ = 64;
    s.SPG = 227;
    s.SET = 2;
    s.VOL = 'V';
    s.E = 1.0;
    s.IAMP = 1;
    s.AMPPOS = 112.0;
    s.AMPNEG = -8.5;
    s.IPHASE = 1;
    s.NREF1 = 2;
    set(1, {1, 1, 1}, 59.8765, 0, 59.8765, 2.5e13);
    set(2, {2, 2, 0}, -67.25, 0, 67.25, 7.0e16);
  }

  void set(std::size_t j, std::array<std::int64_t, 3> hkl, double fr, double fi, double fa,
           double io) {
    Store& s = run.store;
    s.H[j] = hkl[0];
    s.K[j] = hkl[1];
    s.L[j] = hkl[2];
    s.FoR[j] = fr;
    s.FoI[j] = fi;
    s.FoAbs[j] = fa;
    s.Io[j] = io;
  }

  std::string write() {
    write_companion_file(run);
    run.companion.commit();
    return read_file(dir.path / "example.fos");
  }
};

const char* const kHead =
    "# Title\n"
    "Example title\n"
    "#        a         b         c     alpha      beta     gamma\n"
    "   5.43070   5.43070   5.43070  90.00000  90.00000  90.00000\n"
    "#          POP1           POP2  IPTYP  JPH  JPK  JPL\n"
    "      0.0000000      0.0000000     -1    0    0    0      P\n"
    "#  NX   NY   NZ  SPG  SET  VOL\n"
    "   64   64   64  227    2    V\n"
    "# s\n"
    "  1.000000E-01  0.000000E-08\n";

TEST(CompanionFile, AmplitudeBlockVariants) {
  struct Case {
    std::int64_t iamp;
    bool ltof;
    const char* block;
  };
  const Case cases[] = {
      {1, true,
       "# Total SA b+ & b-                 lambda0\n"
       "        112.000         -8.500\n"
       "# E = 5.000000E-02,  histogram =  3,  nbank =  3, Phase No. =  2, 2theta = 144.85\n"},
      {0, true,
       "# Positive amplitude   Negative\n"
       "            112.0000    0.000000\n"
       "# E = 5.000000E-02,  histogram =  3,  nbank =  3, Phase No. =  2,  2theta = 144.85\n"},
      {0, false,
       "# Positive amplitude    Negative\n"
       "            112.0000    0.000000\n"
       "# E = 5.000000E-02, Phase No. =  2\n"},
  };
  for (const Case& k : cases) {
    Companion c;
    Store& s = c.run.store;
    s.IAMP = k.iamp;
    s.LTOF = k.ltof;
    s.E = 0.05;
    s.IHIST = s.NBANK = 3;
    s.IPHASE = 2;
    s.TWOTH = 144.85;
    s.NREF1 = 0;
    std::string got = c.write();
    std::string want = std::string(kHead) + k.block + "# NREF1\n    0\n";
    EXPECT_EQ(got.substr(0, want.size()), want) << "IAMP " << k.iamp << " LTOF " << k.ltof;
  }
}

TEST(CompanionFile, UnwritableFileNamesTheFile) {
  Companion c;
  c.run.OUTFILE = (c.dir.path / "missing" / "x.mem").string();
  try {
    write_companion_file(c.run);
    FAIL() << "written";
  } catch (const IoFailure& e) {
    EXPECT_EQ(e.file, (c.dir.path / "missing" / "x.fos").string());
  }
}

}  // namespace
}  // namespace memprep
