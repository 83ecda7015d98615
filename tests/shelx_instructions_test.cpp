// A SHELX instruction file against the structure CIF of the same model: the structure
// factors agree, with sof's on special positions, free variables, riding U's, continuation
// lines, comments and the instructions that do not shape the model; refused files name the
// line.
#include "readers/shelx_instructions.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <gemmi/cif.hpp>

#include "crystal/structure_cif.hpp"

namespace memprep {
namespace {

// C 1 2/c 1: Zn on the twofold axis (sof fixed at 1/2, x fixed at 0), O1 and O2 sharing a
// site through free variable 2, O2 and H1 with riding U's (both on O1: O2 rides itself), H2
// riding on the anisotropic O3, O4 on a twofold axis with the sof 11 SHELXL takes as the full
// site.
const char* const kInstructions = R"(TITL test in C2/c
    a comment line under the title
CELL 0.71073 9.0 6.0 8.0 90 100 90
ZERR 4 0.001 0.001 0.001 0 0.01 0
LATT 7
SYMM -X, Y, 1/2-Z
SFAC Zn O H
DISP Zn 0.284 1.430
DISP O 0.011 0.006
UNIT 4 16 8
L.S. 4
fmap 2
REM a remark =
FVAR 1.2 0.6
Zn1 1 10.0 0.2 10.25 10.5 0.011 0.012 0.013 0.0 0.002 =
   0.0
resi 1
O1 2 0.1 0.3 0.4 21.0 0.02 ! the major site
resi 2
O2 2 0.15 0.35 0.45 -21.0 -1.5
resi 0
AFIX 43
H1 3 0.2 0.4 0.1 11.0 -1.2
AFIX 0
O3 2 0.3 0.1 0.2 11.0 0.02 0.021 0.022 0.001 0.002 0.003
H2 3 0.35 0.15 0.25 11.0 -1.5
O4 2 0.5 0.1 0.25 11.0 0.02
Q1 1 0.3 0.3 0.3 11.0 0.05 1.2
HKLF 4
O9 2 not read after HKLF
END
)";

const char* const kStructure = R"(data_same
_cell_length_a 9.0
_cell_length_b 6.0
_cell_length_c 8.0
_cell_angle_alpha 90
_cell_angle_beta 100
_cell_angle_gamma 90
_space_group_name_H-M_alt 'C 1 2/c 1'
loop_
_atom_type_symbol _atom_type_scat_dispersion_real _atom_type_scat_dispersion_imag
Zn 0.284 1.430
O 0.011 0.006
loop_
_atom_site_label _atom_site_type_symbol _atom_site_fract_x _atom_site_fract_y
_atom_site_fract_z _atom_site_U_iso_or_equiv _atom_site_adp_type _atom_site_occupancy
Zn1 Zn 0 0.2 0.25 0.012 Uani 1
O1 O 0.1 0.3 0.4 0.02 Uiso 0.6
O2 O 0.15 0.35 0.45 0.03 Uiso 0.4
H1 H 0.2 0.4 0.1 0.024 Uiso 1
O3 O 0.3 0.1 0.2 0.0212 Uani 1
H2 H 0.35 0.15 0.25 0.03179482106943135 Uiso 1
O4 O 0.5 0.1 0.25 0.02 Uiso 1
loop_
_atom_site_aniso_label _atom_site_aniso_U_11 _atom_site_aniso_U_22 _atom_site_aniso_U_33
_atom_site_aniso_U_12 _atom_site_aniso_U_13 _atom_site_aniso_U_23
Zn1 0.011 0.012 0.013 0 0.002 0
O3 0.02 0.021 0.022 0.003 0.002 0.001
)";

crystal::Model read(const std::string& text) {
  TextSource src;
  src.open_text("test.res", text);
  return read_shelx_instructions(src, crystal::Radiation::xray);
}

TEST(ShelxInstructions, SameStructureFactorsAsTheCif) {
  crystal::Model res = read(kInstructions);
  gemmi::cif::Document doc = gemmi::cif::read_string(kStructure);
  crystal::Model cif =
      crystal::structure_from_cif(doc.blocks.at(0), crystal::Radiation::xray).model;
  ASSERT_EQ(res.atoms.size(), 7u);
  EXPECT_EQ(res.group.order(), cif.group.order());
  EXPECT_EQ(res.atoms[0].occupancy, 1);
  EXPECT_EQ(res.atoms[0].line, 15);
  EXPECT_DOUBLE_EQ(res.atoms[1].occupancy, 0.6);
  EXPECT_DOUBLE_EQ(res.atoms[2].occupancy, 0.4);
  crystal::StructureFactors F_res(res), F_cif(cif);
  for (int h = -4; h <= 4; ++h)
    for (int k = 0; k <= 3; ++k)
      for (int l = -4; l <= 4; ++l) {
        std::complex<double> a = F_res(h, k, l), b = F_cif(h, k, l);
        ASSERT_LT(std::abs(a - b), 1e-9 * (1 + std::abs(b))) << h << " " << k << " " << l;
      }
  // Without DISP, f' and f'' for CELL's wavelength: at Mo K-alpha the International Tables
  // give Zn 0.284 and 1.430, O 0.0106 and 0.0060.
  std::string no_disp = kInstructions;
  no_disp.erase(no_disp.find("DISP"),
                std::string_view("DISP Zn 0.284 1.430\nDISP O 0.011 0.006\n").size());
  crystal::Model computed = read(no_disp);
  EXPECT_NEAR(computed.atoms[0].fprime, 0.284, 0.01);
  EXPECT_NEAR(computed.atoms[0].fdoubleprime, 1.430, 0.01);
  EXPECT_NEAR(computed.atoms[1].fprime, 0.0106, 0.0005);
  EXPECT_NEAR(computed.atoms[1].fdoubleprime, 0.0060, 0.0003);
}

TEST(ShelxInstructions, RefusedFilesNameTheLine) {
  struct Case {
    const char* from;
    const char* to;
    const char* message;
  } cases[] = {
      {"CELL 0.71073 9.0 6.0 8.0 90 100 90\n", "", "test.res: no CELL"},
      {"CELL 0.71073 9.0 6.0 8.0", "CELL 0.71073 9.0 6.0 8.x", "test.res:3: CELL: values"},
      {"Zn1 1 10.0", "Zn1 4 10.0", "test.res:15: atom 'Zn1': SFAC defines no scattering factor 4"},
      {"0.3 0.4 21.0", "0.3 0.4 31.0", "test.res:18: atom 'O1': the site occupation factor 31"},
      {"O2 2 0.15", "O2 2 0.1a", "test.res:20: atom 'O2': '0.1a' is not a number"},
      {"HKLF 4\nO9 2 not read after HKLF\nEND\n", "", "test.res: the file ends before HKLF or END"},
      {"SYMM -X, Y, 1/2-Z", "SYMM -X, Y, 1/2-Q", "test.res:5: LATT and SYMM"},
      {"DISP Zn", "DISP Cu", "test.res:8: DISP: 'Cu' is not an element of SFAC"},
      {"0.011 0.012 0.013 0.0 0.002 =\n   0.0", "0.011 0.012 0.013", "7 values"},
      {"O1 2 0.1 0.3 0.4 21.0 0.02", "O1 2", "'O1' is not an instruction, and too short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    std::string text = kInstructions;
    text.replace(text.find(c.from), std::string_view(c.from).size(), c.to);
    try {
      read(text);
      ADD_FAILURE() << "accepted";
    } catch (const IoFailure& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace memprep
