// The model of a structure CIF, the unique index of a reflection against the structure
// factors it relates, and the F² fit.
#include "crystal/structure_cif.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <gemmi/cif.hpp>
#include <random>
#include <set>
#include <tuple>

namespace memprep {
namespace {

using crystal::Radiation;
constexpr double pi = 3.14159265358979323846;

// An acentric structure in P 21 21 21 (the operators given, with the H-M name and number
// that agree with them): an anisotropic Zn given by U_ij, an isotropic O by B, a hydrogen
// by U, a dummy atom that does not scatter.
const char* const kStructure = R"(data_test
_cell_length_a 5.1(1)
_cell_length_b 6.2
_cell_length_c 7.3
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_IT_number 19
_symmetry_space_group_name_H-M 'P 21 21 21'
loop_
_space_group_symop_operation_xyz
x,y,z -x+1/2,-y,z+1/2 -x,y+1/2,-z+1/2 x+0.5,-y+0.5,-z
_exptl_crystal_F_000 150
_diffrn_radiation_wavelength 0.71073
loop_
_atom_type_symbol _atom_type_scat_dispersion_real _atom_type_scat_dispersion_imag
_atom_type_scat_length_neutron
Zn 0.284 1.430 0.568
O 0.011 0.006 0.5803
H 0 0 -0.3739
loop_
_atom_site_label _atom_site_type_symbol _atom_site_fract_x _atom_site_fract_y
_atom_site_fract_z _atom_site_U_iso_or_equiv _atom_site_B_iso_or_equiv _atom_site_adp_type
_atom_site_occupancy _atom_site_calc_flag
Zn1 Zn 0.1 0.2 0.3 0.02 . Uani 1 d
O1 O 0.4 0.1(2) 0.7 . 1.5 Biso 0.5 d
H1 H 0.45 0.15 0.75 0.05 . Uiso . calc
X1 Cl 0.5 0.5 0.5 0 . Uiso 1 dum
loop_
_atom_site_aniso_label _atom_site_aniso_U_11 _atom_site_aniso_U_22 _atom_site_aniso_U_33
_atom_site_aniso_U_23 _atom_site_aniso_U_13 _atom_site_aniso_U_12
Zn1 0.011 0.012 0.013 0.001 0.002 0.003
)";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

crystal::CifStructure read(const std::string& text, Radiation radiation = Radiation::xray) {
  gemmi::cif::Document doc = gemmi::cif::read_string(text);
  return crystal::structure_from_cif(doc.blocks.at(0), radiation);
}

// The dotted spelling of every tag: `_atom_site_fract_x` as `_atom_site.fract_x`.
std::string dotted(std::string text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '_' || (i > 0 && !std::isspace(static_cast<unsigned char>(text[i - 1]))))
      continue;
    for (std::string_view category :
         {"_cell_", "_space_group_symop_", "_space_group_", "_symmetry_", "_exptl_crystal_",
          "_diffrn_radiation_", "_atom_type_", "_atom_site_aniso_", "_atom_site_"})
      if (text.compare(i, category.size(), category) == 0) {
        text[i + category.size() - 1] = '.';
        break;
      }
  }
  return text;
}

