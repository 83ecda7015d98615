// The scattering amplitude of the unit cell from the structure printed in the list file:
// the table of atom types with their scattering factors, and the atom list with positions
// and site factors.
#include <array>
#include <cmath>
#include <map>
#include <unordered_map>

#include "readers/list_file.hpp"

namespace memprep {

namespace {

constexpr std::size_t kWidth = 128;
// The atom list is kept until the diffraction type is known; more atoms than this are taken
// for a damaged file rather than held.
constexpr std::size_t kMostAtoms = 100000;

// Columns first..last as a text of exactly last-first+1 characters, blank-padded.
std::string padded(std::string_view rec, std::size_t first, std::size_t last) {
  std::string s(cols(rec, first, last));
  s.resize(last - first + 1, ' ');
  return s;
}

// One free-format value from columns first..last of the current record.
template <class T>
T list_value(const TextSource& src, std::size_t first, std::size_t last, const char* what) {
  T v{};
  src.read_list_cols(first, last, what, v);
  return v;
}

}  // namespace

bool is_atom_type_table(std::string_view rec) {
  return at(rec, 1, " The atomic and magnetic scattering factors for");
}

bool is_atom_list(std::string_view rec) {
  return at(rec, 1, " Type seq");
}

bool ends_atom_list(std::string_view rec) {
  return at(rec, 1, " Lattice parameters") || at(rec, 1, "  Constraints");
}

namespace {

void read_type_table(TextSource& src, StructureSections& sections) {
  src.find([](std::string_view r) { return is_atom_type_table(r); },
           "the table of atomic scattering factors", kWidth);
  auto NT = list_value<std::int64_t>(src, 48, 50, "number of atom types");
  if (NT <= 0)
    src.fail("the table of atomic scattering factors lists " + std::to_string(NT) + " atom types");
  src.need("skipping the heading of the scattering-factor table", kWidth);
  while (static_cast<std::int64_t>(sections.types.size()) < NT) {
    src.need("reading the table of atomic scattering factors", kWidth);
    const std::string_view r = src.rec();
    if (at(r, 1, " <")) continue;
    src.require_line_end();
    StructureSections::AtomType t;
    t.TypeSym = padded(r, 2, 3);
    t.value = list_value<double>(src, 10, 18, "scattering factor");
    t.coefficients = std::string(cols(r, 19, 128));
    t.line = src.line();
    sections.types.push_back(std::move(t));
  }
}

void read_atom_table(TextSource& src, StructureSections& sections) {
  src.find([](std::string_view r) { return is_atom_list(r); }, "the atom list", kWidth);
  for (;;) {
    src.need("reading the atom list", kWidth);
    const std::string_view r = src.rec();
    // Passed over first: a record matching one of these never ends the list.
    if (is_blank(cols(r, 1, 13)) || at(r, 1, " Type seq") || at(r, 1, " The atom positions") ||
        at(r, 1, "1"))
      continue;
    if (ends_atom_list(r)) return;
    src.require_line_end();
    if (sections.atoms.size() == kMostAtoms)
      src.fail("the atom list holds more than " + std::to_string(kMostAtoms) + " atoms");
    StructureSections::Atom a;
    a.AtomSym = padded(r, 2, 3);
    a.SiteF1 = list_value<double>(src, 22, 24, "site factor");
    a.SiteF2 = list_value<double>(src, 33, 39, "site factor");
    a.AtomX = src.F(44, 50, 4);
    a.AtomY = src.F(55, 61, 4);
    a.AtomZ = src.F(66, 72, 4);
    a.line = src.line();
    sections.atoms.push_back(std::move(a));
  }
}

// The electron count of an X-ray atom type: a1 + a2 + a3 + a4 + c of its nine form-factor
// coefficients, rounded to the nearest integer, halves away from zero.
double electron_count(const StructureSections& sections, const StructureSections::AtomType& t) {
  std::array<double, 9> v{};
  try {
    ListInput in(t.coefficients);
    for (double& x : v) in.next(x);
  } catch (const FieldError& e) {
    throw IoFailure(
        sections.file, t.line,
        "columns 19-128 (form-factor coefficients of atom type '" + t.TypeSym + "'): " + e.what());
  }
  return std::round(v[0] + v[2] + v[4] + v[6] + v[8]);
}

}  // namespace

StructureSections read_structure_sections(TextSource& src) {
  StructureSections sections;
  sections.file = src.name();
  read_type_table(src, sections);
  read_atom_table(src, sections);
  return sections;
}

void evaluate_structure_sections(const StructureSections& sections, std::string_view DTYPE,
                                 Store& store) {
  const bool xray = DTYPE == "PXC";

  // TypeAmp by symbol; a symbol printed twice takes its last entry.
  std::unordered_map<std::string, double> TypeAmp;
  for (const auto& t : sections.types)
    TypeAmp[t.TypeSym] = xray ? electron_count(sections, t) : t.value;

  // Atoms at identical printed coordinates form one site, started by the first of them;
  // the contributions are combined before the sign of the site is looked at.
  std::vector<double> site;
  std::map<std::array<double, 3>, std::size_t> site_at;
  for (const auto& a : sections.atoms) {
    auto t = TypeAmp.find(a.AtomSym);
    if (t == TypeAmp.end())
      throw IoFailure(sections.file, a.line,
                      "atom type '" + std::string(trim_right(a.AtomSym)) +
                          "' is not in the table of atomic scattering factors");
    double s = a.SiteF1 * a.SiteF2 * t->second;
    // + 0.0 makes -0.0 and 0.0 one position, as they compare equal.
    std::array<double, 3> xyz{a.AtomX + 0.0, a.AtomY + 0.0, a.AtomZ + 0.0};
    auto [it, first] = site_at.emplace(xyz, site.size());
    if (first)
      site.push_back(s);
    else
      site[it->second] += s;
  }

  double P = 0, N = 0;
  for (double s : site) {
    if (s < 0)
      N += s;
    else
      P += s;
  }
  store.AMPPOS = xray ? P : 10 * P;
  store.AMPNEG = xray ? N : 10 * N;
}

}  // namespace memprep
