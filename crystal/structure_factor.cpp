// Cell metrics, scattering factors (gemmi's IT92 X-ray form factors and neutron coherent
// scattering lengths), structure factors and F000.
#include <cctype>
#include <cmath>
#include <gemmi/elem.hpp>
#include <gemmi/it92.hpp>
#include <gemmi/neutron92.hpp>
#include <gemmi/unitcell.hpp>
#include <map>
#include <numbers>

#include "crystal/crystal.hpp"

namespace memprep::crystal {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

gemmi::UnitCell unit_cell(const Cell& c) {
  if (!(c.a > 0 && c.b > 0 && c.c > 0 && c.alpha > 0 && c.beta > 0 && c.gamma > 0 &&
        c.alpha < 180 && c.beta < 180 && c.gamma < 180))
    throw ModelError("the cell " + std::to_string(c.a) + " " + std::to_string(c.b) + " " +
                     std::to_string(c.c) + " " + std::to_string(c.alpha) + " " +
                     std::to_string(c.beta) + " " + std::to_string(c.gamma) + " is not a cell");
  gemmi::UnitCell u(c.a, c.b, c.c, c.alpha, c.beta, c.gamma);
  if (!(u.volume > 0) || !std::isfinite(u.volume))
    throw ModelError("the cell angles " + std::to_string(c.alpha) + " " + std::to_string(c.beta) +
                     " " + std::to_string(c.gamma) + " give no volume");
  return u;
}

gemmi::El element_of(std::string_view type) {
  std::string letters;
  for (char ch : type) {
    if (!std::isalpha(static_cast<unsigned char>(ch))) break;
    letters.push_back(ch);
  }
  if (letters.empty() || letters.size() > 2) return gemmi::El::X;
  return gemmi::find_element(letters.c_str());
}

std::string atom_named(const Atom& a) {
  std::string s = "atom '" + a.label + "' of type '" + a.type + "'";
  if (a.line > 0) s += " (line " + std::to_string(a.line) + ")";
  return s;
}

// The neutron scattering length of an atom, fm: the source's, else the element's.
double scattering_length(const Atom& a) {
  if (!std::isnan(a.b_fm)) return a.b_fm;
  gemmi::El el = element_of(a.type);
  if (el == gemmi::El::X || !gemmi::Neutron92<double>::has(el))
    throw ModelError(atom_named(a) + ": no neutron scattering length in the tables");
  return gemmi::Neutron92<double>::get_(el);
}

const gemmi::IT92<double>::Coef& form_factor(const Atom& a) {
  gemmi::El el = element_of(a.type);
  const gemmi::IT92<double>::Coef* c =
      el == gemmi::El::X ? nullptr : gemmi::IT92<double>::get_ptr(el);
  if (c == nullptr) throw ModelError(atom_named(a) + ": no X-ray form factor in the tables");
  return *c;
}

}  // namespace

double volume(const Cell& cell) {
  return unit_cell(cell).volume;
}

Cell reciprocal(const Cell& cell) {
  gemmi::UnitCell u = unit_cell(cell);
  auto deg = [](double cosine) { return std::acos(cosine) * 180 / std::numbers::pi; };
  return {u.ar, u.br, u.cr, deg(u.cos_alphar), deg(u.cos_betar), deg(u.cos_gammar)};
}

double d_spacing(const Cell& cell, int h, int k, int l) {
  return 1 / std::sqrt(unit_cell(cell).calculate_1_d2_double(h, k, l));
}

int atomic_number(std::string_view type) {
  gemmi::El el = element_of(type);
  return el == gemmi::El::X ? 0 : gemmi::Element(el).atomic_number();
}

bool known_type(std::string_view type, Radiation radiation) {
  gemmi::El el = element_of(type);
  if (el == gemmi::El::X) return false;
  return radiation == Radiation::xray ? gemmi::IT92<double>::has(el)
                                      : gemmi::Neutron92<double>::has(el);
}

