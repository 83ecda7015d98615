// The crystal model of one phase of a FullProf standard output, read in one pass:
//   " => Phase  No. N"                 the phase's section starts (a magnetic phase is refused)
//   "Information on Space Group"       number, Hermann-Mauguin and Hall symbols, SYMM(n) list
//   " => Initial parameters ==>"       the atoms: label, type, x y z B occ, in fin Spc Mult,
//                                      with a "Betas:" line for an anisotropic atom
//   "... multiplying m/M by F"         the factor in FullProf's occupancies
//   " => Direct cell parameters:"      the cell when no cycle was printed
//   " => Scattering lengths:"          the neutron scattering lengths, 1e-12 cm
//   " => CYCLE No.: C", then " => Phase  N Name:" with the new atom values (x dx sx, y ...,
//   B, occ), the table of B11..B23 when refined, and " => Cell parameters:"; the last wins.
// Numbers are read as words: blanks separate them, and so does a minus sign right after a
// digit, since FullProf's fixed fields can touch.
#include "readers/fullprof_model.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>

namespace memprep {

namespace {

constexpr std::size_t kWidth = 512;

std::vector<std::string_view> words(std::string_view rec) {
  std::vector<std::string_view> w;
  std::size_t i = 0;
  while (i < rec.size()) {
    while (i < rec.size() && (rec[i] == ' ' || rec[i] == '\t')) ++i;
    if (i == rec.size()) break;
    std::size_t j = i + 1;
    while (j < rec.size() && rec[j] != ' ' && rec[j] != '\t' &&
           !(rec[j] == '-' && std::isdigit(static_cast<unsigned char>(rec[j - 1]))))
      ++j;
    w.push_back(rec.substr(i, j - i));
    i = j;
  }
  return w;
}

double number(const TextSource& src, std::string_view word, std::string_view what) {
  double v = 0;
  const char* first = word.data();
  if (!word.empty() && word.front() == '+') ++first;
  auto r = std::from_chars(first, word.data() + word.size(), v);
  if (word.empty() || r.ec != std::errc() || r.ptr != word.data() + word.size() ||
      !std::isfinite(v))
    src.fail(std::string(what) + ": '" + std::string(word) + "' is not a number");
  return v;
}

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return u;
}

// The text after the first "marker" of the record, blanks trimmed; nullopt without it.
std::optional<std::string> after(std::string_view rec, std::string_view marker) {
  std::size_t p = rec.find(marker);
  if (p == std::string_view::npos) return std::nullopt;
  std::string_view s = rec.substr(p + marker.size());
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return std::string(trim_right(s));
}

// The phase number of " => Phase  No. N" or " => Phase  N Name:" (the word after the marker).
std::optional<std::int64_t> phase_number(std::string_view rec, std::string_view marker) {
  if (!starts(rec, marker)) return std::nullopt;
  auto w = words(rec.substr(marker.size()));
  if (w.empty()) return std::nullopt;
  std::int64_t n = 0;
  auto r = std::from_chars(w[0].data(), w[0].data() + w[0].size(), n);
  if (r.ec != std::errc() || r.ptr != w[0].data() + w[0].size()) return std::nullopt;
  return n;
}

struct AtomRead {
  std::string label, type;
  std::array<double, 3> xyz{};
  double B = 0, occ = 0;
  int mult = 0;  // printed site multiplicity; 0 when not printed
  std::array<double, 6> betas{};
  bool has_betas = false;
  std::int64_t line = 0;
};

class Reader {
 public:
  Reader(TextSource& src, std::int64_t phase) : src_(src), phase_(phase) {}
  FullProfModel read();

 private:
  // The next record, or the one a block's reading stopped at.
  bool next() {
    if (pending_) {
      pending_ = false;
      return true;
    }
    return src_.next(kWidth);
  }
  void section_line(std::string_view r);
  void read_initial_atoms();
  void read_scattering_lengths();
  void read_direct_cell();
  void read_cycle_block();
  crystal::Model build();

