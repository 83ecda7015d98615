// The FullProf output reader: the two passes, the table layouts and the auxiliary file.
#include <gtest/gtest.h>

#include <sstream>

#include "io/fields.hpp"
#include "readers/readers.hpp"
#include "support.hpp"

namespace memprep {
namespace {

using test::TempDir;
using test::write_file;

// One reflection of a generated table.
struct Refl {
  int h, k, l;
  double icalc, iobs, d = 0;
};

std::string pad_to(std::string s, std::size_t col) {
  if (s.size() < col) s.append(col - s.size(), ' ');
  return s;
}

// A table line with the indices at column `hcol` (I4 each), the two intensities (F11.1) at
// `icol`, and d (F10.6) at `dcol` when that is not 0.
std::string table_line(const Refl& r, std::size_t hcol, std::size_t icol, std::size_t dcol = 0) {
  std::string s;
  put_I(s, 1, 6);
  put_I(s, 1, 4);
  s = pad_to(s, hcol - 1);
  put_I(s, r.h, 4);
  put_I(s, r.k, 4);
  put_I(s, r.l, 4);
  put_I(s, 4, 6);
  s = pad_to(s, icol - 1);
  put_F(s, r.icalc, 11, 1);
  put_F(s, r.iobs, 11, 1);
  if (dcol) {
    s = pad_to(s, dcol - 1);
    put_F(s, r.d, 10, 6);
  }
  return s + "\n";
}

const char* const kV3Header = "   No.  Code     H   K   L  Mult     Hw         2theta      Icalc\n";

// The part of an output file before its reflection table: conditions of one pattern,
// cycles 1 and 2, and the " Pattern#" line.
std::string head(const std::string& data_lines, int pattern = 1,
                 const char* pattern_line = nullptr) {
  std::string p = std::to_string(pattern);
  std::string s =
      " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:  " + p + "\n\n" + data_lines +
      " => CYCLE No.:    1\n => Phase  1 Name: test\n"
      " ==> PROFILE PARAMETERS FOR PATTERN#  " +
      p + "\n => Cell parameters:\n" +
      "       1.000000\n       1.000000\n       1.000000\n       90.00000\n       90.00000\n"
      "       90.00000\n"
      " => CYCLE No.:    2\n => Phase  1 Name: test\n"
      " ==> PROFILE PARAMETERS FOR PATTERN#  " +
      p + "\n => Cell parameters: \n" +
      "       5.430700    0.000001\n       5.430700\n       5.430700\n"
      "       90.000000\n       90.000000\n      120.000000\n";
  s += pattern_line ? pattern_line : " Pattern#  " + p + " Phase No.   1 Phase name: test\n";
  return s + " ----------\n\n";
}

const char* const kXray = " => Global Refinement of X-ray powder data\n";
const char* const kTofLines =
    " => Global Refinement of neutron powder data\n => Neutron Time-Of-Flight data\n";
const char* const kTail =
    "     -----------------------------------------------------\n"
    " => Run finished at:\n";

std::string aux_file(int lines, int phase = 1) {
  std::string s = " Phase no.:";
  put_I(s, phase, 4);
  s += "\n";
  for (int i = 1; i <= lines; ++i) {
    std::string l(12, ' ');
    put_F(l, 10.0 * i, 12, 4);
    put_X(l, 12);
    put_F(l, i % 2 ? 0.0 : 180.0, 12, 4);
    s += l + "\n";
  }
  return s;
}

// The lines of `out` that table_line wrote.
int table_lines(const std::string& out) {
  int n = 0;
  for (std::size_t at = out.find("     1   1"); at != std::string::npos;
       at = out.find("\n     1   1", at + 1))
    ++n;
  return n;
}

struct Reader {
  TempDir dir;
  std::ostringstream console, warnings;
  Run run{console, warnings};

