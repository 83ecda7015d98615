// The amplitudes computed from the structure printed in a list file.
#include <gtest/gtest.h>

#include "list_file_support.hpp"
#include "readers/list_file.hpp"

namespace memprep::test {
namespace {

// Reads the sections from `text` and evaluates them for dtype; returns {AMPPOS, AMPNEG}.
std::pair<double, double> amplitudes(const std::string& text, const char* dtype) {
  TextSource src;
  src.open_text("x.lst", text);
  StructureSections sections = read_structure_sections(src);
  Store store;
  evaluate_structure_sections(sections, dtype, store);
  return {store.AMPPOS, store.AMPNEG};
}

TEST(StructureSections, LessThanLinesAreNotCountedAsTypes) {
  std::string text = type_table_title(2) + " <  magnetic form factors follow\n" +
                     type_entry("Ni", 1.03, 12.0, 7.0, 4.0, 2.0, 3.0) + " <  another note\n" +
                     type_entry("O", 0.58, 3.0, 2.0, 1.5, 1.0, 0.5) +
                     atom_list(atom("Ni", 4, 1.0, 0, 0, 0) + atom("O", 4, 1.0, 0.5, 0.5, 0.5));
  // X-ray: Ni 12+7+4+2+3 = 28 electrons, O 3+2+1.5+1+0.5 = 8.
  auto [pos, neg] = amplitudes(text, "PXC");
  EXPECT_DOUBLE_EQ(pos, 4 * 28 + 4 * 8);
  EXPECT_DOUBLE_EQ(neg, 0);
  // Neutron: the tabulated values times 10.
  std::tie(pos, neg) = amplitudes(text, "PNC");
  EXPECT_DOUBLE_EQ(pos, 10 * (4 * 1.03 + 4 * 0.58));
}

TEST(StructureSections, ElectronCountRoundsHalvesAwayFromZero) {
  std::string text = type_table_title(2) + type_entry("A", 0, 10, 10, 5, 0, 0.5) +  // 25.5
                     type_entry("B", 0, 1, -1, 0.25, -0.25, -0.5) +                 // -0.5
                     atom_list(atom("A", 1, 1.0, 0, 0, 0) + atom("B", 1, 1.0, 0.1, 0, 0));
  auto [pos, neg] = amplitudes(text, "PXC");
  EXPECT_DOUBLE_EQ(pos, 26);
  EXPECT_DOUBLE_EQ(neg, -1);
}

TEST(StructureSections, NegativeScatteringLengthsGoToTheNegativeAmplitude) {
  std::string text = type_table_title(2) + type_entry("H", -0.3739, 0, 0, 0, 0, 1) +
                     type_entry("C", 0.6646, 2, 1, 1, 1, 1) +
                     atom_list(atom("H", 8, 1.0, 0.1, 0.2, 0.3) + atom("C", 4, 0.5, 0, 0, 0));
  auto [pos, neg] = amplitudes(text, "PNT");
  EXPECT_NEAR(neg, 10 * 8 * -0.3739, 1e-12);
  EXPECT_NEAR(pos, 10 * 4 * 0.5 * 0.6646, 1e-12);
}

TEST(StructureSections, AtomsAtOnePositionAreOneSiteBeforeTheSign) {
  // A mixed site of a negative and a positive scatterer counts with its net value; a third
  // atom at the same printed position joins it and never starts a site of its own.
  std::string text =
      type_table_title(2) + type_entry("Ti", -0.3438, 1, 1, 1, 1, 1) +
      type_entry("Zr", 0.716, 1, 1, 1, 1, 1) +
      atom_list(atom("Ti", 2, 0.5, 0.25, 0.25, 0.25) + atom("Zr", 2, 0.25, 0.25, 0.25, 0.25) +
                atom("Ti", 4, 1.0, 0.5, 0.0, 0.0) + atom("Zr", 2, 0.25, 0.25, 0.25, 0.25));
  auto [pos, neg] = amplitudes(text, "PNC");
  EXPECT_NEAR(pos, 10 * (2 * 0.5 * -0.3438 + 2 * 0.25 * 0.716 * 2), 1e-12);
  EXPECT_NEAR(neg, 10 * 4 * -0.3438, 1e-12);
}

TEST(StructureSections, PassOverRulesComeBeforeTheEndRules) {
  // A page header that happens to carry "Lattice parameters" further on, blank-fronted
  // records and a repeated column heading are all passed over.
  std::string atoms = atom("O", 2, 1.0, 0, 0, 0) + "1 Lattice parameters (page header)\n" +
                      "             \n" + " Type seq  Name   mult\n" + " The atom positions are\n" +
                      atom("O", 2, 1.0, 0.5, 0, 0) + "  Constraints\n" +
                      atom("O", 100, 1.0, 0.7, 0, 0);
  std::string text =
      type_table_title(1) + type_entry("O", 0.58, 3, 2, 1.5, 1, 0.5) + " Type seq\n" + atoms;
  TextSource src;
  src.open_text("x.lst", text);
  StructureSections sections = read_structure_sections(src);
  ASSERT_EQ(sections.atoms.size(), 2u);
  EXPECT_EQ(sections.atoms[1].AtomX, 0.5);
  EXPECT_TRUE(starts(src.rec(), "  Constraints"));  // left on the record that ended the list
}

TEST(StructureSections, LastTypeEntryOfASymbolIsUsed) {
  std::string text = type_table_title(2) + type_entry("O", 0.1, 1, 1, 1, 1, 1) +
                     type_entry("O", 0.2, 1, 1, 1, 1, 1) + atom_list(atom("O", 1, 1.0, 0, 0, 0));
  EXPECT_DOUBLE_EQ(amplitudes(text, "PNC").first, 2.0);
}

TEST(StructureSections, UnknownAtomTypeNamesTheTypeAndLine) {
  std::string text = type_table_title(1) + type_entry("O", 0.58, 3, 2, 1.5, 1, 0.5) +
                     atom_list(atom("O", 1, 1.0, 0, 0, 0) + atom("Fe", 1, 1.0, 0.5, 0, 0));
  try {
    amplitudes(text, "PXC");
    FAIL() << "no failure";
  } catch (const IoFailure& e) {
    EXPECT_EQ(e.line, 6);
    EXPECT_NE(e.condition.find("'Fe'"), std::string::npos) << e.condition;
  }
}

TEST(StructureSections, MalformedInputIsReportedWithItsLine) {
  // Fewer than nine X-ray coefficients: only the X-ray evaluation needs them.
  std::string short_entry = " O          0.5803   3.0   1.0   2.0\n";
  std::string text = type_table_title(1) + short_entry + atom_list(atom("O", 1, 1.0, 0, 0, 0));
  EXPECT_DOUBLE_EQ(amplitudes(text, "PNC").first, 5.803);
  EXPECT_THROW(amplitudes(text, "PXC"), IoFailure);

  // A count of no types, letters in a coordinate, and a file that ends inside the list.
  EXPECT_THROW(amplitudes(type_table_title(0) + "x\n", "PNC"), IoFailure);
  std::string bad = atom("O", 1, 1.0, 0, 0, 0);
  bad.replace(45, 3, "abc");
  EXPECT_THROW(
      amplitudes(type_table_title(1) + type_entry("O", 1, 1, 1, 1, 1, 1) + atom_list(bad), "PNC"),
      IoFailure);
  EXPECT_THROW(amplitudes(type_table_title(1) + type_entry("O", 1, 1, 1, 1, 1, 1) + " Type seq\n" +
                              atom("O", 1, 1.0, 0, 0, 0),
                          "PNC"),
               IoFailure);
}

}  // namespace
}  // namespace memprep::test