  TextSource& src_;
  std::int64_t phase_;
  bool pending_ = false;
  std::vector<std::int64_t> held_;
  std::optional<bool> neutron_;  // from the run's heading
  bool in_section_ = false, section_done_ = false;
  FullProfModel out_;
  crystal::SymmetryGiven given_;
  std::string symbol_;  // "Symmetry information on space group:", used without the HM line
  std::vector<AtomRead> atoms_;
  std::map<std::string, double> lengths_;  // by upper-case type, fm
  std::optional<crystal::Cell> cell_;
};

void Reader::read_initial_atoms() {
  // The two heading lines, then atoms with their "Codes:" and "Betas:" lines, to a blank line.
  bool started = false;
  while (next()) {
    const std::string_view r = src_.rec();
    auto w = words(r);
    if (w.empty()) {
      if (started) return;
      continue;
    }
    if (w[0] == "Atom" || w[0] == "B11" || w[0] == "Codes:") continue;
    if (w[0] == "Betas:") {
      if (atoms_.empty() || w.size() < 7) src_.fail("a \"Betas:\" line without its atom");
      for (int i = 0; i < 6; ++i) atoms_.back().betas[i] = number(src_, w[i + 1], "beta");
      atoms_.back().has_betas = true;
      continue;
    }
    if (w.size() < 7) {
      pending_ = true;
      return;
    }
    src_.require_line_end();
    started = true;
    AtomRead a;
    a.label = std::string(w[0]);
    a.type = std::string(w[1]);
    for (int i = 0; i < 3; ++i) a.xyz[i] = number(src_, w[2 + i], "atom position");
    a.B = number(src_, w[5], "atom B");
    a.occ = number(src_, w[6], "atom occupancy");
    if (w.size() >= 11) {
      double m = number(src_, w[10], "site multiplicity");
      if (m >= 1 && m <= 192 && m == std::floor(m)) a.mult = static_cast<int>(m);
    }
    a.line = src_.line();
    atoms_.push_back(std::move(a));
  }
}

void Reader::read_scattering_lengths() {
  bool started = false;
  while (next()) {
    auto w = words(src_.rec());
    if (w.empty()) {
      if (started) return;
      continue;
    }
    if (w.size() != 2 || !std::isalpha(static_cast<unsigned char>(w[0][0]))) {
      pending_ = true;
      return;
    }
    started = true;
    lengths_[upper(w[0])] = 10 * number(src_, w[1], "scattering length");
  }
}

// " => Direct cell parameters:" alone on its line, then "a = .. b = .. c = .." and
// "alpha = .. beta = .. gamma = .." among the next lines.
void Reader::read_direct_cell() {
  std::map<std::string, double> v;
  for (int n = 0; n < 4 && next(); ++n) {
    auto w = words(src_.rec());
    for (std::size_t i = 0; i + 2 < w.size(); ++i)
      if (w[i + 1] == "=") v[std::string(w[i])] = number(src_, w[i + 2], "cell parameter");
  }
  if (v.size() >= 6 && v.count("a") && v.count("b") && v.count("c") && v.count("alpha") &&
      v.count("beta") && v.count("gamma") && !cell_)
    cell_ = crystal::Cell{v["a"], v["b"], v["c"], v["alpha"], v["beta"], v["gamma"]};
}

void Reader::read_cycle_block() {
  // "New parameters ..." and the heading, then one line per atom of the initial list.
  src_.find([](std::string_view r) { return at(r, 1, " Atom        x"); },
            "the new atom parameters of phase " + std::to_string(phase_), kWidth);
  std::size_t n = 0;
  while (n < atoms_.size()) {
    src_.need("reading the new atom parameters", kWidth);
    auto w = words(src_.rec());
    if (w.empty()) continue;
    src_.require_line_end();
    AtomRead& a = atoms_[n++];
    if (w[0] != a.label)
      src_.fail("atom '" + std::string(w[0]) + "' where '" + a.label + "' (line " +
                std::to_string(a.line) + ") was expected");
    if (w.size() < 16) src_.fail("atom '" + a.label + "': 15 values expected");
    for (int i = 0; i < 3; ++i) a.xyz[i] = number(src_, w[1 + 3 * i], "atom position");
    a.B = number(src_, w[10], "atom B");
    a.occ = number(src_, w[13], "atom occupancy");
    a.line = src_.line();
  }
  // The anisotropic table, if any, and the cell, up to the next phase, cycle or table.
  while (next()) {
    const std::string_view r = src_.rec();
    if (starts(r, " => Phase  ") || starts(r, " => CYCLE No.") || starts(r, " Pattern#")) {
      pending_ = true;
      return;
    }
    auto w = words(r);
    if (w.size() >= 2 && w[0] == "Atom" && w[1] == "B11") {
      while (next()) {
        auto lw = words(src_.rec());
        if (lw.empty()) break;
        if (lw[0] == "B12") continue;
        auto it = std::find_if(atoms_.begin(), atoms_.end(),
                               [&](const AtomRead& a) { return a.label == lw[0]; });
        if (it == atoms_.end()) src_.fail("anisotropic parameters of an unknown atom");
        if (lw.size() < 10) src_.fail("atom '" + it->label + "': B11 to B33 expected");
        for (int i = 0; i < 3; ++i) it->betas[i] = number(src_, lw[1 + 3 * i], "beta");
        src_.need("reading B12, B13, B23", kWidth);
        auto cw = words(src_.rec());
        if (cw.size() < 9) src_.fail("atom '" + it->label + "': B12, B13, B23 expected");
        for (int i = 0; i < 3; ++i) it->betas[3 + i] = number(src_, cw[3 * i], "beta");
        it->has_betas = true;
      }
      continue;
    }
    if (starts(r, " => Cell parameters:")) {
      double v[6];
      for (double& x : v) {
        src_.need("reading the cell parameters", kWidth);
        auto cw = words(src_.rec());
        if (cw.empty()) src_.fail("a cell parameter is missing");
        x = number(src_, cw[0], "cell parameter");
      }
      cell_ = crystal::Cell{v[0], v[1], v[2], v[3], v[4], v[5]};
      return;
    }
  }
}

void Reader::section_line(std::string_view r) {
  std::string u = upper(r);
  if (u.find("MAGNETIC") != std::string::npos)
    src_.fail("phase " + std::to_string(phase_) +
              " is magnetic; its model is not read: " + std::string(trim_right(r)));
  if (auto s = after(r, "Symmetry information on space group:")) {
    symbol_ = *s;
    out_.symmetry_line = src_.line();
  } else if (auto n = after(r, "=>   Number of Space group:")) {
    given_.number = static_cast<int>(number(src_, *n, "space-group number"));
    out_.symmetry_line = src_.line();
  } else if (auto hm = after(r, "=>  Hermann-Mauguin Symbol:")) {
    given_.hm = *hm;
  } else if (auto hall = after(r, "=>             Hall Symbol:")) {
    given_.hall = *hall;
  } else if (r.find("SYMM(") != std::string::npos) {
    for (std::size_t p = r.find("SYMM("); p != std::string::npos; p = r.find("SYMM(", p + 1)) {
      std::size_t colon = r.find("):", p);
      if (colon == std::string::npos) break;
      auto w = words(std::string_view(r).substr(colon + 2));
      if (!w.empty()) given_.some_operators.emplace_back(w[0]);
    }
  } else if (starts(r, " => Initial parameters")) {
    read_initial_atoms();
  } else if (auto f = after(r, "m/M by")) {
    out_.occupancy_factor = number(src_, *f, "occupancy factor");
    if (!(out_.occupancy_factor > 0)) src_.fail("the occupancy factor is not positive");
  } else if (trim_right(r) == " => Direct cell parameters:") {
    read_direct_cell();
  } else if (starts(r, " => Scattering lengths:")) {
    read_scattering_lengths();
    out_.scattering_lengths = true;
    section_done_ = true;
  }
}

FullProfModel Reader::read() {
  src_.rewind();
  while (next()) {
    const std::string_view r = src_.rec();
    if (!neutron_ && r.find("Global Refinement of") != std::string::npos) {
      std::string u = upper(r);
      if (u.find("NEUTRON") != std::string::npos)
        neutron_ = true;
      else if (u.find("X-RAY") != std::string::npos)
        neutron_ = false;
    }
    if (auto n = phase_number(r, " => Phase  No.")) {
      held_.push_back(*n);
      if (in_section_) section_done_ = true;
      in_section_ = !section_done_ && *n == phase_;
      continue;
    }
    if (in_section_ && !section_done_) {
      if (starts(r, " => CYCLE No.")) {
        section_done_ = true;
      } else {
        section_line(r);
        continue;
      }
    }
    if (!in_section_ && !section_done_) continue;
    if (auto c = after(r, " => CYCLE No.:")) {
      out_.cycle = static_cast<std::int64_t>(number(src_, *c, "cycle number"));
    } else if (auto n = phase_number(r, " => Phase  ");
               n && *n == phase_ && r.find("Name:") != std::string::npos) {
      read_cycle_block();
    }
  }
  if (!in_section_ && !section_done_) {
    std::string held;
    for (auto n : held_) held += (held.empty() ? "" : ", ") + std::to_string(n);
    throw IoFailure(src_.name(), 0,
                    "no phase " + std::to_string(phase_) + " in the file" +
                        (held.empty() ? std::string(" (it holds no phase)")
                                      : " (it holds phase " + held + ")"));
  }
  out_.model = build();
  return std::move(out_);
}

crystal::Model Reader::build() {
  const std::string& file = src_.name();
  crystal::Model m;
  m.radiation = neutron_.value_or(out_.scattering_lengths) ? crystal::Radiation::neutron
                                                           : crystal::Radiation::xray;
  if (given_.hm.empty()) given_.hm = symbol_;
  if (given_.hm.empty() && given_.number == 0 && given_.hall.empty())
    throw IoFailure(file, 0, "no space group printed for phase " + std::to_string(phase_));
  try {
    m.group = crystal::space_group(given_);
  } catch (const crystal::ModelError& e) {
    throw IoFailure(file, out_.symmetry_line, e.what());
  }
  if (!cell_) throw IoFailure(file, 0, "no cell printed for phase " + std::to_string(phase_));
  m.cell = *cell_;
  crystal::Cell rec;
  try {
    rec = crystal::reciprocal(m.cell);
  } catch (const crystal::ModelError& e) {
    throw IoFailure(file, 0, "phase " + std::to_string(phase_) + ": " + e.what());
  }
  if (atoms_.empty())
    throw IoFailure(file, 0, "no atoms printed for phase " + std::to_string(phase_));
  const double M = m.group.order();
  const double ar[3] = {rec.a, rec.b, rec.c};
  const int ij[6][2] = {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}};
  for (const AtomRead& a : atoms_) {
    crystal::Atom atom;
    atom.label = a.label;
    atom.type = a.type;
    atom.xyz = a.xyz;
    atom.B_iso = a.B;
    atom.line = a.line;
    if (m.radiation == crystal::Radiation::neutron) {
      auto b = lengths_.find(upper(a.type));
      if (b != lengths_.end())
        atom.b_fm = b->second;
      else if (!crystal::known_type(a.type, m.radiation))
        throw IoFailure(file, a.line,
                        "atom '" + a.label + "': type '" + a.type +
                            "' has no neutron scattering length in the file or the tables");
    } else if (!crystal::known_type(a.type, m.radiation)) {
      throw IoFailure(
          file, a.line,
          "atom '" + a.label + "': type '" + a.type + "' has no X-ray form factor in the tables");
    }
    int mult = a.mult > 0 ? a.mult : m.group.site_multiplicity(a.xyz);
    atom.occupancy = a.occ * M / mult / out_.occupancy_factor;
    // A site cannot be more than full: an occupancy above 1 is the program's occupancy
    // scaled by a factor the output does not print, and the model's F and F000 would be
    // scaled by it too.
    if (atom.occupancy > 1 + 1e-3)
      throw IoFailure(file, a.line,
                      "atom '" + a.label + "': occupancy " + number_text(a.occ) +
                          " on a site of multiplicity " + std::to_string(mult) + " of " +
                          std::to_string(static_cast<int>(M)) + " gives a site occupancy of " +
                          number_text(atom.occupancy) +
                          ", more than full: the output does not print the factor its "
                          "occupancies were multiplied by; name an auxiliary file instead");
    if (a.has_betas) {
      for (int k = 0; k < 6; ++k) {
        double scale = 2 * std::numbers::pi * std::numbers::pi * ar[ij[k][0]] * ar[ij[k][1]];
        atom.U[k] = a.betas[k] / scale;
        if (a.betas[k] != 0) atom.anisotropic = true;
      }
    }
    m.atoms.push_back(std::move(atom));
  }
  return m;
}

}  // namespace

FullProfModel read_fullprof_model(TextSource& src, std::int64_t phase) {
  return Reader(src, phase).read();
}

}  // namespace memprep
