// A SHELX instruction file, read instruction by instruction: the first four characters of a
// line name the instruction (case ignored); a line ending in " =" continues on the next;
// "!" starts a comment; REM and TITL lines, and lines that start with a blank, are passed
// over whole. A line that is not an instruction is an atom: name, SFAC number, x y z, site
// occupation factor and either one U (isotropic) or U11 U22 U33 U23 U13 U12.
//
// A parameter written as 10m + p (p within ±5) is fixed at p when |m| = 1, and is
// p fv(m) for m > 1, p (fv(-m) - 1) for m < -1, fv being the free variables of FVAR (the
// first of them the scale). An isotropic U between -0.5 and -5 is that multiple of the U_eq
// of the last atom before it whose U was not given so.
#include "readers/shelx_instructions.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace memprep {

namespace {

// The instructions SHELXL knows; any other first word starts an atom.
constexpr std::string_view kInstructions[] = {
    "ABIN", "ACTA", "AFIX", "ANIS", "ANSC", "ANSR", "BASF", "BEDE", "BIND", "BLOC", "BOND", "BUMP",
    "CELL", "CGLS", "CHIV", "CONF", "CONN", "DAMP", "DANG", "DEFS", "DELU", "DFIX", "DISP", "EADP",
    "END",  "EQIV", "EXTI", "EXYZ", "FEND", "FLAT", "FMAP", "FRAG", "FREE", "FVAR", "GRID", "HFIX",
    "HKLF", "HOPE", "HTAB", "ISOR", "LATT", "LAUE", "LIST", "L.S.", "LONE", "MERG", "MOLE", "MORE",
    "MOVE", "MPLA", "NCSY", "NEUT", "OMIT", "PART", "PLAN", "POLY", "PRIG", "REM",  "RESI", "RIGU",
    "RTAB", "SADI", "SAME", "SFAC", "SHEL", "SIMU", "SIZE", "SPEC", "STIR", "SUMP", "SWAT", "SYMM",
    "TEMP", "TIME", "TITL", "TWIN", "TWST", "UNIT", "WGHT", "WIGL", "WPDB", "XNPD", "ZERR"};

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> w;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t j = i;
    while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
    if (j > i) w.push_back(text.substr(i, j - i));
    i = j;
  }
  return w;
}

// One instruction with its continuation lines, and the line it starts on.
struct Instruction {
  std::string keyword;  // the first word, upper case; empty for a comment or an empty line
  std::vector<std::string> args;
  std::string text;
  std::int64_t line = 0;
};

class Reader {
 public:
  explicit Reader(TextSource& src) : src_(src) {}

  // The next instruction; false at the end of the file.
  bool next(Instruction& in) {
    if (!src_.next(TextSource::kLongestRecord)) return false;
    in.line = src_.line();
    in.text = record();
    in.args.clear();
    // A line that starts with a blank is a comment (the title's further lines).
    if (in.text.empty() || in.text[0] == ' ' || in.text[0] == '\t') {
      in.keyword.clear();
      return true;
    }
    std::vector<std::string_view> w = words(in.text);
    in.keyword = w.empty() ? "" : upper(w[0]);
    if (in.keyword != "REM" && in.keyword != "TITL") {
      if (std::size_t bang = in.text.find('!'); bang != std::string::npos) in.text.resize(bang);
      // " =" at the end joins the next line.
      while (!in.text.empty() && ends_continued(in.text)) {
        in.text.erase(in.text.find_last_of('='));
        if (!src_.next(TextSource::kLongestRecord))
          fail(in.line, "the file ends in a continued instruction");
        std::string more = record();
        if (std::size_t bang = more.find('!'); bang != std::string::npos) more.resize(bang);
        in.text += " " + more;
      }
    }
    w = words(in.text);
    in.args.assign(w.empty() ? w.end() : w.begin() + 1, w.end());
    return true;
  }

  [[noreturn]] void fail(std::int64_t line, const std::string& what) const {
    throw IoFailure(src_.name(), line, what);
  }

