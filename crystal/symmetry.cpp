// The space group and what it says about a reflection or a site, on gemmi's symmetry tables.
// This file and structure_factor.cpp are the only ones that include gemmi.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <gemmi/symmetry.hpp>
#include <gemmi/unitcell.hpp>
#include <optional>
#include <set>
#include <tuple>

#include "crystal/crystal.hpp"

namespace memprep::crystal {

struct SpaceGroup::Impl {
  gemmi::GroupOps ops;
  // The reciprocal asymmetric unit of the table's entry; none for a group the table lacks.
  std::optional<gemmi::ReciprocalAsu> asu;
  int number = 0;
  std::string hm, hall;
  std::vector<SymOp> plain_ops;
  std::vector<std::array<double, 3>> plain_centring;
};

namespace {

constexpr int DEN = gemmi::Op::DEN;

// A triplet with its decimal translations ("z+0.5") written as fractions of 24, which the
// parser needs. A decimal that is not such a fraction (to 1e-4) is refused.
std::string with_fractions(std::string_view triplet) {
  std::string out;
  for (std::size_t i = 0; i < triplet.size();) {
    char ch = triplet[i];
    if ((ch >= '0' && ch <= '9') || ch == '.') {
      std::size_t j = i;
      while (j < triplet.size() && ((triplet[j] >= '0' && triplet[j] <= '9') || triplet[j] == '.'))
        ++j;
      std::string_view number = triplet.substr(i, j - i);
      bool fraction_follows = j < triplet.size() && triplet[j] == '/';
      if (number.find('.') == std::string_view::npos || fraction_follows) {
        out.append(number);
      } else {
        double v = 0;
        auto r = std::from_chars(number.data(), number.data() + number.size(), v);
        long n = std::lround(v * DEN);
        if (r.ec != std::errc() || r.ptr != number.data() + number.size() ||
            std::abs(v * DEN - static_cast<double>(n)) > 1e-4 * DEN)
          throw ModelError("operator '" + std::string(triplet) + "': translation '" +
                           std::string(number) + "' is not a multiple of 1/24");
        out += std::to_string(n) + "/" + std::to_string(DEN);
      }
      i = j;
    } else {
      out.push_back(ch);
      ++i;
    }
  }
  return out;
}

gemmi::Op parse_op(std::string_view triplet) {
  try {
    return gemmi::parse_triplet(with_fractions(triplet)).wrap();
  } catch (const ModelError&) {
    throw;
  } catch (const std::exception& e) {
    throw ModelError("operator '" + std::string(triplet) + "' does not read: " + e.what());
  }
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

// One way of naming the group and the groups it may stand for.
struct Candidates {
  std::string described;  // "the Hall symbol '-P 2ac 2n'"
  std::vector<gemmi::GroupOps> groups;
};

bool same_group(const gemmi::GroupOps& a, const gemmi::GroupOps& b) {
  return a.order() == b.order() && a.is_same_as(b);
}

// The table entries with this number; with setting 1 or 2, only that one of its
// origin choices or axes (the reference entry when the number has only one).
Candidates by_number(int number, int setting) {
  Candidates c;
  c.described = "space-group number " + std::to_string(number);
  if (setting > 0) c.described += " setting " + std::to_string(setting);
  std::vector<const gemmi::SpaceGroup*> entries;
  for (const gemmi::SpaceGroup& sg : gemmi::spacegroup_tables::main)
    if (sg.number == number) entries.push_back(&sg);
  if (entries.empty()) throw ModelError(c.described + " is not a space group");
  if (setting > 0) {
    std::vector<const gemmi::SpaceGroup*> chosen;
    const char* codes = "12HR";
    for (const gemmi::SpaceGroup* sg : entries)
      if (sg->ext != 0 && std::string_view(codes).find(sg->ext) != std::string_view::npos)
        chosen.push_back(sg);
    if (chosen.empty() && setting == 1) chosen.push_back(gemmi::find_spacegroup_by_number(number));
    if (setting > static_cast<int>(chosen.size()) || chosen.front() == nullptr)
      throw ModelError(c.described + " is not in the tables");
    entries = {chosen[setting - 1]};
  }
  for (const gemmi::SpaceGroup* sg : entries) c.groups.push_back(sg->operations());
  return c;
}

// The entries with this Hermann-Mauguin symbol: every origin choice or axes of it when the
// symbol names none.
Candidates by_hm(const std::string& hm) {
  Candidates c;
  c.described = "the Hermann-Mauguin symbol '" + hm + "'";
  const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_name(hm);
  // The cubic symbols written without the bar of the threefold axis ("F d 3 m", "P a 3"):
  // tried again with it.
  std::size_t three = hm.find(" 3");
  if (sg == nullptr && three != std::string::npos && three > 1 && hm[three - 1] != '-')
    sg = gemmi::find_spacegroup_by_name(hm.substr(0, three) + " -" + hm.substr(three + 1));
  if (sg == nullptr) throw ModelError(c.described + " names no space group");
  c.groups.push_back(sg->operations());
  if (hm.find(':') == std::string::npos && sg->ext != 0)
    for (const gemmi::SpaceGroup& other : gemmi::spacegroup_tables::main)
      if (&other != sg && std::string_view(other.hm) == sg->hm && other.ext != 0)
        c.groups.push_back(other.operations());
  return c;
}

Candidates by_hall(const std::string& hall) {
  Candidates c;
  c.described = "the Hall symbol '" + hall + "'";
  try {
    c.groups.push_back(gemmi::symops_from_hall(hall.c_str()));
  } catch (const std::exception& e) {
    throw ModelError(c.described + " does not read: " + e.what());
  }
  return c;
}

Candidates by_operators(const std::vector<std::string>& operators) {
  Candidates c;
  c.described =
      "the operators '" + operators.front() + "', ... (" + std::to_string(operators.size()) + ")";
  std::vector<gemmi::Op> ops;
  for (const std::string& t : operators) ops.push_back(parse_op(t));
  gemmi::GroupOps g = gemmi::split_centering_vectors(ops);
  try {
    g.add_missing_elements();
  } catch (const std::exception& e) {
    throw ModelError(c.described + " do not form a group: " + e.what());
  }
  c.groups.push_back(std::move(g));
  return c;
}

bool group_contains(const gemmi::GroupOps& g, const gemmi::Op& op) {
  for (const gemmi::Op& s : g.sym_ops) {
    if (s.rot != op.rot) continue;
    for (const gemmi::Op::Tran& cen : g.cen_ops)
      if (s.add_centering(cen).tran == op.tran) return true;
  }
  return false;
}

SpaceGroup::Impl make_impl(gemmi::GroupOps ops, int number_given, const std::string& hm_given) {
  SpaceGroup::Impl im;
  const gemmi::SpaceGroup* sg = gemmi::find_spacegroup_by_ops(ops);
  if (sg != nullptr) {
    im.asu.emplace(sg);
    im.number = sg->number;
    im.hm = sg->xhm();
    im.hall = trimmed(sg->hall);
  } else {
    im.number = number_given;
    im.hm = hm_given;
  }
  for (const gemmi::Op& op : ops.sym_ops) {
    SymOp s;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) s.rot[i][j] = op.rot[i][j] / DEN;
      s.tran[i] = static_cast<double>(op.tran[i]) / DEN;
    }
    im.plain_ops.push_back(s);
  }
  for (const gemmi::Op::Tran& t : ops.cen_ops)
    im.plain_centring.push_back({static_cast<double>(t[0]) / DEN, static_cast<double>(t[1]) / DEN,
                                 static_cast<double>(t[2]) / DEN});
  im.ops = std::move(ops);
  return im;
}

}  // namespace