  // Without a count, the auxiliary block has a line for each table line of `out` (its lines
  // give no h k l, so a block of another length is refused).
  Reader(const std::string& out, const std::string& ctl, int aux_lines = -1)
      : Reader(out, ctl, aux_file(aux_lines >= 0 ? aux_lines : table_lines(out))) {}
  Reader(const std::string& out, const std::string& ctl, const std::string& aux) {
    run.AUXFILE = (dir.path / "x.aux").string();
    write_file(run.AUXFILE, aux);
    run.src.open_text("x.out", out);
    run.ctl.open_text("run.ctl", ctl);
    start_layout(run, fullprof_output_layout(), Stage::reader);
    run.store.IHIST = 1;
    run.store.IPHASE = 1;
  }
  Store& s() { return run.store; }
  // The failure line of a refused read, "" when it succeeds.
  std::string read() {
    try {
      read_fullprof_output(run);
      return "";
    } catch (const Stop& e) {
      return e.what();
    } catch (const IoFailure& e) {
      return e.what();
    }
  }
};

TEST(FullprofOutput, LastCycleCellAndVariantThreeTable) {
  std::string out = head(kXray) + kV3Header + table_line({1, 1, 1, 20.5, 30.5}, 15, 55) +
                    table_line({2, 0, 0, 12.5, 0}, 15, 55) + kTail;
  Reader r(out, "2.0\n");
  ASSERT_EQ(r.read(), "");
  Store& s = r.s();
  EXPECT_EQ(s.CELL[0], 5.4307);
  EXPECT_EQ(s.CELL[5], 120.0);
  EXPECT_FALSE(s.LTOF);
  ASSERT_EQ(s.NREF1, 2);
  EXPECT_EQ(s.H[1], 1);
  EXPECT_DOUBLE_EQ(s.Io[1], 30.5e10);
  EXPECT_DOUBLE_EQ(s.Io[2], 12.5e10) << "Iobs 0 is replaced by Icalc in this layout";
  EXPECT_DOUBLE_EQ(s.FoAbs[1], 10.0 / 2 * 10);
  EXPECT_DOUBLE_EQ(s.FoR[2], -100.0);
  EXPECT_EQ(s.FoI[2], 0.0);
}

TEST(FullprofOutput, HeaderVariantsAndTheirColumns) {
  struct Case {
    const char* header;
    std::size_t hcol, icol;
  };
  const Case cases[] = {
      {" No.  Code     H   K   L  Mult      Hw\n", 13, 63},
      {" No.  Code     H   K   L  Mult     Hw\n", 13, 53},
      {"   No.  Code     H   K   L  Mult      Hw     2theta\n", 15, 55},
      {"   No.  Code     H   K   L  Mult      Hw      ETA/M    2theta/TOF     Icalc\n", 15, 65},
  };
  for (const Case& c : cases) {
    Reader r(head(kXray) + c.header + table_line({3, -2, 1, 7.5, 0}, c.hcol, c.icol) + kTail,
             "1\n");
    ASSERT_EQ(r.read(), "") << c.header;
    EXPECT_EQ(r.s().NREF1, 1);
    EXPECT_EQ(r.s().K[1], -2) << c.header;
    EXPECT_EQ(r.s().Io[1], 0.0) << "Icalc stands in only in the variant-3 layout: " << c.header;
  }
}

TEST(FullprofOutput, RepeatedHeaderSwitchesLayoutAndDashesFromColumnOneAreData) {
  std::string out = head(kXray) + kV3Header + table_line({1, 0, 0, 1, 2}, 15, 55) +
                    " No.  Code     H   K   L  Mult     Hw\n" +
                    table_line({2, 0, 0, 1, 3}, 13, 53) +
                    "------------------------------------------------------------\n" + kTail;
  Reader r(out, "1\n");
  // The dash line is not an end of the table: it is read as a reflection and fails.
  std::string failure = r.read();
  EXPECT_NE(failure.find("x.out:"), std::string::npos) << failure;
  EXPECT_NE(failure.find("columns 13-16"), std::string::npos) << failure;

  Reader ok(head(kXray) + kV3Header + table_line({1, 0, 0, 1, 2}, 15, 55) +
                " No.  Code     H   K   L  Mult     Hw\n" + table_line({2, 0, 0, 1, 3}, 13, 53) +
                " -------------------\n => Run finished\n",
            "1\n");
  ASSERT_EQ(ok.read(), "");
  EXPECT_EQ(ok.s().NREF1, 2);
  EXPECT_EQ(ok.s().H[2], 2);
  EXPECT_DOUBLE_EQ(ok.s().Io[2], 3e10);
}

TEST(FullprofOutput, AuxiliaryLinesArePairedWithTheTableOnTheirIndices) {
  std::string out = head(kXray) + kV3Header;
  for (int i = 1; i <= 3; ++i) out += table_line({i == 2 ? -2 : i, 0, 0, 1, 1}, 15, 55);
  out += kTail;
  auto block = [](std::initializer_list<const char*> indices, const char* phase = "   1") {
    std::string s = std::string(" Phase no.:") + phase + "\n";
    for (const char* hkl : indices)
      s += std::string(hkl) + "     10.0000                  0.0000\n";
    return s;
  };
  const char* const h1 = "   1   0   0";
  const char* const h2 = "  -2   0   0";
  const char* const h3 = "   3   0   0";
  const char* const blank = "            ";
  struct Row {
    std::string aux;
    std::int64_t nref1;
    std::string failure, warning;  // parts of the messages, "" for none
  } rows[] = {
      {block({h1, h2, h3}), 3, "", ""},
      {block({blank, blank, h3}), 3, "", ""},  // blank columns give no index to compare
      {block({h1, h3, h2}), 0, ":3: h k l 3 0 0, but x.out:29 is reflection -2 0 0", ""},
      // Indices in other forms than I4 writes them read as the same.
      {block({" +1   0   0", " -02   0   0", "3      0   0"}), 3, "", ""},
      {block({h1, "   2   0   0", h3}), 0, ":3: h k l 2 0 0, but x.out:29 is reflection -2 0 0",
       ""},
      {block({"  11   0   0", h2, h3}), 0, ":2: h k l 11 0 0, but x.out:28 is reflection 1 0 0",
       ""},
      // The block ends before the table: the table is cut there, with a warning.
      {block({h1, h2}), 2, "", "ends after 2 reflection lines, the table of x.out has 3"},
      {block({h1, h2}) + block({h1, h2, h3}, "   2"), 2, "",
       ":4: warning: the block of phase 1 ends after 2 reflection lines"},
      // More lines than the table: the rest is not used, with a warning.
      {block({h1, h2, h3, blank}), 3, "", "holds 4 reflection lines, the table of x.out 3"},
      {block({h1}, "   2"), 0, "holds phase 2 only; the control file asks for phase 1", ""},
      {" Phase No.:   1 Si\n   1   0   0    0.00    0.11\n", 0,
       ":1: this is a FullProf Fourier file", ""},
  };
  for (const Row& r : rows) {
    Reader reader(out, "1\n", r.aux);
    std::string failure = reader.read();
    if (r.failure.empty()) {
      EXPECT_EQ(failure, "") << r.aux;
      EXPECT_EQ(reader.s().NREF1, r.nref1) << r.aux;
    } else {
      EXPECT_NE(failure.find(r.failure), std::string::npos) << failure;
    }
    const std::string warned = reader.warnings.str();
    if (r.warning.empty())
      EXPECT_EQ(warned, "") << r.aux;
    else
      EXPECT_NE(warned.find(r.warning), std::string::npos) << warned;
  }
}

TEST(FullprofOutput, TimeOfFlightColumnsFollowTheHeaderForm) {
  for (bool three_blank : {false, true}) {
    std::string header = three_blank ? kV3Header : " No.  Code     H   K   L  Mult      Hw\n";
    std::size_t shift = three_blank ? 2 : 0;
    std::string out = head(kTofLines) + header +
                      table_line({2, 2, 0, 5, 1523.4, 1.0}, 13 + shift, 53 + shift, 110 + shift) +
                      kTail;
    Reader r(out, "60 90 /\n4\n");
    ASSERT_EQ(r.read(), "") << three_blank;
    Store& s = r.s();
    EXPECT_TRUE(s.LTOF);
    EXPECT_EQ(s.NBANK, 1);
    EXPECT_EQ(s.NBANKS, 2);
    EXPECT_EQ(s.TWOTH, 60.0);
    EXPECT_EQ(s.H[1], 2);
    EXPECT_DOUBLE_EQ(s.Io[1], 1523.4) << "time-of-flight intensities keep their scale";
    EXPECT_DOUBLE_EQ(s.Dspacing[1], 1.0);
  }
  // Bank 1 at 90 degrees: wavelength 2 d sin 45.
  Reader r(head(kTofLines) + kV3Header + table_line({1, 0, 0, 5, 5, 1.0}, 15, 55, 112) + kTail,
           "90\n1\n");
  ASSERT_EQ(r.read(), "");
  EXPECT_NEAR(r.s().Wavelength[1], 1.41421356, 1e-8);
}

TEST(FullprofOutput, EtaMTableRefusedForTimeOfFlight) {
  Reader r(head(kTofLines) + "   No.  Code     H   K   L  Mult      Hw      ETA/M    2theta/TOF\n" +
               kTail,
           "90\n1\n");
  EXPECT_NE(r.read().find("not supported for time-of-flight"), std::string::npos);
}

TEST(FullprofOutput, LaterPatternLineAndDirectCellBlock) {
  std::string out = head(kXray, 1, " Pattern#  1 Phase No.:   1 Phase name: test\n");
  std::size_t p = out.rfind(" => Cell parameters: ");
  out.replace(p, 21, " => Direct cell parameters: ");
  Reader r(out + kV3Header + table_line({4, 0, 0, 1, 1}, 15, 55) + kTail, "1\n");
  ASSERT_EQ(r.read(), "");
  EXPECT_EQ(r.s().CELL[5], 120.0);
  EXPECT_EQ(r.s().NREF1, 1);

  // Another phase on the later form of the line is passed over.
  Reader other(head(kXray, 1, " Pattern#  1 Phase No.:   2 Phase name: test\n") + kV3Header + kTail,
               "1\n");
  EXPECT_NE(other.read().find("end of file"), std::string::npos);

  // A line of the pattern with no phase in either form is refused at that line.
  Reader none(head(kXray, 1, " Pattern#  1 Phase ??:   x Phase name: test\n") + kV3Header + kTail,
              "1\n");
  EXPECT_NE(none.read().find("columns 23-26"), std::string::npos) << none.read();
}

TEST(FullprofOutput, UserColumnLayoutAskedOnce) {
  std::string out = head(kXray) +
                    "  No.   h   k   l   other heading\n"
                    "  Next heading line\n";
  out += table_line({5, 1, 0, 9, 8}, 13, 53);
  out += kTail;
  Reader r(out, "1\n12 4 28 11\n");
  ASSERT_EQ(r.read(), "");
  EXPECT_EQ(r.console.str(),
            " perhaps, *.out format chenged with version up FullProf\n"
            " plase write format last line of *.inp when cannot read *.out\n"
            "  skip, h, k, l, skip, Ical, Iobs, example, 12X,3I4,38X,2F11.1 then 12,3,38,11\n");
  EXPECT_EQ(r.s().NREF1, 1);
  EXPECT_EQ(r.s().H[1], 5);
  EXPECT_EQ(r.s().K[1], 1);
  EXPECT_DOUBLE_EQ(r.s().Io[1], 8e10);
}

TEST(FullprofOutput, RefusedSettingsAndSources) {
  std::string table = kV3Header + table_line({1, 0, 0, 1, 1}, 15, 55) + kTail;
  struct Case {
    std::string out, ctl, want;
  };
  const Case cases[] = {
      {head(kXray) + table, "0\n", "run.ctl:1: the amplitude divisor must be a non-zero number"},
      {head(kXray) + "  No. something\n" + table, "1\n12 4 28 0\n",
       "run.ctl:2: the column layout 12 4 28 0 "},
      {head(kXray) + "  No. something\n" + table, "1\n100 10 0 11\n",
       "run.ctl:2: the column layout 100 10 0 11 "},
      {" ==> CONDITIONS OF THIS RUN FOR PATTERN No.:  1\n\n\n => Run finished\n", "1\n",
       "x.out:4: the run finishes without a refinement cycle"},
      {head(kTofLines) + table, "0 0\n1\n", "Invalid histogram number:   1"},
  };
  for (const Case& c : cases) {
    Reader r(c.out, c.ctl);
    std::string got = r.read();
    EXPECT_EQ(got.substr(0, c.want.size()), c.want) << got;
    EXPECT_EQ(r.s().NREF1, 0);
  }
}

// End to end: a full store is written (its count as five asterisks), one more reflection
// stops the run before anything is written.
TEST(FullprofOutput, CapacityEdge) {
  // The store takes 100000 reflections, a MEM data set 99999 (its count is an I5 field).
  for (int count : {99999, 100000, 100001}) {
    TempDir dir;
    std::string out = head(kXray) + kV3Header;
    std::string line = table_line({1, 2, 3, 4, 5}, 15, 55);
    out.reserve(out.size() + line.size() * count + 200);
    for (int i = 0; i < count; ++i) out += line;
    write_file(dir.path / "big.out", out + kTail);
    write_file(dir.path / "big.amp", aux_file(count));
    write_file(dir.path / "run.ctl",
               "big.out\nbig.amp\nbig.mem\nfull store\nF 225\n1.0\n64 64 64\n0\n100\n1.5\n1\n1\n"
               "1.0\n");
    test::Result r = test::run_memprep(dir.path, {"run.ctl"});
    if (count == 99999) {
      EXPECT_EQ(r.status, 0) << r.err;
      for (const char* name : {"big.mem", "big.fos"}) {
        std::string text = test::read_file(dir.path / name);
        EXPECT_NE(text.find("# NREF1\n99999\n"), std::string::npos) << name;
      }
    } else if (count == 100000) {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err,
                "memprep: big.out: the number of reflections = 100000 does not fit the field I5 "
                "of the MEM data set; a MEM data set holds at most 99999 reflections\n");
      EXPECT_FALSE(std::filesystem::exists(dir.path / "big.mem"));
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, " The number of reflections is greater than100000\n");
      EXPECT_FALSE(std::filesystem::exists(dir.path / "big.mem"));
      EXPECT_FALSE(std::filesystem::exists(dir.path / "big.fos"));
    }
  }
}

}  // namespace
}  // namespace memprep
