// The crystal model: cell, space group, atoms, and what follows from them for one reflection
// (multiplicity, systematic absence, centricity, d-spacing, structure factor) and for the
// whole cell (F000 as positive and negative amplitude).
//
// Plain structs and functions only: the crystallographic tables behind them live in
// crystal/symmetry.cpp and crystal/structure_factor.cpp, so that including this header costs
// nothing. Conventions:
//   - positions are fractional; a symmetry operation maps x to rot x + tran;
//   - occupancy is crystallographic: 1 for a fully occupied site, whatever the site's
//     multiplicity (the expansion over the group weights each atom by m/M itself);
//   - displacement: B_iso in Å² (exp(-B s²), s = sin θ/λ) and, for an anisotropic atom,
//     U11 U22 U33 U12 U13 U23 in Å² on the reciprocal-axis basis (the CIF U_ij), entering as
//     exp(-2π² Σ U_ij h_i h_j a*_i a*_j); an atom with both has both factors applied;
//   - neutron scattering lengths in fm; X-ray form factors in electrons.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace memprep::crystal {

// A model that cannot be built (unknown space group, symbols that disagree, an unknown atom
// type). The message names what was given; a reader adds the file and line.
struct ModelError : std::runtime_error {
  explicit ModelError(const std::string& what) : std::runtime_error(what) {}
};

struct Cell {
  double a = 1, b = 1, c = 1;                // Å
  double alpha = 90, beta = 90, gamma = 90;  // degrees
};

double volume(const Cell& cell);
// The reciprocal cell: a*, b*, c* in 1/Å, angles in degrees.
Cell reciprocal(const Cell& cell);
double d_spacing(const Cell& cell, int h, int k, int l);

struct SymOp {
  std::array<std::array<int, 3>, 3> rot{};
  std::array<double, 3> tran{};
};

class SpaceGroup {
 public:
  SpaceGroup();  // P 1
  ~SpaceGroup();
  SpaceGroup(const SpaceGroup&);
  SpaceGroup& operator=(const SpaceGroup&);

  // The tabulated number, 0 for a group in a setting the table does not hold.
  int number() const;
  const std::string& hm() const;    // Hermann-Mauguin symbol, with ":1", ":2", ":H", ":R"
  const std::string& hall() const;  // Hall symbol, empty when not tabulated
  // The general multiplicity M: every operation, centring included.
  int order() const;
  bool centrosymmetric() const;
  // The operations without the centring translations (the identity first), and the
  // centring vectors (the null vector first).
  const std::vector<SymOp>& operations() const;
  const std::vector<std::array<double, 3>>& centring() const;
  // Whether the operation written as a triplet ("x+1/2,-y,z") is one of the group's
  // (translations compared modulo the lattice and the centring). Throws ModelError when
  // the triplet does not parse.
  bool contains(std::string_view triplet) const;

  // The number of distinct positions a site at `xyz` has in the cell: M divided by the
  // number of operations that leave it in place (to 1e-3 in each coordinate).
  int site_multiplicity(const std::array<double, 3>& xyz) const;

  struct Impl;
  explicit SpaceGroup(std::shared_ptr<const Impl> impl);
  const Impl& impl() const { return *impl_; }

 private:
  std::shared_ptr<const Impl> impl_;
};

// What a source says about the space group; each piece given is checked against the others.
// `number` 0 and empty texts are "not given"; `setting` 0 is "any setting of that number"
// (1 and 2: the first and second origin choice, or hexagonal and rhombohedral axes).
struct SymmetryGiven {
  int number = 0;
  int setting = 0;
  std::string hm;
  std::string hall;
  std::vector<std::string> operators;       // the whole group (or its generators)
  std::vector<std::string> some_operators;  // operations the group must contain
};

// The space group all given pieces agree on; ModelError naming two pieces that disagree, or
// a piece that names no group.
SpaceGroup space_group(const SymmetryGiven& given);

struct ReflectionInfo {
  int multiplicity = 0;  // distinct (h k l) equivalent under the Laue group, Friedel mates included
  bool absent = false;   // systematically absent
  bool centric = false;
  double d = 0;  // Å
};
ReflectionInfo reflection_info(const SpaceGroup& group, const Cell& cell, int h, int k, int l);

// The representative of a reflection's equivalents under the Laue group (Friedel mates
// merged with it unless keep_friedel), and how its structure factor relates to the given
// one: F(kept) = F(given) or conj(F(given)) (when friedel) times exp(i phase_shift).
struct UniqueIndex {
  int h = 0, k = 0, l = 0;
  double phase_shift = 0;  // radians
  bool friedel = false;    // the kept index is the Friedel mate of an equivalent of the given
};
UniqueIndex unique_index(const SpaceGroup& group, int h, int k, int l, bool keep_friedel);

enum class Radiation { xray, neutron };

struct Atom {
  std::string label;
  std::string type;  // element symbol, optionally with a charge (Fe, FE, O2-, Fe+3)
  std::array<double, 3> xyz{};
  double occupancy = 1;
  double B_iso = 0;
  bool anisotropic = false;
  std::array<double, 6> U{};  // U11 U22 U33 U12 U13 U23
  // Neutrons: the coherent scattering length the source gives (fm); NaN: the element's.
  double b_fm = std::numeric_limits<double>::quiet_NaN();
  // X-rays: the dispersion corrections the source gives.
  double fprime = 0, fdoubleprime = 0;
  std::int64_t line = 0;  // the source line the atom was read from
};

struct Model {
  Cell cell;
  SpaceGroup group;
  Radiation radiation = Radiation::xray;
  std::vector<Atom> atoms;
};

// Complex structure factors of a model, with the symmetry-expanded positions and
// displacement tensors worked out once. Throws ModelError for an atom type without a form
// factor or scattering length (naming the atom and its line).
class StructureFactors {
 public:
  explicit StructureFactors(const Model& model);
  ~StructureFactors();
  StructureFactors(const StructureFactors&) = delete;
  StructureFactors& operator=(const StructureFactors&) = delete;

  std::complex<double> operator()(int h, int k, int l) const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// F000 as a positive and a negative amplitude. X-rays: the electrons in the cell, negative
// amplitude 0. Neutrons: the sums over the cell of the positive and of the negative
// scattering lengths (fm; the negative one as a negative number), atoms printed at the same
// position combined into one site
// before the sign is looked at. Occupancy-weighted, each atom counted on every position of
// its site.
struct Amplitudes {
  double positive = 0, negative = 0;
};
Amplitudes f000(const Model& model);

// X-rays: f' and f'' of an atom type's element at a wavelength (Å), by the Cromer-Liberman
// method; zero for hydrogen and helium, a type the tables lack or no usable wavelength.
struct Dispersion {
  double fprime = 0, fdoubleprime = 0;
};
Dispersion dispersion(std::string_view type, double wavelength);

// The element of an atom type (its leading letters, case ignored) as the tables know it:
// its atomic number, or 0 for none.
int atomic_number(std::string_view type);
// Whether the tables hold an X-ray form factor or a neutron scattering length for the type.
bool known_type(std::string_view type, Radiation radiation);

}  // namespace memprep::crystal