 private:
  std::string record() const {
    if (src_.overlong())
      src_.fail("the line is longer than " + std::to_string(TextSource::kLongestRecord) +
                " characters");
    return std::string(src_.rec());
  }
  static bool ends_continued(const std::string& text) {
    std::size_t last = text.find_last_not_of(" \t");
    return last != std::string::npos && text[last] == '=' && last > 0 &&
           (text[last - 1] == ' ' || text[last - 1] == '\t');
  }
  TextSource& src_;
};

struct Element {
  std::string symbol;
  double fprime = 0, fdoubleprime = 0;
  bool dispersion_given = false;  // by the long form of SFAC or by DISP
};

// A raw atom line, decoded once every free variable is known.
struct AtomLine {
  std::string label;
  std::size_t sfac = 0;
  std::vector<double> values;  // x y z sof [U | U11 U22 U33 U23 U13 U12]
  std::int64_t line = 0;
};

double number(const Reader& reader, const Instruction& in, std::string_view word,
              const std::string& what) {
  std::string_view w = word;
  if (!w.empty() && w.front() == '+') w.remove_prefix(1);
  double v = 0;
  auto r = std::from_chars(w.data(), w.data() + w.size(), v);
  if (w.empty() || r.ec != std::errc() || r.ptr != w.data() + w.size() || !std::isfinite(v))
    reader.fail(in.line, what + ": '" + std::string(word) + "' is not a number");
  return v;
}

std::vector<double> numbers(const Reader& reader, const Instruction& in, std::size_t first,
                            std::size_t least, const std::string& what) {
  if (in.args.size() < first + least)
    reader.fail(in.line, in.keyword + ": " + std::to_string(least) + " " + what + " expected, " +
                             std::to_string(in.args.size() < first ? 0 : in.args.size() - first) +
                             " given");
  std::vector<double> v;
  for (std::size_t i = first; i < in.args.size(); ++i)
    v.push_back(number(reader, in, in.args[i], in.keyword + ": " + what));
  return v;
}