// Per atom: its weight (occupancy times m/M), its scattering factor and, per operation of
// the group (centring left out: it enters as one factor per reflection), its position and
// displacement tensor.
struct StructureFactors::Impl {
  gemmi::UnitCell cell;
  bool xray = true;
  std::vector<std::array<double, 3>> centring;
  // The operations summed over. In a centrosymmetric group one of each pair (R, t),
  // (-R, t'): the pair adds exp(2 pi i h.p) + exp(2 pi i (h.(t+t') - h.p)) =
  // 2 cos(2 pi h.p - delta) exp(i delta), delta = pi h.(t+t'), one cosine per atom.
  std::size_t n_ops = 0;
  bool paired = false;
  std::vector<std::array<double, 3>> pair_tran;  // t + t' of each pair
  struct Site {
    double weight = 0;
    double B = 0;
    std::complex<double> f_extra;  // f' + i f'' (X-rays), or the scattering length (neutrons)
    const gemmi::IT92<double>::Coef* coef = nullptr;
    bool anisotropic = false;
    std::size_t first = 0;  // its n_ops entries in pos and beta
  };
  std::vector<Site> sites;
  std::vector<std::array<double, 3>> pos;
  std::vector<std::array<double, 6>> beta;  // b11 b22 b33 2b12 2b13 2b23, exponent form
};

StructureFactors::StructureFactors(const Model& model) : impl_(std::make_unique<Impl>()) {
  Impl& im = *impl_;
  im.cell = unit_cell(model.cell);
  im.xray = model.radiation == Radiation::xray;
  im.centring = model.group.centring();
  const std::vector<SymOp>& all = model.group.operations();
  std::vector<SymOp> ops;
  std::vector<bool> taken(all.size(), false);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (taken[i]) continue;
    for (std::size_t j = i + 1; j < all.size() && !taken[i]; ++j) {
      bool negated = !taken[j];
      for (int r = 0; r < 3 && negated; ++r)
        for (int c = 0; c < 3 && negated; ++c) negated = all[j].rot[r][c] == -all[i].rot[r][c];
      if (negated) {
        taken[i] = taken[j] = true;
        im.pair_tran.push_back({all[i].tran[0] + all[j].tran[0], all[i].tran[1] + all[j].tran[1],
                                all[i].tran[2] + all[j].tran[2]});
      }
    }
    ops.push_back(all[i]);
  }
  im.paired = !all.empty() && im.pair_tran.size() * 2 == all.size();
  if (!im.paired) ops = all;
  im.n_ops = ops.size();
  const double M = model.group.order();
  const std::array<double, 3> rec{im.cell.ar, im.cell.br, im.cell.cr};
  for (const Atom& a : model.atoms) {
    Impl::Site s;
    s.weight = a.occupancy * model.group.site_multiplicity(a.xyz) / M;
    s.B = a.B_iso;
    if (im.xray) {
      s.coef = &form_factor(a);
      s.f_extra = {a.fprime, a.fdoubleprime};
    } else {
      s.f_extra = scattering_length(a);
    }
    s.anisotropic = a.anisotropic;
    s.first = im.pos.size();
    // The fractional displacement tensor as the exponent's coefficients: beta_ij =
    // 2 pi^2 U_ij a*_i a*_j, turned with each operation as R beta R^T.
    const int idx[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
    double b[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        b[i][j] = 2 * std::numbers::pi * std::numbers::pi * a.U[idx[i][j]] * rec[i] * rec[j];
    for (const SymOp& op : ops) {
      std::array<double, 3> x;
      for (int i = 0; i < 3; ++i)
        x[i] = op.rot[i][0] * a.xyz[0] + op.rot[i][1] * a.xyz[1] + op.rot[i][2] * a.xyz[2] +
               op.tran[i];
      im.pos.push_back(x);
      std::array<double, 6> t{};
      if (a.anisotropic) {
        double r[3][3];
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) {
            r[i][j] = 0;
            for (int k = 0; k < 3; ++k)
              for (int l = 0; l < 3; ++l) r[i][j] += op.rot[i][k] * b[k][l] * op.rot[j][l];
          }
        t = {r[0][0], r[1][1], r[2][2], 2 * r[0][1], 2 * r[0][2], 2 * r[1][2]};
      }
      im.beta.push_back(t);
    }
    im.sites.push_back(s);
  }
}

StructureFactors::~StructureFactors() = default;

