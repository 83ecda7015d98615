// The bank-angle line: the bank count and the bank-number check.
#include <gtest/gtest.h>

#include <sstream>

#include "control/control_file.hpp"

namespace memprep {
namespace {

struct BankLine {
  std::ostringstream console;
  Run run{console};
  std::int64_t nbanks = -1;

  explicit BankLine(const std::string& ctl) { run.ctl.open_text("run.ctl", ctl); }

  // The angle of `bank`, or the message when the bank is refused.
  std::string angle(std::int64_t bank) {
    try {
      return std::to_string(read_bank_angle(run, bank, nbanks));
    } catch (const Stop& s) {
      return s.what();
    } catch (const IoFailure& f) {
      return f.condition;
    }
  }
};

TEST(BankAngle, CountIsTheHighestNonZeroPosition) {
  for (const char* line :
       {"90 145 0 30 /\n", "90,145,0,30,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n",
        "90 145 0 30\n", "90 145,,30\n"}) {
    // Bank 3 is on the line, but an angle of 0 gives no wavelength.
    BankLine b(line);
    EXPECT_EQ(b.angle(3),
              "the angle of bank 3 is 0: the 2theta of the bank converted must lie between 0 "
              "and 180 degrees")
        << line;
    EXPECT_EQ(b.nbanks, 4) << line;
    BankLine c(line);
    EXPECT_EQ(c.angle(4), "30.000000") << line;
  }
}

TEST(BankAngle, BanksOutsideTheCountAreRefused) {
  for (std::int64_t bank : {0, -1, 5}) {
    BankLine b("# angles\n\n  90 145 0 30 /  # four banks\n");
    EXPECT_EQ(b.angle(bank), bank == 5   ? "Invalid histogram number:   5"
                             : bank == 0 ? "Invalid histogram number:   0"
                                         : "Invalid histogram number:  -1");
    EXPECT_EQ(b.nbanks, 4);
  }
  BankLine b("90 145 0 30\n");
  EXPECT_EQ(b.angle(7), "Invalid histogram number:   7");
  BankLine wide("90\n");
  EXPECT_EQ(wide.angle(12345), "Invalid histogram number:****");
  BankLine zeros("0 0 0\n");
  EXPECT_EQ(zeros.angle(1), "Invalid histogram number:   1");
  EXPECT_EQ(zeros.nbanks, 0);
}

TEST(BankAngle, TwentyFiveBanksAndTheLineWidth) {
  std::string line;
  for (int i = 1; i <= 25; ++i) line += std::to_string(100 + i) + " ";
  line += "999\n";  // a 26th number is not read
  BankLine b(line);
  EXPECT_EQ(b.angle(25), "125.000000");
  EXPECT_EQ(b.nbanks, 25);

  // Only the first 150 columns are read: an angle beyond them is not seen.
  BankLine cut(std::string(147, ' ') + "10 20\n");
  EXPECT_EQ(cut.angle(1), "10.000000");
  EXPECT_EQ(cut.nbanks, 1);
}

TEST(BankAngle, ItemThatIsNotANumberNamesTheControlLine) {
  BankLine b("\n90 x45\n");
  EXPECT_NE(b.angle(1).find("'x45'"), std::string::npos);
  try {
    read_bank_angle(b.run, 1, b.nbanks);
    FAIL() << "accepted";
  } catch (const IoFailure& e) {
    EXPECT_EQ(e.file, "run.ctl");
  }
}

}  // namespace
}  // namespace memprep