bool is_q_peak(std::string_view label) {
  return label.size() > 1 && (label[0] == 'Q' || label[0] == 'q') &&
         std::all_of(label.begin() + 1, label.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The centring translations of LATT's |N|.
std::vector<std::string> centring_operators(int n) {
  switch (n) {
    case 1:
      return {};
    case 2:
      return {"x+1/2,y+1/2,z+1/2"};
    case 3:
      return {"x+2/3,y+1/3,z+1/3", "x+1/3,y+2/3,z+2/3"};
    case 4:
      return {"x,y+1/2,z+1/2", "x+1/2,y,z+1/2", "x+1/2,y+1/2,z"};
    case 5:
      return {"x,y+1/2,z+1/2"};
    case 6:
      return {"x+1/2,y,z+1/2"};
    case 7:
      return {"x+1/2,y+1/2,z"};
  }
  return {"?"};
}

// U_eq = (1/3) sum_ij U_ij a*_i a*_j a_i.a_j.
double u_equivalent(const crystal::Atom& a, const crystal::Cell& cell) {
  if (!a.anisotropic) return a.B_iso / (8 * std::numbers::pi * std::numbers::pi);
  crystal::Cell rec = crystal::reciprocal(cell);
  const double len[3] = {cell.a, cell.b, cell.c};
  const double rlen[3] = {rec.a, rec.b, rec.c};
  const double deg = std::numbers::pi / 180;
  const double cosine[3][3] = {{1, std::cos(cell.gamma * deg), std::cos(cell.beta * deg)},
                               {std::cos(cell.gamma * deg), 1, std::cos(cell.alpha * deg)},
                               {std::cos(cell.beta * deg), std::cos(cell.alpha * deg), 1}};
  const int idx[3][3] = {{0, 3, 4}, {3, 1, 5}, {4, 5, 2}};
  double sum = 0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      sum += a.U[idx[i][j]] * rlen[i] * rlen[j] * len[i] * len[j] * cosine[i][j];
  return sum / 3;
}

bool riding(const std::vector<double>& v) {
  return v.size() == 5 && v[4] < -0.5 && v[4] > -5;
}

}  // namespace

crystal::Model read_shelx_instructions(TextSource& src, crystal::Radiation radiation) {
  Reader reader(src);
  crystal::Model model;
  model.radiation = radiation;
  std::optional<std::int64_t> cell_line;
  double wavelength = 0;
  int latt = 1;
  std::int64_t latt_line = 0;
  std::vector<std::string> symm;
  std::vector<Element> elements;
  std::vector<std::pair<Instruction, std::vector<double>>> disp;
  std::vector<double> fvar;
  std::vector<AtomLine> atoms;
  bool ended = false;
  Instruction in;
  while (!ended && reader.next(in)) {
    const std::string& k = in.keyword;
    if (k.empty()) continue;
    if (k == "END" || k == "HKLF") {
      ended = true;
    } else if (k == "CELL") {
      std::vector<double> v = numbers(reader, in, 0, 7, "values (wavelength, a b c, angles)");
      wavelength = v[0];
      model.cell = {v[1], v[2], v[3], v[4], v[5], v[6]};
      cell_line = in.line;
      try {
        crystal::volume(model.cell);
      } catch (const crystal::ModelError& e) {
        reader.fail(in.line, e.what());
      }
    } else if (k == "LATT") {
      double n = numbers(reader, in, 0, 1, "lattice type")[0];
      if (n != std::round(n) || n == 0 || std::abs(n) > 7)
        reader.fail(in.line, "LATT: '" + in.args[0] + "' is not a lattice type");
      latt = static_cast<int>(n);
      latt_line = in.line;
    } else if (k == "SYMM") {
      std::string op;
      for (const std::string& a : in.args) op.append(a);
      if (op.empty()) reader.fail(in.line, "SYMM: no operator");
      symm.push_back(op);
    } else if (k == "SFAC") {
      // Symbols, or one symbol with its form-factor coefficients, f', f'', mu, r and weight.
      bool long_form =
          in.args.size() > 1 && !std::isalpha(static_cast<unsigned char>(in.args[1].front()));
      if (long_form) {
        std::vector<double> v = numbers(reader, in, 1, 11, "coefficients");
        elements.push_back({in.args[0], v[9], v[10], true});
      } else {
        for (const std::string& s : in.args) elements.push_back({s, 0, 0, false});
      }
    } else if (k == "DISP") {
      if (in.args.empty()) reader.fail(in.line, "DISP: no element");
      disp.emplace_back(in, numbers(reader, in, 1, 2, "values (f' f'')"));
    } else if (k == "FVAR") {
      std::vector<double> v = numbers(reader, in, 0, 0, "free variables");
      fvar.insert(fvar.end(), v.begin(), v.end());
    } else if (std::find(std::begin(kInstructions), std::end(kInstructions), k.substr(0, 4)) !=
                   std::end(kInstructions) ||
               k.front() == '+') {
      continue;  // an instruction that does not shape the model; "+file" includes
    } else {
      std::string label(words(in.text)[0]);
      if (is_q_peak(label)) continue;
      if (in.args.size() < 4)
        reader.fail(in.line, "'" + label + "' is not an instruction, and too short for an atom");
      AtomLine a;
      a.label = label;
      a.line = in.line;
      double sfac = number(reader, in, in.args[0], "atom '" + label + "': the SFAC number");
      if (sfac != std::round(sfac) || sfac < 1 || sfac > static_cast<double>(elements.size()))
        reader.fail(in.line,
                    "atom '" + label + "': SFAC defines no scattering factor " + in.args[0]);
      a.sfac = static_cast<std::size_t>(sfac);
      for (std::size_t i = 1; i < in.args.size(); ++i)
        a.values.push_back(number(reader, in, in.args[i], "atom '" + label + "'"));
      if (a.values.size() > 10)
        reader.fail(in.line, "atom '" + label + "': " + std::to_string(a.values.size()) +
                                 " values, at most 10 (x y z sof and six U's)");
      atoms.push_back(a);
    }
  }
  if (!ended) reader.fail(0, "the file ends before HKLF or END");
  if (!cell_line) reader.fail(0, "no CELL");

  crystal::SymmetryGiven given;
  given.operators = {"x,y,z"};
  if (latt > 0) given.operators.push_back("-x,-y,-z");
  for (const std::string& c : centring_operators(std::abs(latt))) given.operators.push_back(c);
  given.operators.insert(given.operators.end(), symm.begin(), symm.end());
  try {
    model.group = crystal::space_group(given);
  } catch (const crystal::ModelError& e) {
    reader.fail(latt_line, std::string("LATT and SYMM: ") + e.what());
  }

  for (const auto& [d, v] : disp) {
    bool found = false;
    for (Element& e : elements)
      if (upper(e.symbol) == upper(d.args[0])) {
        e.fprime = v[0];
        e.fdoubleprime = v[1];
        e.dispersion_given = true;
        found = true;
      }
    if (!found) reader.fail(d.line, "DISP: '" + d.args[0] + "' is not an element of SFAC");
  }
  // Without DISP, SHELXL takes f' and f'' for CELL's wavelength from its own tables.
  if (radiation == crystal::Radiation::xray)
    for (Element& e : elements)
      if (!e.dispersion_given) {
        crystal::Dispersion d = crystal::dispersion(e.symbol, wavelength);
        e.fprime = d.fprime;
        e.fdoubleprime = d.fdoubleprime;
      }

  constexpr double kEightPiSquared = 8 * std::numbers::pi * std::numbers::pi;
  std::optional<std::size_t> rides_on;  // the atom a riding U refers to
  for (const AtomLine& line : atoms) {
    auto decode = [&](double x, const char* what) {
      double m = std::round(x / 10);
      double p = x - 10 * m;
      if (m == 0) return x;
      if (m == 1 || m == -1) return p;
      if (std::abs(m) > static_cast<double>(fvar.size()))
        reader.fail(line.line, "atom '" + line.label + "': " + what + " " + number_text(x) +
                                   " refers to free variable " + number_text(std::abs(m)) +
                                   ", FVAR gives " + std::to_string(fvar.size()));
      double fv = fvar[static_cast<std::size_t>(std::abs(m)) - 1];
      return m > 0 ? p * fv : p * (fv - 1);
    };
    const std::vector<double>& v = line.values;
    crystal::Atom a;
    a.label = line.label;
    a.line = line.line;
    const Element& e = elements[line.sfac - 1];
    a.type = e.symbol;
    a.fprime = e.fprime;
    a.fdoubleprime = e.fdoubleprime;
    a.xyz = {decode(v[0], "x"), decode(v[1], "y"), decode(v[2], "z")};
    // The file's sof is the occupancy divided by the site's symmetry order, as SHELXL writes
    // it; one fixed at 1 (11, the default) on a special position is the full site, which
    // SHELXL constrains to that order itself.
    bool fixed_one = v.size() < 4 || std::abs(v[3] - 11) < 1e-6;
    double sof = v.size() > 3 ? decode(v[3], "the site occupation factor") : 1;
    double order = static_cast<double>(model.group.order()) / model.group.site_multiplicity(a.xyz);
    a.occupancy = fixed_one ? 1 : sof * order;
    if (v.size() == 10) {
      a.anisotropic = true;
      const int from[6] = {4, 5, 6, 9, 8, 7};  // U11 U22 U33 U12 U13 U23 from U23 U13 U12
      for (int i = 0; i < 6; ++i) a.U[i] = decode(v[from[i]], "U");
    } else if (riding(v)) {
      if (!rides_on)
        reader.fail(line.line, "atom '" + line.label + "': U " + number_text(v[4]) +
                                   " rides on an atom, but none comes before it");
      a.B_iso = kEightPiSquared * -v[4] * u_equivalent(model.atoms[*rides_on], model.cell);
    } else if (v.size() == 5) {
      a.B_iso = kEightPiSquared * decode(v[4], "U");
    } else if (v.size() == 4) {
      a.B_iso = kEightPiSquared * 0.05;  // SHELX's default U
    } else {
      reader.fail(line.line, "atom '" + line.label + "': " + std::to_string(v.size()) +
                                 " values; x y z sof with one U or six expected");
    }
    model.atoms.push_back(a);
    if (!riding(v)) rides_on = model.atoms.size() - 1;
  }
  return model;
}

}  // namespace memprep