SpaceGroup::SpaceGroup()
    : impl_(std::make_shared<const Impl>(
          make_impl(gemmi::get_spacegroup_p1().operations(), 1, "P 1"))) {}
SpaceGroup::SpaceGroup(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
SpaceGroup::~SpaceGroup() = default;
SpaceGroup::SpaceGroup(const SpaceGroup&) = default;
SpaceGroup& SpaceGroup::operator=(const SpaceGroup&) = default;

int SpaceGroup::number() const {
  return impl_->number;
}
const std::string& SpaceGroup::hm() const {
  return impl_->hm;
}
const std::string& SpaceGroup::hall() const {
  return impl_->hall;
}
int SpaceGroup::order() const {
  return impl_->ops.order();
}
bool SpaceGroup::centrosymmetric() const {
  return impl_->ops.is_centrosymmetric();
}
const std::vector<SymOp>& SpaceGroup::operations() const {
  return impl_->plain_ops;
}
const std::vector<std::array<double, 3>>& SpaceGroup::centring() const {
  return impl_->plain_centring;
}

bool SpaceGroup::contains(std::string_view triplet) const {
  return group_contains(impl_->ops, parse_op(triplet));
}

int SpaceGroup::site_multiplicity(const std::array<double, 3>& xyz) const {
  int fixed = 0;
  for (const SymOp& op : impl_->plain_ops)
    for (const auto& cen : impl_->plain_centring) {
      bool same = true;
      for (int i = 0; i < 3 && same; ++i) {
        double x = op.rot[i][0] * xyz[0] + op.rot[i][1] * xyz[1] + op.rot[i][2] * xyz[2] +
                   op.tran[i] + cen[i];
        double d = x - xyz[i];
        same = std::abs(d - std::round(d)) < 1e-3;
      }
      if (same) ++fixed;
    }
  return order() / std::max(fixed, 1);
}

SpaceGroup space_group(const SymmetryGiven& given) {
  std::vector<Candidates> pieces;
  if (!given.operators.empty()) pieces.push_back(by_operators(given.operators));
  if (!given.hall.empty()) pieces.push_back(by_hall(given.hall));
  if (!given.hm.empty()) pieces.push_back(by_hm(given.hm));
  if (given.number != 0) pieces.push_back(by_number(given.number, given.setting));
  if (pieces.empty() && given.some_operators.empty()) return SpaceGroup();
  if (pieces.empty()) throw ModelError("operators alone do not name the space group");

  // The most specific piece first; among its groups the first that every other piece allows.
  const Candidates& first = pieces.front();
  const gemmi::GroupOps* chosen = nullptr;
  const Candidates* refusing = nullptr;
  for (const gemmi::GroupOps& g : first.groups) {
    refusing = nullptr;
    for (std::size_t p = 1; p < pieces.size() && refusing == nullptr; ++p) {
      bool any = std::any_of(pieces[p].groups.begin(), pieces[p].groups.end(),
                             [&](const gemmi::GroupOps& o) { return same_group(g, o); });
      if (!any) refusing = &pieces[p];
    }
    if (refusing == nullptr) {
      chosen = &g;
      break;
    }
  }
  if (chosen == nullptr)
    throw ModelError(first.described + " and " + refusing->described +
                     " describe different space groups");
  for (const std::string& t : given.some_operators)
    if (!group_contains(*chosen, parse_op(t)))
      throw ModelError("operator '" + t + "' is not in the group of " + first.described);
  return SpaceGroup(
      std::make_shared<const SpaceGroup::Impl>(make_impl(*chosen, given.number, given.hm)));
}

ReflectionInfo reflection_info(const SpaceGroup& group, const Cell& cell, int h, int k, int l) {
  const gemmi::GroupOps& ops = group.impl().ops;
  const gemmi::Op::Miller hkl{h, k, l};
  std::set<gemmi::Op::Miller> equivalent;
  for (const gemmi::Op& op : ops.sym_ops) {
    gemmi::Op::Miller e = op.apply_to_hkl(hkl);
    equivalent.insert(e);
    equivalent.insert({-e[0], -e[1], -e[2]});
  }
  ReflectionInfo info;
  info.multiplicity = static_cast<int>(equivalent.size());
  info.absent = ops.is_systematically_absent(hkl);
  info.centric = ops.is_reflection_centric(hkl);
  info.d = d_spacing(cell, h, k, l);
  return info;
}

UniqueIndex unique_index(const SpaceGroup& group, int h, int k, int l, bool keep_friedel) {
  const SpaceGroup::Impl& im = group.impl();
  const gemmi::Op::Miller given{h, k, l};
  // Every operation turns h into h R with F(h R) = F(h) exp(-2 pi i h.t); its Friedel mate
  // -h R has conj(F(h R)). The one kept is in the table's asymmetric unit (with Friedel
  // mates kept apart: the one of h's own orbit whose mate or which itself lies in it), or
  // for a group the table lacks the largest index in the order of h, k, l.
  auto in_unit = [&](const gemmi::Op::Miller& m) { return im.asu ? im.asu->is_in(m) : false; };
  std::optional<UniqueIndex> best, mate_in_unit;
  for (const gemmi::Op& op : im.ops.sym_ops) {
    gemmi::Op::Miller e = op.apply_to_hkl(given);
    gemmi::Op::Miller minus{-e[0], -e[1], -e[2]};
    double shift = op.phase_shift(given);
    UniqueIndex direct{e[0], e[1], e[2], shift, false};
    UniqueIndex mate{minus[0], minus[1], minus[2], -shift, true};
    if (im.asu) {
      if (in_unit(e)) return direct;
      if (in_unit(minus)) {
        if (!keep_friedel) return mate;
        if (!mate_in_unit) mate_in_unit = direct;
      }
      continue;
    }
    auto larger = [](const UniqueIndex& a, const UniqueIndex& b) {
      return std::tie(a.h, a.k, a.l) > std::tie(b.h, b.k, b.l);
    };
    if (!best || larger(direct, *best)) best = direct;
    if (!keep_friedel && larger(mate, *best)) best = mate;
  }
  if (mate_in_unit) return *mate_in_unit;
  if (!best)
    throw ModelError("reflection " + std::to_string(h) + " " + std::to_string(k) + " " +
                     std::to_string(l) + " has no representative in the group's tables");
  return *best;
}

}  // namespace memprep::crystal
