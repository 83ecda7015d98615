// The control file: significant lines, the shared settings and the symmetry line.
#include "control/control_file.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "readers/readers.hpp"

namespace memprep {
namespace {

struct Control {
  std::ostringstream console;
  Run run{console};

  explicit Control(const std::string& text) { run.ctl.open_text("run.ctl", text); }

  std::string line(std::size_t length = 512) {
    std::string buffer;
    read_control_line(run, buffer, length, "the next line");
    return buffer;
  }

  // The outcome of f(): "" when it succeeds, else the console line or the I/O report.
  template <class Fn>
  std::string outcome(Fn f) {
    try {
      f();
      return "";
    } catch (const Stop& s) {
      return std::string("stop:") + s.what();
    } catch (const IoFailure& e) {
      return std::string("io:") + e.what();
    }
  }
};

TEST(ControlLine, BlankAndCommentLinesAreSkippedAndTheRestLeftAdjusted) {
  Control c(
      "\n"
      "      \n"
      "# comment\n"
      "     # indented comment\n"
      "   data#1.lst   # the name ends at the first '#'\n"
      "#\n"
      "out.mem\r\n"
      "  \r\n"
      "last line without a line end");
  EXPECT_EQ(c.line(), "data");
  EXPECT_EQ(c.line(), "out.mem");  // the carriage return is not part of the line
  EXPECT_EQ(c.line(), "last line without a line end");
  EXPECT_EQ(c.outcome([&] { c.line(); }),
            "io:run.ctl: end of file: the control file ends before the next line");
}

TEST(ControlLine, RecordIsCutBeforeLeadingBlanksAreRemoved) {
  const std::string blanks(60, ' ');
  Control c(blanks + "A title that runs past column seventy\n" +  // cut at column 70
            std::string(70, ' ') + "beyond the buffer: a blank line\n" + std::string(69, ' ') +
            "#x\n" +  // a comment line within the buffer
            "   " + std::string(67, 'x') + "#comment past the cut\n");
  EXPECT_EQ(c.line(70), "A title th");
  EXPECT_EQ(c.line(70), std::string(67, 'x'));
}

TEST(ControlLine, HashInsideTheCutTextEndsIt) {
  Control c("Sample at 300 K #2 of the series\nsample.lst#old\n");
  EXPECT_EQ(c.line(70), "Sample at 300 K");
  EXPECT_EQ(c.line(), "sample.lst");
}

Symmetry decode(const std::string& line) {
  return decode_symmetry_line(line);
}

TEST(SymmetryLine, VolumeLetterGroupAndSetting) {
  struct Row {
    const char* line;
    char vol;
    std::int64_t spg, set;
  } rows[] = {
      {"F 225", 'F', 225, 1},     {"F 227-2", 'F', 227, 2},
      {"F 227 - 2", 'F', 227, 2}, {"P225", 'P', 25, 1},  // column 2 is never read
      {"I -12", 'I', -12, 1},    // a minus in column 3 belongs to the group number
      {"I -12-3", 'I', -12, 3},  // the setting follows the first "-" from column 4 on
      {"R 167,2", 'R', 167, 1},  // what follows the first number is ignored
      {"C 12-1 2", 'C', 12, 1},
  };
  for (const Row& r : rows) {
    Symmetry s = decode(r.line);
    EXPECT_EQ(s.VOL, r.vol) << r.line;
    EXPECT_EQ(s.SPG, r.spg) << r.line;
    EXPECT_EQ(s.SET, r.set) << r.line;
  }
}

TEST(SymmetryLine, MissingOrBadNumbersNameTheControlLine) {
  for (const char* line : {"F 227-", "F 227-  ", "F", "F x225", "F 225-two"}) {
    std::ostringstream console;
    memprep::Run run(console);
    run.ctl.open_text("run.ctl", std::string("title\n") + line + "\n");
    run.ctl.next();
    try {
      read_symmetry_line(run);
      ADD_FAILURE() << line << " was accepted";
    } catch (const IoFailure& e) {
      EXPECT_EQ(e.file, "run.ctl") << line;
      EXPECT_EQ(e.line, 2) << line;
      EXPECT_NE(e.condition.find("symmetry line"), std::string::npos) << e.what();
    }
  }
}

const char* const kSettings =
    "# settings of a list-file run\n"
    "Sample at 300 K, X-ray data\n"
    "F 227-2             # VOL, space group and setting\n"
    "1.0                 # E\n"
    "64, 64 ,64          # NX NY NZ\n"
    "%IAMP%\n"
    "%AMP%\n"
    "1.540560            # lambda1\n"
    "%IHIST%\n"
    "3                   # phase number\n";

std::string settings(const std::string& iamp, const std::string& amp, const std::string& ihist) {
  std::string text = kSettings;
  auto put = [&](const std::string& key, const std::string& value) {
    text.replace(text.find(key), key.size(), value);
  };
  put("%IAMP%", iamp);
  put("%AMP%", amp);
  put("%IHIST%", ihist);
  return text;
}

// The settings of a list file's layout, from its title on.
void read_list_settings(Run& run) {
  start_layout(run, list_file_layout(), Setting::title);
  read_settings(run);
}

// Those of a binary structure-factor file, from E on.
void read_fos_settings(Run& run) {
  start_layout(run, fos_file_layout(), Setting::E);
  read_settings(run);
}

TEST(Settings, AllSettingsInOrder) {
  Control c(settings("1", "112.0 -8.5", "0"));
  c.run.store.AMPNEG = 99;
  ASSERT_EQ(c.outcome([&] { read_list_settings(c.run); }), "");
  const Store& s = c.run.store;
  EXPECT_EQ(s.TITLE, "Sample at 300 K, X-ray data");
  EXPECT_EQ(s.VOL, 'F');
  EXPECT_EQ(s.SPG, 227);
  EXPECT_EQ(s.SET, 2);
  EXPECT_EQ(s.E, 1.0);
  EXPECT_EQ(s.NX, 64);
  EXPECT_EQ(s.NY, 64);
  EXPECT_EQ(s.NZ, 64);
  EXPECT_EQ(s.IAMP, 1);
  EXPECT_EQ(s.AMPPOS, 112.0);
  EXPECT_EQ(s.AMPNEG, -8.5);
  EXPECT_EQ(s.LAMBDA1, 1.54056);
  EXPECT_EQ(s.IHIST, 0);  // 0 passes the histogram check
  EXPECT_EQ(s.IPHASE, 3);

  // One amplitude: the negative one keeps what it held; a slash ends a list early.
  Control one(settings("0", "95.25 / 7", "1"));
  one.run.store.AMPNEG = -4;
  ASSERT_EQ(one.outcome([&] { read_list_settings(one.run); }), "");
  EXPECT_EQ(one.run.store.AMPPOS, 95.25);
  EXPECT_EQ(one.run.store.AMPNEG, -4);
}

TEST(Settings, RefusedValues) {
  Control iamp(settings("2", "112.0 0.0", "1"));
  EXPECT_EQ(iamp.outcome([&] { read_list_settings(iamp.run); }), "stop: IAMP should be 0 or 1");

  Control hist(settings("1", "112.0 0.0", "-3"));
  EXPECT_EQ(hist.outcome([&] { read_list_settings(hist.run); }),
            "stop: Invalid histogram number:  -3");
  Control wide(settings("1", "112.0 0.0", "-12345"));
  EXPECT_EQ(wide.outcome([&] { read_list_settings(wide.run); }),
            "stop: Invalid histogram number:****");
}

TEST(Settings, MissingOrMalformedLinesNameTheLine) {
  // Two amplitudes are needed on the amplitude line itself.
  Control few(settings("1", "112.0", "1"));
  std::string got = few.outcome([&] { read_list_settings(few.run); });
  EXPECT_EQ(got.rfind("io:run.ctl:7: the positive and negative amplitudes: ", 0), 0u) << got;

  Control bad(settings("1", "112.0 0.0", "one"));
  got = bad.outcome([&] { read_list_settings(bad.run); });
  EXPECT_EQ(got.rfind("io:run.ctl:9: the histogram number: ", 0), 0u) << got;

  Control real_for_int("Title\nF 225\n1.0\n64.5 64 64\n");
  got = real_for_int.outcome([&] { read_list_settings(real_for_int.run); });
  EXPECT_EQ(got.rfind("io:run.ctl:4: NX NY NZ: ", 0), 0u) << got;

  Control short_file("Title\nF 225\n1.0\n64 64 64\n1\n");
  EXPECT_EQ(short_file.outcome([&] { read_list_settings(short_file.run); }),
            "io:run.ctl: end of file: the control file ends before the positive and negative "
            "amplitudes");
}

TEST(FosSettings, EIampLambdaInOrder) {
  Control c("0.5e1   # E\n\n0\n0.710730\nnot read\n");
  ASSERT_EQ(c.outcome([&] { read_fos_settings(c.run); }), "");
  EXPECT_EQ(c.run.store.E, 5.0);
  EXPECT_EQ(c.run.store.IAMP, 0);
  EXPECT_EQ(c.run.store.LAMBDA1, 0.71073);

  // An IAMP other than 0 or 1 would leave the MEM data set without its amplitude block.
  Control two("1.0\n2\n0.710730\n");
  EXPECT_EQ(two.outcome([&] { read_fos_settings(two.run); }), "stop: IAMP should be 0 or 1");
}

// A reader that reads its lines out of the layout's order, passes over a present line or
// leaves one unread is a fault of the program, whatever the control file says.
TEST(ControlLayout, LinesOutOfOrderAreFaultsOfTheProgram) {
  static constexpr ControlLine kLines[] = {
      {.holds = Setting::E, .what = "E", .read = read_E},
      {.holds = Setting::bank_angle, .when = When::time_of_flight, .what = "the bank"},
      {.holds = Setting::lambda1, .what = "lambda1", .read = read_lambda1},
  };
  auto fault = [](auto read) {
    Control c("2.0\n45.0\n1.5\n");
    start_layout(c.run, kLines);
    try {
      read(c.run);
    } catch (const std::logic_error&) {
      return true;
    }
    return false;
  };
  // Passed over undecided, read although absent, an unread line left at the end.
  EXPECT_TRUE(fault([](memprep::Run& r) {
    read_control(r, Setting::E);
    read_control(r, Setting::lambda1);
  }));
  EXPECT_TRUE(fault([](memprep::Run& r) {
    decide_line(r, When::time_of_flight, false);
    read_control(r, Setting::E);
    double angle = 0;
    read_control(r, Setting::bank_angle, angle);
  }));
  EXPECT_TRUE(fault([](memprep::Run& r) {
    decide_line(r, When::time_of_flight, true);
    read_control(r, Setting::E);
    double angle = 0;
    read_control(r, Setting::bank_angle, angle);
    finish_layout(r);
  }));
  // In order, with the condition decided, the origins are the lines read.
  Control c("2.0\n1.5\n");
  start_layout(c.run, kLines);
  decide_line(c.run, When::time_of_flight, false);
  read_control_lines(c.run, Stage::settings);
  finish_layout(c.run);
  EXPECT_EQ(c.run.store.LAMBDA1, 1.5);
  EXPECT_EQ(c.run.origin[Setting::E], "run.ctl:1");
  EXPECT_EQ(c.run.origin[Setting::lambda1], "run.ctl:2");
}

}  // namespace
}  // namespace memprep
