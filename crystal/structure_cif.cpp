// The structure, the cell and the space group of a CIF block, read with gemmi's CIF document.
// Tags are looked up in both spellings, `_category_item` and the dotted `_category.item`;
// gemmi compares them without regard to case.
#include "crystal/structure_cif.hpp"

#include <cmath>
#include <gemmi/cifdoc.hpp>
#include <gemmi/numb.hpp>
#include <string>
#include <string_view>

namespace memprep::crystal {

namespace {

namespace cif = gemmi::cif;

// One item of the block as the file spells it: a loop column or a single value.
struct Item {
  cif::Column column;
  std::string tag;

  explicit operator bool() const { return static_cast<bool>(column); }
  int length() const { return column.length(); }
  int line() const { return column.item() != nullptr ? column.item()->line_number : -1; }
  bool in_loop() const { return column.get_loop() != nullptr; }
  const std::string& raw(int row) const { return column.at(row); }
  bool given(int row) const { return !cif::is_null(raw(row)); }
  std::string text(int row) const { return cif::as_string(raw(row)); }
  std::string where() const {
    std::string s = tag;
    if (line() > 0) s += (in_loop() ? " (loop at line " : " (line ") + std::to_string(line()) + ")";
    return s;
  }
};

// The item `_category_name` or `_category.name`, whichever the block holds.
Item find(const cif::Block& block, std::string_view category, std::string_view name) {
  cif::Block& b = const_cast<cif::Block&>(block);  // gemmi's lookups are not const
  for (char joint : {'_', '.'}) {
    std::string tag = "_";
    tag.append(category).push_back(joint);
    tag.append(name);
    if (cif::Column c = b.find_values(tag)) return {c, *c.get_tag()};
  }
  return {};
}

// The first of several items (old and new names of one quantity) that the block holds.
Item find_first(const cif::Block& block,
                std::initializer_list<std::pair<std::string_view, std::string_view>> names) {
  for (const auto& [category, name] : names)
    if (Item it = find(block, category, name)) return it;
  return {};
}

double number_at(const Item& it, int row, const std::string& of) {
  const std::string& raw = it.raw(row);
  double v = cif::as_number(cif::as_string(raw));
  if (!std::isfinite(v)) throw ModelError(it.where() + of + ": '" + raw + "' is not a number");
  return v;
}

// A single value that must be given.
double required_number(const cif::Block& block, std::string_view category, std::string_view name) {
  Item it = find(block, category, name);
  if (!it) throw ModelError("_" + std::string(category) + "_" + std::string(name) + " is missing");
  if (it.length() != 1) throw ModelError(it.where() + ": one value expected");
  return number_at(it, 0, "");
}

// A single value that may be absent or unknown: NaN then.
double optional_number(const Item& it) {
  if (!it || it.length() < 1 || !it.given(0)) return std::numeric_limits<double>::quiet_NaN();
  return number_at(it, 0, "");
}

// The row of the loop `key` belongs to that `other` has at the same index; both must be in
// one loop (or both single values).
void require_same_loop(const Item& key, const Item& other) {
  bool apart = key.in_loop() ? other.column.item() != key.column.item() : other.in_loop();
  if (other && apart) throw ModelError(other.where() + " is not in the loop of " + key.where());
}

struct AtomType {
  std::string symbol;
  double fprime = 0, fdoubleprime = 0;
  double b_fm = std::numeric_limits<double>::quiet_NaN();
};

std::vector<AtomType> atom_types(const cif::Block& block) {
  std::vector<AtomType> types;
  Item symbol = find(block, "atom_type", "symbol");
  if (!symbol) return types;
  Item real = find(block, "atom_type", "scat_dispersion_real");
  Item imag = find(block, "atom_type", "scat_dispersion_imag");
  Item length = find(block, "atom_type", "scat_length_neutron");
  for (const Item* it : {&real, &imag, &length}) require_same_loop(symbol, *it);
  for (int r = 0; r < symbol.length(); ++r) {
    AtomType t;
    t.symbol = symbol.text(r);
    std::string of = " of type '" + t.symbol + "'";
    if (real && real.given(r)) t.fprime = number_at(real, r, of);
    if (imag && imag.given(r)) t.fdoubleprime = number_at(imag, r, of);
    if (length && length.given(r)) t.b_fm = 10 * number_at(length, r, of);  // 1e-12 cm
    types.push_back(t);
  }
  return types;
}

bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kEightPiSquared = 8 * kPi * kPi;

// `_atom_site_*`: positions, occupancy, isotropic displacement; the anisotropic ones are
// added from `_atom_site_aniso_*` afterwards.
std::vector<Atom> atom_sites(const cif::Block& block, const std::vector<AtomType>& types) {
  std::vector<Atom> atoms;
  Item x = find(block, "atom_site", "fract_x");
  if (!x) return atoms;
  Item label = find(block, "atom_site", "label");
  Item y = find(block, "atom_site", "fract_y");
  Item z = find(block, "atom_site", "fract_z");
  Item symbol = find(block, "atom_site", "type_symbol");
  Item occupancy = find(block, "atom_site", "occupancy");
  Item u_iso = find(block, "atom_site", "U_iso_or_equiv");
  Item b_iso = find(block, "atom_site", "B_iso_or_equiv");
  Item adp_type = find(block, "atom_site", "adp_type");
  Item calc_flag = find(block, "atom_site", "calc_flag");
  if (!label) throw ModelError(x.where() + ": _atom_site_label is missing");
  if (!y || !z)
    throw ModelError(x.where() + ": _atom_site_fract_y or _atom_site_fract_z is missing");
  for (const Item* it :
       {&label, &y, &z, &symbol, &occupancy, &u_iso, &b_iso, &adp_type, &calc_flag})
    require_same_loop(x, *it);
  for (int r = 0; r < x.length(); ++r) {
    // Dummy atoms (a centroid, a missing-atom marker) do not scatter.
    if (calc_flag && same_text(calc_flag.text(r), "dum")) continue;
    Atom a;
    a.label = label.text(r);
    std::string of = " of atom '" + a.label + "'";
    a.type = symbol && symbol.given(r) ? symbol.text(r) : a.label;
    a.xyz = {number_at(x, r, of), number_at(y, r, of), number_at(z, r, of)};
    if (occupancy && occupancy.given(r)) a.occupancy = number_at(occupancy, r, of);
    std::string adp = adp_type && adp_type.given(r) ? adp_type.text(r) : "";
    if (u_iso && u_iso.given(r))
      a.B_iso = kEightPiSquared * number_at(u_iso, r, of);
    else if (b_iso && b_iso.given(r))
      a.B_iso = number_at(b_iso, r, of);
    else if (!same_text(adp, "Uani") && !same_text(adp, "Bani"))
      throw ModelError((u_iso   ? u_iso
                        : b_iso ? b_iso
                                : x)
                           .where() +
                       of + ": no U_iso_or_equiv or B_iso_or_equiv");
    // "Uani" without a row of _atom_site_aniso_* is refused when the rows are read.
    a.anisotropic = same_text(adp, "Uani") || same_text(adp, "Bani");
    for (const AtomType& t : types)
      if (same_text(t.symbol, a.type)) {
        a.fprime = t.fprime;
        a.fdoubleprime = t.fdoubleprime;
        a.b_fm = t.b_fm;
        break;
      }
    atoms.push_back(a);
  }
  return atoms;
}

void aniso_sites(const cif::Block& block, std::vector<Atom>& atoms) {
  Item label = find(block, "atom_site_aniso", "label");
  std::vector<bool> given(atoms.size(), false);
  if (label) {
    static constexpr std::string_view kIndex[6] = {"11", "22", "33", "12", "13", "23"};
    std::array<Item, 6> u, b;
    bool all_u = true, all_b = true;
    for (int i = 0; i < 6; ++i) {
      u[i] = find(block, "atom_site_aniso", "U_" + std::string(kIndex[i]));
      b[i] = find(block, "atom_site_aniso", "B_" + std::string(kIndex[i]));
      require_same_loop(label, u[i]);
      require_same_loop(label, b[i]);
      all_u = all_u && u[i];
      all_b = all_b && b[i];
    }
    if (!all_u && !all_b)
      throw ModelError(label.where() + ": neither all of _atom_site_aniso_U_ij nor of _B_ij");
    for (int r = 0; r < label.length(); ++r) {
      std::string name = label.text(r);
      std::size_t n = 0;
      while (n < atoms.size() && atoms[n].label != name) ++n;
      if (n == atoms.size()) {
        // A dummy atom left out above may have a row; anything else is a fault of the file.
        Item flag = find(block, "atom_site", "calc_flag");
        Item site = find(block, "atom_site", "label");
        bool dummy = false;
        for (int s = 0; flag && s < site.length() && !dummy; ++s)
          dummy = site.text(s) == name && same_text(flag.text(s), "dum");
        if (dummy) continue;
        throw ModelError(label.where() + ": '" + name + "' is not an atom of _atom_site_label");
      }
      Atom& a = atoms[n];
      std::string of = " of atom '" + name + "'";
      for (int i = 0; i < 6; ++i)
        a.U[i] = all_u ? number_at(u[i], r, of) : number_at(b[i], r, of) / kEightPiSquared;
      a.anisotropic = true;
      a.B_iso = 0;
      given[n] = true;
    }
  }
  for (std::size_t n = 0; n < atoms.size(); ++n)
    if (atoms[n].anisotropic && !given[n])
      throw ModelError("atom '" + atoms[n].label +
                       "' is anisotropic but has no row of _atom_site_aniso_*");
}

}  // namespace

Cell cell_from_cif(const gemmi::cif::Block& block) {
  Cell c;
  c.a = required_number(block, "cell", "length_a");
  c.b = required_number(block, "cell", "length_b");
  c.c = required_number(block, "cell", "length_c");
  c.alpha = required_number(block, "cell", "angle_alpha");
  c.beta = required_number(block, "cell", "angle_beta");
  c.gamma = required_number(block, "cell", "angle_gamma");
  volume(c);  // refuses lengths and angles that make no cell
  return c;
}

SpaceGroup space_group_from_cif(const gemmi::cif::Block& block) {
  SymmetryGiven given;
  std::vector<std::string> used;
  auto note = [&](const Item& it) { used.push_back(it.where()); };

  Item ops = find(block, "space_group_symop", "operation_xyz");
  Item old_ops = find(block, "symmetry_equiv", "pos_as_xyz");
  for (const Item* it : {&ops, &old_ops}) {
    if (!*it) continue;
    std::vector<std::string>& into =
        given.operators.empty() ? given.operators : given.some_operators;
    for (int r = 0; r < it->length(); ++r)
      if (it->given(r)) into.push_back(it->text(r));
    note(*it);
  }
  Item hall =
      find_first(block, {{"space_group", "name_Hall"}, {"symmetry", "space_group_name_Hall"}});
  if (hall && hall.given(0)) {
    given.hall = hall.text(0);
    note(hall);
  }
  Item hm =
      find_first(block, {{"space_group", "name_H-M_alt"}, {"symmetry", "space_group_name_H-M"}});
  if (hm && hm.given(0)) {
    given.hm = hm.text(0);
    note(hm);
  }
  Item number =
      find_first(block, {{"space_group", "IT_number"}, {"symmetry", "Int_Tables_number"}});
  if (number && number.given(0)) {
    double n = number_at(number, 0, "");
    if (n != std::round(n) || n < 1 || n > 230)
      throw ModelError(number.where() + ": '" + number.raw(0) + "' is not a space-group number");
    given.number = static_cast<int>(n);
    note(number);
  }
  if (used.empty())
    throw ModelError(
        "no symmetry: none of _space_group_symop_operation_xyz, _symmetry_equiv_pos_as_xyz, "
        "_space_group_name_Hall, _space_group_name_H-M_alt, _space_group_IT_number (or their "
        "older names) is given");
  try {
    return space_group(given);
  } catch (const ModelError& e) {
    std::string items;
    for (const std::string& u : used) items += (items.empty() ? "" : ", ") + u;
    throw ModelError(items + ": " + e.what());
  }
}

CifStructure structure_from_cif(const gemmi::cif::Block& block, Radiation radiation) {
  CifStructure s;
  s.model.cell = cell_from_cif(block);
  s.model.group = space_group_from_cif(block);
  s.model.radiation = radiation;
  s.has_atoms = static_cast<bool>(find(block, "atom_site", "fract_x"));
  s.model.atoms = atom_sites(block, atom_types(block));
  aniso_sites(block, s.model.atoms);
  s.F000 = optional_number(find(block, "exptl_crystal", "F_000"));
  s.wavelength = optional_number(find_first(
      block, {{"diffrn_radiation", "wavelength"}, {"diffrn_radiation_wavelength", "value"}}));
  return s;
}

FSquaredFit fit_f_squared(const std::vector<double>& file_F2, const std::vector<double>& model_F2) {
  if (file_F2.size() != model_F2.size())
    throw ModelError("F² fit: " + std::to_string(file_F2.size()) + " values of the file and " +
                     std::to_string(model_F2.size()) + " of the model");
  auto usable = [&](std::size_t i) {
    return std::isfinite(file_F2[i]) && std::isfinite(model_F2[i]) && file_F2[i] >= 0;
  };
  FSquaredFit fit;
  double fm = 0, mm = 0;
  for (std::size_t i = 0; i < file_F2.size(); ++i)
    if (usable(i)) {
      fm += file_F2[i] * model_F2[i];
      mm += model_F2[i] * model_F2[i];
      ++fit.used;
    }
  fit.scale = mm > 0 ? fm / mm : 0;
  double residual = 0, total = 0;
  for (std::size_t i = 0; i < file_F2.size(); ++i)
    if (usable(i)) {
      residual += std::abs(file_F2[i] - fit.scale * model_F2[i]);
      total += file_F2[i];
    }
  // Nothing to compare, or a model that explains nothing, is as bad a fit as there is.
  fit.R = total > 0 ? residual / total : 1;
  return fit;
}

}  // namespace memprep::crystal