TEST(StructureCif, ModelOfTheBlockInBothSpellings) {
  for (const std::string& text : {std::string(kStructure), dotted(kStructure)}) {
    SCOPED_TRACE(text.substr(text.find("_cell"), 16));
    crystal::CifStructure s = read(text);
    EXPECT_TRUE(s.has_atoms);
    EXPECT_DOUBLE_EQ(s.model.cell.a, 5.1);
    EXPECT_DOUBLE_EQ(s.model.cell.c, 7.3);
    EXPECT_EQ(s.model.group.number(), 19);
    EXPECT_EQ(s.F000, 150);
    EXPECT_DOUBLE_EQ(s.wavelength, 0.71073);
    ASSERT_EQ(s.model.atoms.size(), 3u);  // the dummy atom left out
    const crystal::Atom& zn = s.model.atoms[0];
    EXPECT_TRUE(zn.anisotropic);
    EXPECT_EQ(zn.B_iso, 0);
    // U11 U22 U33 U12 U13 U23, whatever order the loop has them in.
    EXPECT_EQ(zn.U, (std::array<double, 6>{0.011, 0.012, 0.013, 0.003, 0.002, 0.001}));
    EXPECT_DOUBLE_EQ(zn.fprime, 0.284);
    EXPECT_DOUBLE_EQ(zn.fdoubleprime, 1.430);
    const crystal::Atom& o = s.model.atoms[1];
    EXPECT_FALSE(o.anisotropic);
    EXPECT_DOUBLE_EQ(o.B_iso, 1.5);
    EXPECT_DOUBLE_EQ(o.xyz[1], 0.1);
    EXPECT_DOUBLE_EQ(o.occupancy, 0.5);
    const crystal::Atom& h = s.model.atoms[2];
    EXPECT_DOUBLE_EQ(h.B_iso, 8 * pi * pi * 0.05);
    EXPECT_EQ(h.occupancy, 1);  // '.' is a full site
  }
  // Neutron lengths are given in 1e-12 cm.
  crystal::CifStructure n = read(kStructure, Radiation::neutron);
  EXPECT_EQ(n.model.radiation, Radiation::neutron);
  EXPECT_DOUBLE_EQ(n.model.atoms[0].b_fm, 5.68);
  EXPECT_DOUBLE_EQ(n.model.atoms[2].b_fm, -3.739);
  // B_ij for U_ij; a block of a reflection file, without atoms, still has its cell and group.
  crystal::CifStructure b =
      read(replaced(replaced(replaced(kStructure, "_atom_site_aniso_U_11 _atom_site_aniso_U_22",
                                      "_atom_site_aniso_B_11 _atom_site_aniso_B_22"),
                             "_atom_site_aniso_U_33\n_atom_site_aniso_U_23 _atom_site_aniso_U_13 "
                             "_atom_site_aniso_U_12",
                             "_atom_site_aniso_B_33\n_atom_site_aniso_B_23 _atom_site_aniso_B_13 "
                             "_atom_site_aniso_B_12"),
                    "Zn1 0.011", "Zn1 0.7896"));
  EXPECT_NEAR(b.model.atoms[0].U[0], 0.01, 1e-6);
  std::string no_atoms = kStructure;
  no_atoms.erase(no_atoms.find("loop_\n_atom_site_label"));
  crystal::CifStructure bare = read(no_atoms);
  EXPECT_FALSE(bare.has_atoms);
  EXPECT_TRUE(bare.model.atoms.empty());
  EXPECT_EQ(bare.model.group.order(), 4);
}

