// The crystal layer against values worked by hand, and the model read from a FullProf output.
#include "crystal/crystal.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "crystal/model_check.hpp"
#include "readers/fullprof_model.hpp"

namespace memprep {
namespace {

using crystal::Atom;
using crystal::Model;
using crystal::Radiation;
using crystal::StructureFactors;
using crystal::SymmetryGiven;
using cd = std::complex<double>;
constexpr double pi = std::numbers::pi;

Atom atom(std::string type, std::array<double, 3> xyz, double occupancy = 1) {
  Atom a;
  a.label = type;
  a.type = std::move(type);
  a.xyz = xyz;
  a.occupancy = occupancy;
  return a;
}

Model model(std::string hm, crystal::Cell cell, Radiation radiation, std::vector<Atom> atoms) {
  Model m;
  SymmetryGiven g;
  g.hm = std::move(hm);
  m.group = crystal::space_group(g);
  m.cell = cell;
  m.radiation = radiation;
  m.atoms = std::move(atoms);
  return m;
}

SymmetryGiven given(int number, std::string hm, std::string hall = {},
                    std::vector<std::string> operators = {},
                    std::vector<std::string> some_operators = {}, int setting = 0) {
  SymmetryGiven g;
  g.number = number;
  g.setting = setting;
  g.hm = std::move(hm);
  g.hall = std::move(hall);
  g.operators = std::move(operators);
  g.some_operators = std::move(some_operators);
  return g;
}

// Neutron lengths of the tables (fm): Ti -3.438, C 6.646, Zn 5.68, S 2.847.
// TiC, rock salt (F m -3 m, centric): Ti on 4a (0,0,0), C on 4b (1/2,1/2,1/2), both special
// (m = 4 of M = 192). With the F lattice, F = 4 (b_Ti + b_C (-1)^(h+k+l)) for unmixed hkl:
// F(111) = 4 (-3.438 - 6.646) = -40.336, F(200) = 4 (-3.438 + 6.646) = 12.832; mixed (100)
// is absent. Ti at half occupancy halves its term: F(111) = 4 (-1.719 - 6.646) = -33.46.
// ZnS, zinc blende (F -4 3 m, acentric): Zn (0,0,0), S (1/4,1/4,1/4); the S term carries
// exp(2 pi i (h+k+l)/4): F(111) = 4 (5.68 - 2.847 i), F(200) = 4 (5.68 - 2.847) = 11.332,
// F(220) = 4 (5.68 + 2.847) = 34.108, and F(-1-1-1) = 4 (5.68 + 2.847 i).
TEST(StructureFactor, HandWorkedNeutronStructures) {
  const crystal::Cell cubic{4.33, 4.33, 4.33, 90, 90, 90};
  Model tic = model("F m -3 m", cubic, Radiation::neutron,
                    {atom("Ti", {0, 0, 0}), atom("C", {0.5, 0.5, 0.5})});
  Model half = tic;
  half.atoms[0].occupancy = 0.5;
  Model zns = model("F -4 3 m", cubic, Radiation::neutron,
                    {atom("Zn", {0, 0, 0}), atom("S", {0.25, 0.25, 0.25})});
  struct Row {
    const Model* m;
    int h, k, l;
    cd F;
  } rows[] = {
      {&tic, 1, 1, 1, -40.336},
      {&tic, 2, 0, 0, 12.832},
      {&tic, 1, 0, 0, 0},
      {&half, 1, 1, 1, -33.46},
      {&zns, 1, 1, 1, {22.72, -11.388}},
      {&zns, -1, -1, -1, {22.72, 11.388}},
      {&zns, 2, 0, 0, 11.332},
      {&zns, 2, 2, 0, 34.108},
  };
  for (const Row& r : rows) {
    cd F = StructureFactors(*r.m)(r.h, r.k, r.l);
    EXPECT_NEAR(F.real(), r.F.real(), 1e-9) << r.h << r.k << r.l;
    EXPECT_NEAR(F.imag(), r.F.imag(), 1e-9) << r.h << r.k << r.l;
  }
  // F000 over the cell (4 of each atom): TiC 4 x 6.646 = 26.584 and 4 x -3.438 = -13.752;
  // X-ray ZnS: 4 x (30 + 16) = 184 electrons.
  auto amp = crystal::f000(tic);
  EXPECT_NEAR(amp.positive, 26.584, 1e-9);
  EXPECT_NEAR(amp.negative, -13.752, 1e-9);
  zns.radiation = Radiation::xray;
  amp = crystal::f000(zns);
  EXPECT_EQ(amp.positive, 184);
  EXPECT_EQ(amp.negative, 0);
}

// X-rays, ZnS: F(200) = 4 (f_Zn - f_S) at s² = 1/(4 d²) = 4/(4 a²) = 1/a², with f from the IT92
// coefficients (a1..a4, b1..b4, c) of International Tables vol. C, table 6.1.1.4. With
// f'' = 2 on Zn, F(111) = 4 (f_Zn + i 2 - i f_S) and F(-1-1-1) = 4 (f_Zn + i 2 + i f_S):
// Friedel's law broken, |F(111)| < |F(-1-1-1)|.
TEST(StructureFactor, XrayFormFactorsAndDispersion) {
  auto f = [](const double(&c)[9], double s2) {
    double v = c[8];
    for (int i = 0; i < 4; ++i) v += c[i] * std::exp(-c[4 + i] * s2);
    return v;
  };
  const double Zn[9] = {14.0743, 7.0318, 5.1652, 2.41, 3.2655, 0.2333, 10.3163, 58.7097, 1.3041};
  const double S[9] = {6.9053, 5.2034, 1.4379, 1.5863, 1.4679, 22.2151, 0.2536, 56.172, 0.8669};
  const double a = 5.41;
  Model zns = model("F -4 3 m", {a, a, a, 90, 90, 90}, Radiation::xray,
                    {atom("Zn", {0, 0, 0}), atom("S", {0.25, 0.25, 0.25})});
  double s2 = 1 / (a * a);
  EXPECT_NEAR(StructureFactors(zns)(2, 0, 0).real(), 4 * (f(Zn, s2) - f(S, s2)), 1e-9);
  zns.atoms[0].fdoubleprime = 2;
  s2 = 3 / (4 * a * a);
  StructureFactors sf(zns);
  cd F = sf(1, 1, 1), Fbar = sf(-1, -1, -1);
  EXPECT_NEAR(F.real(), 4 * f(Zn, s2), 1e-9);
  EXPECT_NEAR(F.imag(), 4 * (2 - f(S, s2)), 1e-9);
  EXPECT_NEAR(Fbar.imag(), 4 * (2 + f(S, s2)), 1e-9);
}

// P 4 (acentric), a = c = 5: one atom at (0.1, 0.2, 0), b = 1 fm, U11 = 0.02, other U 0. The
// fourfold (-y, x, z) turns U11 into U22, so for (100) the images by 1 and 2_z keep
// D = exp(-2 pi² U11 a*²) = exp(-2 pi² 0.02 / 25) and the two by 4 and 4³ have none:
// F(100) = 2 D cos(2 pi 0.1) + 2 cos(2 pi 0.2) (the sines cancel in pairs). B = 1 on top
// multiplies by exp(-B / (4 a²)).
TEST(StructureFactor, AnisotropicAtomTurnsWithTheOperations) {
  Atom a = atom("X", {0.1, 0.2, 0});
  a.b_fm = 1;
  a.anisotropic = true;
  a.U = {0.02, 0, 0, 0, 0, 0};
  Model m = model("P 4", {5, 5, 5, 90, 90, 90}, Radiation::neutron, {a});
  const double D = std::exp(-2 * pi * pi * 0.02 / 25);
  const double F100 = 2 * D * std::cos(0.2 * pi) + 2 * std::cos(0.4 * pi);
  EXPECT_NEAR(StructureFactors(m)(1, 0, 0).real(), F100, 1e-12);
  EXPECT_NEAR(StructureFactors(m)(1, 0, 0).imag(), 0, 1e-12);
  m.atoms[0].B_iso = 1;
  EXPECT_NEAR(StructureFactors(m)(1, 0, 0).real(), F100 * std::exp(-1.0 / 100), 1e-12);
}

// P 3 (a = b = 5, c = 6, gamma = 120): an atom at (0.1, 0.2, 0.3) with U11 = 0.02 alone,
// b = 1 fm. The image by R carries exp(-beta11 n²), n the first component of R^T h, beta11 =
// 2 pi² U11 a*², a*² = 4 / (3 a²). For (1 1 0): x,y,z: n = 1, h.p = 0.3; -y,x-y,z: n = 1,
// p = (-0.2, -0.1), h.p = -0.3; -x+y,-x,z: n = -2, p = (0.1, -0.1), h.p = 0. So F(110) =
// 2 exp(-beta11) cos(0.6 pi) + exp(-4 beta11). In P 1 with U11, U22, U12 = 0.01, 0.02, 0.004
// at the origin of a 5 Å cube: F(110) = exp(-2 pi² (U11 + U22 + 2 U12) / 25).
// P -1 with the centre at (1/4, 0, 0) (operators x,y,z and -x+1/2,-y,-z) and an atom at
// (0.1, 0.2, 0.3), B = 0: images at h.p = 0.1 and 0.4 for (1 0 0): F = exp(0.2 pi i) +
// exp(0.8 pi i) = 2 i sin(0.2 pi); for (2 0 0): 2 cos(0.4 pi).
TEST(StructureFactor, AnisotropicCrossTermsAndShiftedCentre) {
  Atom a = atom("X", {0.1, 0.2, 0.3});
  a.b_fm = 1;
  a.anisotropic = true;
  a.U = {0.02, 0, 0, 0, 0, 0};
  Model p3 = model("P 3", {5, 5, 6, 90, 90, 120}, Radiation::neutron, {a});
  const double beta11 = 2 * pi * pi * 0.02 * 4 / 75;
  EXPECT_NEAR(StructureFactors(p3)(1, 1, 0).real(),
              2 * std::exp(-beta11) * std::cos(0.6 * pi) + std::exp(-4 * beta11), 1e-12);
  a.xyz = {0, 0, 0};
  a.U = {0.01, 0.02, 0, 0.004, 0, 0};
  Model p1 = model("P 1", {5, 5, 5, 90, 90, 90}, Radiation::neutron, {a});
  EXPECT_NEAR(StructureFactors(p1)(1, 1, 0).real(), std::exp(-2 * pi * pi * 0.038 / 25), 1e-12);
  Model shifted = p1;
  shifted.group = crystal::space_group(given(0, "", "", {"x,y,z", "-x+1/2,-y,-z"}));
  shifted.atoms[0].anisotropic = false;
  shifted.atoms[0].xyz = {0.1, 0.2, 0.3};
  cd F100 = StructureFactors(shifted)(1, 0, 0), F200 = StructureFactors(shifted)(2, 0, 0);
  EXPECT_NEAR(F100.real(), 0, 1e-12);
  EXPECT_NEAR(F100.imag(), 2 * std::sin(0.2 * pi), 1e-12);
  EXPECT_NEAR(F200.real(), 2 * std::cos(0.4 * pi), 1e-12);
  EXPECT_NEAR(F200.imag(), 0, 1e-12);
}

// Multiplicities of the powder pattern (Laue group, Friedel mates counted), extinctions of
// the lattice and of the n glide of P n m a (0kl: k+l = 2n; h00: h = 2n), centric zones,
// d = a / sqrt(h²+k²+l²) in a cubic cell; site multiplicities from the Wyckoff tables.
TEST(Symmetry, ReflectionsAndSites) {
  auto F = crystal::space_group(given(0, "F m -3 m")), P = crystal::space_group(given(62, "")),
       Q = crystal::space_group(given(0, "P 4"));
  const crystal::Cell cubic{5, 5, 5, 90, 90, 90};
  struct Row {
    const crystal::SpaceGroup* g;
    int h, k, l, mult;
    bool absent, centric;
  } rows[] = {
      {&F, 1, 1, 1, 8, false, true},  {&F, 2, 0, 0, 6, false, true}, {&F, 2, 2, 0, 12, false, true},
      {&F, 1, 0, 0, 6, true, true},   {&F, 1, 2, 3, 48, true, true}, {&P, 0, 1, 2, 4, true, true},
      {&P, 0, 2, 0, 2, false, true},  {&P, 1, 0, 0, 2, true, true},  {&Q, 1, 2, 0, 4, false, true},
      {&Q, 1, 2, 3, 8, false, false},
  };
  for (const Row& r : rows) {
    auto info = crystal::reflection_info(*r.g, cubic, r.h, r.k, r.l);
    EXPECT_EQ(info.multiplicity, r.mult) << r.h << r.k << r.l;
    EXPECT_EQ(info.absent, r.absent) << r.h << r.k << r.l;
    EXPECT_EQ(info.centric, r.centric) << r.h << r.k << r.l;
  }
  EXPECT_NEAR(crystal::reflection_info(F, cubic, 1, 1, 1).d, 5 / std::sqrt(3.0), 1e-12);
  EXPECT_EQ(F.order(), 192);
  EXPECT_EQ(F.site_multiplicity({0, 0, 0}), 4);
  EXPECT_EQ(F.site_multiplicity({0.23, 0, 0}), 24);
  EXPECT_EQ(F.site_multiplicity({0.11, 0.23, 0.37}), 192);
  EXPECT_EQ(P.site_multiplicity({0.18749, 0.25, 0.16719}), 4);
  EXPECT_EQ(P.site_multiplicity({0.08103, 0.02708, 0.80905}), 8);
}

// Number, symbols and operators name one group or are refused with both named; the old cubic
// symbol without the bar and a number without setting take the setting the Hall symbol has.
TEST(Symmetry, GivenPiecesMustAgree) {
  auto g = crystal::space_group(given(62, "P n m a", "-P 2ac 2n", {}, {"x+1/2,-y+1/2,-z+1/2"}));
  EXPECT_EQ(g.number(), 62);
  EXPECT_TRUE(g.centrosymmetric());
  EXPECT_TRUE(g.contains("-x+0.5,-y,z+0.5"));
  EXPECT_FALSE(g.contains("x+1/2,y,z"));
  EXPECT_FALSE(g.contains("-x,y,z"));
  auto ops = crystal::space_group(given(
      0, "", "", {"x,y,z", "-x+0.5,-y,z+0.5", "-x,y+1/2,-z", "x+1/2,-y+1/2,-z+1/2", "-x,-y,-z"}));
  EXPECT_EQ(ops.number(), 62);
  EXPECT_EQ(ops.order(), 8);
  auto fd3m = crystal::space_group(given(227, "F d 3 m", "-F 4vw 2vw 3"));
  EXPECT_EQ(fd3m.hm(), "F d -3 m:2");
  struct Bad {
    SymmetryGiven given;
    const char* message;
  } bad[] = {
      {given(61, "P n m a"),
       "the Hermann-Mauguin symbol 'P n m a' and space-group number 61 describe different "
       "space groups"},
      {given(0, "P n m a", "-P 2ac 2"),
       "the Hall symbol '-P 2ac 2' and the Hermann-Mauguin symbol 'P n m a' describe different "
       "space groups"},
      {given(227, "", "-F 4vw 2vw 3", {}, {}, 1),
       "the Hall symbol '-F 4vw 2vw 3' and space-group number 227 setting 1 describe different "
       "space groups"},
      {given(0, "P n m a", "", {}, {"x+1/2,y,z"}),
       "operator 'x+1/2,y,z' is not in the group of the Hermann-Mauguin symbol 'P n m a'"},
      {given(231, ""), "space-group number 231 is not a space group"},
      {given(0, "", "", {"x,y,z+0.3"}),
       "operator 'x,y,z+0.3': translation '0.3' is not a multiple of 1/24"},
  };
  for (const Bad& b : bad) {
    try {
      crystal::space_group(b.given);
      ADD_FAILURE() << "accepted: " << b.message;
    } catch (const crystal::ModelError& e) {
      EXPECT_STREQ(e.what(), b.message);
    }
  }
}

// A constant ratio Icalc / (m |F|² LP) is the scale with no spread; reflections 10 % and 30 %
// off stand out, the larger first, and one below the intensity threshold is not looked at.
TEST(ModelCheck, ScaleSpreadAndOutliers) {
  using crystal::Geometry;
  std::vector<crystal::CheckedReflection> r;
  for (int i = 1; i <= 9; ++i) {
    crystal::CheckedReflection x;
    x.multiplicity = i % 3 + 2;
    x.F2 = 10.0 * i;
    x.two_theta = 10.0 * i;
    x.Icalc =
        2 * x.multiplicity * x.F2 * crystal::lorentz_polarisation(Geometry::xray, x.two_theta, 0);
    r.push_back(x);
  }
  r[4].Icalc *= 1.1;
  r[6].Icalc *= 1.3;
  r[8].Icalc = 1e-9;
  auto c = crystal::model_check(r, Geometry::xray);
  EXPECT_EQ(c.used, 8u);
  EXPECT_DOUBLE_EQ(c.scale, 2);
  EXPECT_EQ(c.outliers, (std::vector<std::size_t>{6, 4}));
  EXPECT_NEAR(c.worst, 0.3, 1e-12);
  // X-rays at 2 theta = 90: (1 + 0) / (sin² 45 cos 45) = 2 sqrt 2; neutrons the same without
  // the polarisation; time of flight d⁴.
  EXPECT_NEAR(crystal::lorentz_polarisation(Geometry::xray, 90, 0), 2 * std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(crystal::lorentz_polarisation(Geometry::neutron, 60, 0),
              1 / (0.25 * std::cos(pi / 6)), 1e-12);
  EXPECT_DOUBLE_EQ(crystal::lorentz_polarisation(Geometry::time_of_flight, 0, 2), 16);
}

// A FullProf output of lead sulphate (P n m a, neutrons) in the program's layout, abridged:
// the initial atoms at other values than the last cycle's, which must win.
const char* kPbso4 = R"( => Global Refinement of neutron powder data
 => Phase  No. 1
       PbSO4
 =>-------> Data for PHASE: 1
 => Crystal Structure Refinement
 => Symmetry information on space group: P n m a
 -> The multiplicity of the general position is:   8
 =>   Number of Space group:  62
 =>  Hermann-Mauguin Symbol: P n m a
 =>             Hall Symbol: -P 2ac 2n
 => List of S.O. without inversion and lattice centring translations
 => SYMM(  1): x,y,z                               => SYMM(  2): x+1/2,-y+1/2,-z+1/2
 => SYMM(  3): -x,y+1/2,-z                         => SYMM(  4): -x+1/2,-y,z+1/2

 => Initial parameters ==>
 Atom    Ntyp                  X         Y         Z         B         occ.         in  fin  Spc  Mult
                             B11       B22       B33       B12       B13       B23
 Pb     PB                 0.18000   0.25000   0.16000   1.00000   0.50000           0    0    1    4
                 Codes:  171.00000   0.00000 181.00000 281.00000   0.00000
 S      S                  0.06541   0.25000   0.68340   0.42014   0.50000           0    0    2    4
                 Codes:  191.00000   0.00000 201.00000 321.00000   0.00000
 O1     O                  0.90767   0.25000   0.59529   1.98760   0.50000           0    0    3    4
 O2     O                  0.19376   0.25000   0.54321   1.47133   0.50000           0    0    3    4
 O3     O                  0.08103   0.02708   0.80905   1.32169   1.00000           0    0    3    8

    The given occupation factors have been obtained mutiplying m/M by   1.0000
 => Direct cell parameters:

         a =       8.4700      b =       5.3900      c =       6.9500
     alpha =       90.000   beta =       90.000  gamma =       90.000

 => Scattering coefficients from internal table

 => Scattering lengths:

 PB     0.9405
 S      0.2847
 O      0.5803

 => CYCLE No.:    1
 => Phase  1 Name:  PbSO4
 => New parameters, shifts, and standard deviations

 Atom        x       dx      sx       y       dy      sy       z       dz      sz       B       dB      sB      occ.    docc.   socc.

 Pb       0.18749 0.00000 0.00010  0.25000 0.00000 0.00000  0.16719 0.00000 0.00016  1.41625 0.00000 0.02466  0.50000 0.00000 0.00000
 S        0.06541 0.00000 0.00030  0.25000 0.00000 0.00000  0.68340 0.00000 0.00040  0.41995 0.00000 0.04431  0.50000 0.00000 0.00000
 O1       0.90767 0.00000 0.00020  0.25000 0.00000 0.00000  0.59529 0.00000 0.00021  1.98744 0.00000 0.03521  0.50000 0.00000 0.00000
 O2       0.19376 0.00000 0.00020  0.25000 0.00000 0.00000  0.54321 0.00000 0.00025  1.47123 0.00000 0.03327  0.50000 0.00000 0.00000
 O3       0.08103 0.00000 0.00012  0.02708 0.00000 0.00016  0.80905 0.00000 0.00015  1.32148 0.00000 0.02448  1.00000 0.00000 0.00000

 ==> PROFILE PARAMETERS FOR PATTERN#  1

 => Overall scale factor:      1.480734229     0.000000000     0.005267696
 => Cell parameters: 
        8.478844    0.000000    0.000150
        5.396727    0.000000    0.000099
        6.958402    0.000000    0.000129
       90.000000    0.000000    0.000000
       90.000000    0.000000    0.000000
       90.000000    0.000000    0.000000

 Pattern#  1 Phase No.:   1 Phase name:  PbSO4
)";

FullProfModel read_model(const std::string& text, std::int64_t phase = 1) {
  TextSource src;
  src.open_text("x.out", text);
  return read_fullprof_model(src, phase);
}

// The last cycle's values, occupancies 0.5 on the 4-fold sites of M = 8 read as full, lengths
// in fm. The program printed, for (2 1 0) at 2 theta 33.328, Icalc 449.2 with scale
// 1.480734229 and correction 25.387783 (Icalc = scale x correction x |F|², F in 1e-12 cm):
// |F| = 10 sqrt(449.2 / (1.480734229 x 25.387783)) fm = 34.57 fm, and for (2 1 1) at 37.081
// Icalc 677.3 with correction 41.727730. Over the whole pattern the printed Icalc falls below
// scale x correction x |F|² smoothly, from 0.990 at 20 degrees to 0.973 at 120 (a correction
// the table leaves out), so |F(210)| is checked to 1 % and its ratio to |F(211)|, 4 degrees
// apart, to 0.1 %. F000: 4 (9.405 + 2.847 + 2 x 5.803) + 8 x 5.803 = 141.856 fm.
TEST(FullProfModel, LastCycleOfANeutronPhase) {
  FullProfModel fm = read_model(kPbso4);
  const Model& m = fm.model;
  EXPECT_EQ(m.group.number(), 62);
  EXPECT_EQ(m.radiation, Radiation::neutron);
  EXPECT_EQ(fm.cycle, 1);
  EXPECT_TRUE(fm.scattering_lengths);
  EXPECT_DOUBLE_EQ(m.cell.a, 8.478844);
  ASSERT_EQ(m.atoms.size(), 5u);
  EXPECT_EQ(m.atoms[0].label, "Pb");
  EXPECT_DOUBLE_EQ(m.atoms[0].xyz[0], 0.18749);
  EXPECT_DOUBLE_EQ(m.atoms[0].B_iso, 1.41625);
  EXPECT_EQ(m.atoms[0].line, 46);
  for (const Atom& a : m.atoms) EXPECT_DOUBLE_EQ(a.occupancy, 1) << a.label;
  EXPECT_DOUBLE_EQ(m.atoms[4].b_fm, 5.803);
  double printed = 10 * std::sqrt(449.2 / (1.480734229 * 25.387783));
  double printed211 = 10 * std::sqrt(677.3 / (1.480734229 * 41.727730));
  StructureFactors sf(m);
  EXPECT_NEAR(std::abs(sf(2, 1, 0)), printed, 1e-2 * printed);
  EXPECT_NEAR(std::abs(sf(2, 1, 0)) / std::abs(sf(2, 1, 1)), printed / printed211, 1e-3);
  EXPECT_NEAR(crystal::f000(m).positive, 141.856, 1e-9);
}

std::string edited(std::string text, std::string_view from, std::string_view to) {
  std::size_t p = text.find(from);
  EXPECT_NE(p, std::string::npos) << from;
  if (p != std::string::npos) text.replace(p, from.size(), to);
  return text;
}

// The initial parameters stand when no cycle was printed; a "Betas:" line makes the atom
// anisotropic: U11 = beta11 / (2 pi² a*²) = 0.002 x 8.47² / (2 pi²); an X-ray run reads the
// same model with form factors; a factor of 2 in the occupancies is taken out.
TEST(FullProfModel, InitialParametersBetasAndXrays) {
  std::string text = kPbso4;
  text = text.substr(0, text.find(" => CYCLE No."));
  text = edited(
      text, "                 Codes:  171.00000   0.00000 181.00000 281.00000   0.00000\n",
      "                 Betas:    0.00200   0.00000   0.00000   0.00000   0.00000   0.00000\n");
  FullProfModel fm = read_model(text);
  EXPECT_EQ(fm.cycle, 0);
  EXPECT_DOUBLE_EQ(fm.model.cell.a, 8.47);
  EXPECT_DOUBLE_EQ(fm.model.atoms[0].xyz[0], 0.18);
  EXPECT_TRUE(fm.model.atoms[0].anisotropic);
  EXPECT_NEAR(fm.model.atoms[0].U[0], 0.002 * 8.47 * 8.47 / (2 * pi * pi), 1e-12);
  EXPECT_FALSE(fm.model.atoms[1].anisotropic);

  // The refined table of the cycle: B12 = -0.0005 on O3 gives U12 = B12 / (2 pi² a* b*).
  text = edited(kPbso4, "\n\n ==> PROFILE PARAMETERS",
                R"(

 Atom         B11      DB11      SB11       B22      DB22      SB22       B33      DB33      SB33
              B12      DB12      SB12       B13      DB13      SB13       B23      DB23      SB23
 O3      0.002000  0.000000  0.000000  0.003000  0.000000  0.000000  0.004000  0.000000  0.000000
        -0.000500  0.000000  0.000000  0.000100  0.000000  0.000000  0.000200  0.000000  0.000000

 ==> PROFILE PARAMETERS)");
  fm = read_model(text);
  EXPECT_TRUE(fm.model.atoms[4].anisotropic);
  EXPECT_NEAR(fm.model.atoms[4].U[3], -0.0005 * 8.478844 * 5.396727 / (2 * pi * pi), 1e-12);
  EXPECT_NEAR(fm.model.atoms[4].U[2], 0.004 * 6.958402 * 6.958402 / (2 * pi * pi), 1e-12);

  text = edited(kPbso4, "neutron powder", "X-ray powder");
  text = edited(text, "by   1.0000", "by   2.0000");
  fm = read_model(text);
  EXPECT_EQ(fm.model.radiation, Radiation::xray);
  EXPECT_DOUBLE_EQ(fm.model.atoms[4].occupancy, 0.5);
  EXPECT_DOUBLE_EQ(crystal::f000(fm.model).positive, 0.5 * (4 * (82 + 16 + 2 * 8) + 8 * 8));
}

// What is refused, each from the base file with one edit: the message and the line.
TEST(FullProfModel, RefusedInputNamesTheLine) {
  struct Edit {
    const char* from;
    const char* to;
    std::int64_t phase;
    const char* message;
  } edits[] = {
      {"", "", 2, "x.out: no phase 2 in the file (it holds phase 1)"},
      {" => Crystal Structure Refinement", " => Magnetic Structure Refinement", 1,
       "x.out:5: phase 1 is magnetic; its model is not read: "
       " => Magnetic Structure Refinement"},
      {" O3     O  ", " O3     Qq ", 1,
       "x.out:50: atom 'O3': type 'Qq' has no neutron scattering length in the file or the "
       "tables"},
      {"-P 2ac 2n", "-P 2ac 2ab", 1,
       "x.out:8: the Hall symbol '-P 2ac 2ab' and the Hermann-Mauguin symbol 'P n m a' "
       "describe different space groups"},
      {" O2       0.19376", " O4       0.19376", 1,
       "x.out:49: atom 'O4' where 'O2' (line 23) was expected"},
      {" O3       0.08103 0.00000", " O3       0.0810x 0.00000", 1,
       "x.out:50: atom position: '0.0810x' is not a number"},
  };
  for (const Edit& e : edits) {
    std::string text = *e.from ? edited(kPbso4, e.from, e.to) : std::string(kPbso4);
    try {
      read_model(text, e.phase);
      ADD_FAILURE() << "accepted: " << e.message;
    } catch (const IoFailure& f) {
      EXPECT_EQ(std::string(f.what()), e.message);
    }
  }
}

}  // namespace
}  // namespace memprep