std::complex<double> StructureFactors::operator()(int h, int k, int l) const {
  const Impl& im = *impl_;
  std::complex<double> lattice = 0;
  for (const auto& c : im.centring) {
    double p = kTwoPi * (h * c[0] + k * c[1] + l * c[2]);
    lattice += std::complex<double>(std::cos(p), std::sin(p));
  }
  if (std::abs(lattice) < 1e-6) return 0;
  const double stol2 = 0.25 * im.cell.calculate_1_d2_double(h, k, l);
  const double hh = double(h) * h, kk = double(k) * k, ll = double(l) * l;
  const double hk = double(h) * k, hl = double(h) * l, kl = double(k) * l;
  std::complex<double> F = 0;
  thread_local std::vector<double> delta, cos_delta, sin_delta;
  if (im.paired) {
    delta.resize(im.n_ops);
    cos_delta.resize(im.n_ops);
    sin_delta.resize(im.n_ops);
    for (std::size_t o = 0; o < im.n_ops; ++o) {
      const auto& t = im.pair_tran[o];
      double d = 0.5 * (h * t[0] + k * t[1] + l * t[2]);
      delta[o] = kTwoPi * (d - std::floor(d));
      cos_delta[o] = 2 * std::cos(delta[o]);
      sin_delta[o] = 2 * std::sin(delta[o]);
    }
  }
  for (const Impl::Site& s : im.sites) {
    double re = 0, imag = 0;
    const std::array<double, 3>* x = &im.pos[s.first];
    if (im.paired) {
      const std::array<double, 6>* b = &im.beta[s.first];
      for (std::size_t o = 0; o < im.n_ops; ++o) {
        double p = h * x[o][0] + k * x[o][1] + l * x[o][2];
        p = kTwoPi * (p - std::floor(p)) - delta[o];
        double c = std::cos(p);
        if (s.anisotropic) {
          const auto& t = b[o];
          c *= std::exp(-(t[0] * hh + t[1] * kk + t[2] * ll + t[3] * hk + t[4] * hl + t[5] * kl));
        }
        re += c * cos_delta[o];
        imag += c * sin_delta[o];
      }
    } else if (s.anisotropic) {
      const std::array<double, 6>* b = &im.beta[s.first];
      for (std::size_t o = 0; o < im.n_ops; ++o) {
        double p = h * x[o][0] + k * x[o][1] + l * x[o][2];
        p = kTwoPi * (p - std::floor(p));
        const auto& t = b[o];
        double dw =
            std::exp(-(t[0] * hh + t[1] * kk + t[2] * ll + t[3] * hk + t[4] * hl + t[5] * kl));
        re += dw * std::cos(p);
        imag += dw * std::sin(p);
      }
    } else {
      for (std::size_t o = 0; o < im.n_ops; ++o) {
        double p = h * x[o][0] + k * x[o][1] + l * x[o][2];
        p = kTwoPi * (p - std::floor(p));
        re += std::cos(p);
        imag += std::sin(p);
      }
    }
    std::complex<double> f = im.xray ? s.coef->calculate_sf(stol2) + s.f_extra : s.f_extra;
    F += s.weight * std::exp(-s.B * stol2) * f * std::complex<double>(re, imag);
  }
  return F * lattice;
}

Amplitudes f000(const Model& model) {
  // Sites by their printed position; the contributions of atoms sharing one are added
  // before the sign is looked at.
  std::map<std::array<double, 3>, double> site;
  for (const Atom& a : model.atoms) {
    double amplitude;
    if (model.radiation == Radiation::xray) {
      form_factor(a);  // refuses a type without a form factor, as the structure factor does
      amplitude = atomic_number(a.type);
    } else {
      amplitude = scattering_length(a);
    }
    std::array<double, 3> xyz{a.xyz[0] + 0.0, a.xyz[1] + 0.0, a.xyz[2] + 0.0};
    site[xyz] += a.occupancy * model.group.site_multiplicity(a.xyz) * amplitude;
  }
  Amplitudes amp;
  for (const auto& [xyz, s] : site) (s < 0 ? amp.negative : amp.positive) += s;
  return amp;
}

}  // namespace memprep::crystal