TEST(StructureCif, RefusedBlocksNameTheItem) {
  struct Case {
    const char* from;
    const char* to;
    const char* message;
  } cases[] = {
      {"_cell_length_b 6.2\n", "", "_cell_length_b is missing"},
      {"_cell_angle_beta 90", "_cell_angle_beta ?", "_cell_angle_beta (line 6): '?' is not"},
      {"_cell_angle_gamma 90", "_cell_angle_gamma 190", "is not a cell"},
      {"'P 21 21 21'", "'P 21 21 2'", "describe different space groups"},
      {"_space_group_IT_number 19", "_space_group_IT_number 19.5", "is not a space-group number"},
      {"-x,y+1/2,-z+1/2", "-x,y+1/2,-z+1/3", "_space_group_symop_operation_xyz (loop at line 10)"},
      {"O1 O 0.4", "O1 O abc", "_atom_site_fract_x (loop at line 21) of atom 'O1': 'abc'"},
      {"O1 O 0.4 0.1(2) 0.7 . 1.5", "O1 O 0.4 0.1(2) 0.7 . .", "of atom 'O1': no U_iso"},
      {"\nZn1 0.011", "\nZn2 0.011", "'Zn2' is not an atom of _atom_site_label"},
      {"_atom_site_aniso_U_23", "_atom_site_aniso_U_32", "neither all of _atom_site_aniso_U_ij"},
      {"Uiso . calc", "Uani . calc", "atom 'H1' is anisotropic but has no row"},
      {"Zn 0.284 1.430 0.568", "Zn 0.284 x 0.568", "_atom_type_scat_dispersion_imag (loop"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    try {
      read(replaced(kStructure, c.from, c.to));
      ADD_FAILURE() << "accepted";
    } catch (const crystal::ModelError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // No symmetry at all is not P 1.
  std::string none = kStructure;
  none.erase(none.find("_space_group_IT"), none.find("_exptl") - none.find("_space_group_IT"));
  EXPECT_THROW(read(none), crystal::ModelError);
}

// F at an equivalent index, turned by the unique index's phase shift (and conjugated for a
// Friedel mate), is F at the index kept; all equivalents keep the same index, and the kept
// one keeps itself. Groups with screw axes and glide planes, two of them in settings other
// than the reference one, and one the table does not hold (P 21 21 21 with its origin moved
// by 1/8 along each axis); Friedel mates merged without anomalous scattering and kept apart
// with it.
TEST(UniqueIndex, PhaseOfTheKeptIndexFollowsFromTheStructureFactors) {
  struct Case {
    std::vector<std::string> operators;
    std::string hm;
    crystal::Cell cell;
  } cases[] = {
      {{}, "P 1 21 1", {7.7, 8.7, 10.9, 90, 103, 90}},
      {{}, "P 21 21 21", {5, 6, 7, 90, 90, 90}},
      {{}, "P 1 1 21", {7.7, 8.7, 10.9, 90, 90, 110}},
      {{}, "C 1 c 1", {9, 6, 8, 90, 100, 90}},
      {{}, "P 43 21 2", {5, 5, 7, 90, 90, 90}},
      {{}, "P 61 2 2", {5, 5, 9, 90, 90, 120}},
      {{}, "P 31 2 1", {5, 5, 9, 90, 90, 120}},
      {{}, "F d d 2", {8, 9, 10, 90, 90, 90}},
      {{}, "I -4 c 2", {6, 6, 8, 90, 90, 90}},
      {{}, "P 21 3", {6, 6, 6, 90, 90, 90}},
      {{"x,y,z", "-x+1/4,-y+1/4,z+1/2", "-x+1/4,y+1/2,-z+1/4", "x+1/2,-y+1/4,-z+1/4"},
       "",
       {5, 6, 7, 90, 90, 90}},
  };
  std::mt19937 random(20);
  std::uniform_real_distribution<double> coordinate(0, 1), small(-0.004, 0.004);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hm);
    crystal::SymmetryGiven given;
    given.hm = c.hm;
    given.operators = c.operators;
    crystal::Model m;
    m.group = crystal::space_group(given);
    EXPECT_EQ(m.group.number() == 0, c.hm.empty());
    m.cell = c.cell;
    for (const char* type : {"Fe", "O", "C"}) {
      crystal::Atom a;
      a.label = a.type = type;
      a.xyz = {coordinate(random), coordinate(random), coordinate(random)};
      a.anisotropic = true;
      a.U = {0.01 + small(random), 0.012, 0.014, small(random), small(random), small(random)};
      a.fprime = 0.3;
      m.atoms.push_back(a);
    }
    for (bool anomalous : {false, true}) {
      m.atoms[0].fdoubleprime = anomalous ? 2.0 : 0.0;
      crystal::StructureFactors F(m);
      std::set<std::tuple<int, int, int>> kept;
      int friedel = 0;
      for (int h = -3; h <= 3; ++h)
        for (int k = -3; k <= 3; ++k)
          for (int l = -3; l <= 3; ++l) {
            if (crystal::reflection_info(m.group, m.cell, h, k, l).absent) continue;
            crystal::UniqueIndex u = crystal::unique_index(m.group, h, k, l, anomalous);
            std::complex<double> Fg = F(h, k, l), Fk = F(u.h, u.k, u.l);
            std::complex<double> turned =
                (u.friedel ? std::conj(Fg) : Fg) * std::polar(1.0, u.phase_shift);
            ASSERT_LT(std::abs(turned - Fk), 1e-9 * (1 + std::abs(Fk)))
                << h << " " << k << " " << l << " -> " << u.h << " " << u.k << " " << u.l;
            EXPECT_FALSE(anomalous && u.friedel);
            friedel += u.friedel;
            crystal::UniqueIndex again = crystal::unique_index(m.group, u.h, u.k, u.l, anomalous);
            EXPECT_EQ(std::tie(again.h, again.k, again.l), std::tie(u.h, u.k, u.l));
            for (const crystal::SymOp& op : m.group.operations()) {
              int e[3];
              for (int j = 0; j < 3; ++j)
                e[j] = h * op.rot[0][j] + k * op.rot[1][j] + l * op.rot[2][j];
              crystal::UniqueIndex o = crystal::unique_index(m.group, e[0], e[1], e[2], anomalous);
              ASSERT_EQ(std::tie(o.h, o.k, o.l), std::tie(u.h, u.k, u.l));
            }
            kept.insert({u.h, u.k, u.l});
          }
      EXPECT_GT(friedel, anomalous ? -1 : 0);
      EXPECT_GT(kept.size(), 10u);
    }
  }
}

TEST(FSquaredFit, ScaleAndResidualOverTheUsableValues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The file's values twice the model's, but for one: k = Σ f m / Σ m² = 36.2 / 18.2;
  // the NaN and the negative one are left out.
  crystal::FSquaredFit fit = crystal::fit_f_squared({2, 8, 18.2, nan, -1}, {1, 4, 9, nan, 3});
  double k = (2 + 32 + 18.2 * 9) / (1 + 16 + 81);
  EXPECT_EQ(fit.used, 3u);
  EXPECT_DOUBLE_EQ(fit.scale, k);
  // R is a sum of small differences: compared to the rounding of its terms, not its own.
  EXPECT_NEAR(fit.R, (std::abs(2 - k) + std::abs(8 - 4 * k) + std::abs(18.2 - 9 * k)) / 28.2,
              1e-14);
  // A model that explains nothing is the worst fit, not a perfect one.
  EXPECT_EQ(crystal::fit_f_squared({1, 2}, {0, 0}).R, 1);
  EXPECT_EQ(crystal::fit_f_squared({}, {}).R, 1);
  EXPECT_THROW(crystal::fit_f_squared({1}, {1, 2}), crystal::ModelError);
}

}  // namespace
}  // namespace memprep
