// A reflection CIF as the source: the structure-factor list of a refinement (SHELXL and
// olex2 `.fcf` files of list codes 3, 4 and 6, Jana's files, GSAS-II's CIFs), read with
// gemmi's CIF parser. Tags are compared without regard to case and are looked up in both
// spellings, `_refln_F_calc` and the DDL2 form `_refln.F_calc`.
//
// The reflection loop gives h k l and the measured values in one of two forms:
//   F_squared_meas, F_squared_sigma   Fo² and sigma(Fo²) as they stand;
//   F_meas, F_sigma                   Fo² = F², sigma(Fo²) = sigma (2 F + sigma), which
//                                     the refinement rule turns back into sigma exactly;
// and the model's values as F_calc with phase_calc (degrees), A_calc with B_calc, or
// F_squared_calc alone (the phases then come from the model). The reader leaves Fo² in Io,
// sigma(Fo²) in SigIo, the phase as a unit phasor in FoR, FoI and |F|calc² in Icalc; the
// steps merge the equivalents and form |Fo| (steps/squared_observations.hpp).
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "crystal/crystal.hpp"
#include "crystal/structure_cif.hpp"
#include "io/errors.hpp"
#include "io/fields.hpp"
#include "io/files.hpp"
#include "readers/cif_document.hpp"
#include "readers/readers.hpp"
#include "readers/shelx_instructions.hpp"
#include "readers/source_survey.hpp"
#include "store/degrees.hpp"

namespace memprep {

namespace {

// ---- The file --------------------------------------------------------------------------

CifDocument parse(const std::string& name, const std::string& text) {
  try {
    return CifDocument::parse(name, text);
  } catch (const CifParseError& e) {
    throw IoFailure(name, e.line, "not a readable CIF: " + e.condition);
  }
}

// One block of a parsed file, with the look-ups of gemmi's blocks.
struct Block {
  const CifDocument* doc = nullptr;
  std::size_t index = 0;
  explicit operator bool() const { return doc != nullptr; }
  bool operator==(const Block& o) const { return doc == o.doc && index == o.index; }
  const std::string& name() const { return doc->name(index); }
  const std::string* find_value(const std::string& tag) const { return doc->value(index, tag); }
  bool holds(const std::string& tag) const { return doc->holds(index, tag); }
  CifLoop loop(const std::string& tag) const { return doc->loop(index, tag); }
  const gemmi::cif::Block& raw() const { return doc->block(index); }
};

std::vector<Block> blocks_of(const CifDocument& doc) {
  std::vector<Block> blocks;
  for (std::size_t i = 0; i < doc.blocks(); ++i) blocks.push_back(Block{&doc, i});
  return blocks;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The reflection loop of a block (in either spelling); its tags are null when none.
CifLoop reflection_loop(const Block& b) {
  CifLoop l = b.loop("_refln_index_h");
  return l.tags ? l : b.loop("_refln.index_h");
}

// The line of each row of a loop: the parser keeps only the line of `loop_`, so the text
// is scanned from there, value by value (quoted values and text fields taken whole).
std::vector<std::int64_t> row_lines(const std::string& text, int loop_line, std::size_t width,
                                    std::size_t rows) {
  std::vector<std::int64_t> lines;
  lines.reserve(rows);
  std::size_t pos = 0;
  std::int64_t line = 1;
  while (line < loop_line && pos < text.size()) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string::npos) break;
    pos = nl + 1;
    ++line;
  }
  std::size_t token = 0;
  const std::size_t skip = width + 1;  // loop_ and its tags
  const auto at_line_start = [&](std::size_t p) { return p == 0 || text[p - 1] == '\n'; };
  while (pos < text.size() && lines.size() < rows) {
    const char c = text[pos];
    if (c == '\n') {
      ++line;
      ++pos;
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      ++pos;
      continue;
    }
    if (c == '#') {
      pos = text.find('\n', pos);
      if (pos == std::string::npos) break;
      continue;
    }
    if (token >= skip && (token - skip) % width == 0) lines.push_back(line);
    ++token;
    if (c == ';' && at_line_start(pos)) {  // a text field, to a line beginning with ';'
      std::size_t p = pos + 1;
      for (;;) {
        const std::size_t nl = text.find('\n', p);
        if (nl == std::string::npos) return lines;
        ++line;
        p = nl + 1;
        if (p < text.size() && text[p] == ';') break;
      }
      pos = p + 1;
      continue;
    }
    if (c == '\'' || c == '"') {  // ends at the same quote followed by a blank
      std::size_t p = pos + 1;
      while (p < text.size() &&
             !(text[p] == c && (p + 1 == text.size() || text[p + 1] == ' ' || text[p + 1] == '\t' ||
                                text[p + 1] == '\n' || text[p + 1] == '\r')))
        ++p;
      pos = p + 1;
      continue;
    }
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\t' && text[pos] != '\n' &&
           text[pos] != '\r')
      ++pos;
  }
  while (lines.size() < rows) lines.push_back(lines.empty() ? loop_line : lines.back());
  return lines;
}

// ---- Items in both spellings -----------------------------------------------------------

// The value of `_CATEGORY_ITEM` or `_CATEGORY.ITEM`, or nullptr.
const std::string* item(const Block& block, std::string_view category, std::string_view name) {
  for (char sep : {'_', '.'}) {
    std::string tag(1, '_');
    tag.append(category).append(1, sep).append(name);
    if (const std::string* v = block.find_value(tag)) return v;
  }
  return nullptr;
}

// A number as CIF writes it, its standard uncertainty in parentheses passed over: NaN for
// "?" and "." (not given); nullopt for a text that is not a number.
std::optional<double> cif_number(std::string_view v) {
  if (v == "?" || v == ".") return std::nan("");
  if (std::size_t open = v.find('('); open != std::string_view::npos && v.ends_with(')'))
    v = v.substr(0, open);
  if (v.starts_with('+')) v.remove_prefix(1);
  double x = 0;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), x);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size() || v.empty()) return std::nullopt;
  return x;
}

std::optional<std::int64_t> cif_integer(std::string_view v) {
  if (v.starts_with('+')) v.remove_prefix(1);
  std::int64_t x = 0;
  const auto r = std::from_chars(v.data(), v.data() + v.size(), x);
  if (r.ec != std::errc() || r.ptr != v.data() + v.size() || v.empty()) return std::nullopt;
  return x;
}

bool holds_atoms(const Block& b) {
  return b.holds("_atom_site_fract_x") || b.holds("_atom_site.fract_x");
}

// ---- The control layout ----------------------------------------------------------------

constexpr ControlLine kLayout[] = {
    with_guide(kSourceLine,
               "the reflection CIF's name (containing `.fcf`, `.FCF`, `.cif` or `.CIF`)"),
    {.holds = Setting::auxiliary,
     .stage = Stage::names,
     .what = "the structure file name",
     .read = read_auxiliary_name,
     .guide = "the structure CIF's (or SHELX `.res` file's) name, for a reflection file "
              "without phases; `-` when the file carries its phases or its own block holds the "
              "structure",
     .comment = "structure CIF: - when the file carries phases or holds the structure"},
    kOutputLine,
    {.holds = Setting::data_block,
     .stage = Stage::reader,
     .what = "the data block",
     .guide = "the data block's name (without `data_`), or `-`: the file's one block with "
              "reflections",
     .comment = "data block"},
    {.holds = Setting::title,
     .stage = Stage::reader,
     .what = "the title",
     .guide = "title, or `-`: the file's (`_shelx_title`, else the block's name)",
     .comment = "title: - for the file's"},
    by_reader(with_guide(kELine, "`E`: sigma(\\|Fo\\|) is the file's divided by √E")),
    by_reader(kGridLine),
    {.holds = Setting::phase,
     .when = When::powder,
     .stage = Stage::reader,
     .what = "the phase",
     .guide = "the phase's `_pd_refln_phase_id`, or `-` for the pattern's only phase",
     .comment = "phase id"},
    {.holds = Setting::lambda1,
     .when = When::no_wavelength,
     .stage = Stage::reader,
     .what = "lambda1",
     .read = read_lambda1,
     .guide = "`lambda1`",
     .placeholder = "<lambda1: the wavelength in Angstrom>",
     .comment = "lambda1: the file gives none"},
    {.holds = Setting::sigma_rule,
     .when = When::powder,
     .stage = Stage::reader,
     .what = "the uncertainty rule",
     .guide = "how sigma(\\|Fo\\|) is given, as the file has none: `counting` (the counting "
              "rule on `_gsas_i100_meas`) or a percentage of Fo², such as `5%`",
     .placeholder = "<rule: counting, or a percentage of Fo^2 such as 5%>",
     .comment = "uncertainty rule"},
    {.holds = Setting::amplitudes,
     .stage = Stage::reader,
     .what = "F000",
     .guide = "F000, or `-`: `_exptl_crystal_F_000`, else the model's",
     .placeholder = "<F000: the electrons (or fm) in the cell>",
     .comment = "F000: - for the file's or the model's"},
};

// ---- The reader ------------------------------------------------------------------------

// The columns of the reflection loop, -1 where absent.
struct Columns {
  int h = -1, k = -1, l = -1;
  int f2 = -1, f2_sigma = -1;  // F_squared_meas, F_squared_sigma
  int f = -1, f_sigma = -1;    // F_meas, F_sigma
  int f_calc = -1, phase = -1, a = -1, b = -1, f2_calc = -1;
  int status = -1;
  int phase_id = -1, d = -1, i100 = -1;  // powder: _pd_refln_phase_id, d_spacing, i100
};

class CifReader {
 public:
  explicit CifReader(Run& run) : run_(run), s_(run.store), name_(run.SRCFILE) {}

  void read() {
    text_ = whole_file(name_);
    doc_ = parse(name_, text_);
    choose_block();
    phase_block_ = block_;
    run_.options.sigma = RunOptions::Sigma::source;
    find_columns();
    read_title();
    read_control(run_, Setting::E);
    read_control(run_, Setting::grid);
    decide_line(run_, When::powder, powder_);
    if (powder_) choose_phase();
    if (run_.options.overlap_groups() && !powder_)
      fail(0, std::string(run_.options.overlap_fwhm > 0 ? "--overlap-fwhm" : "--overlap-d") +
                  " forms overlap groups of a powder pattern; block data_" + block_.name() +
                  " is a single-crystal list");
    read_symmetry_and_cell();
    read_radiation();
    read_model();
    read_reflections();
    use_model();
    read_f000();
    describe();
  }

 private:
  // The next control line, which holds `holds`, as text without its surrounding blanks.
  std::string control_text(Setting holds, std::size_t length = 512) {
    const ControlLine& line = advance_layout(run_, holds);
    std::string text;
    read_control_line(run_, text, length, line.what);
    run_.origin[holds] = where(run_.ctl.name(), run_.ctl.line());
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
  }

  [[noreturn]] void fail(std::int64_t line, const std::string& condition) const {
    throw IoFailure(name_, line, condition);
  }

  // The block named on the control line, or the one block with a reflection loop.
  void choose_block() {
    std::string wanted = control_text(Setting::data_block);
    wanted = wanted.substr(0, wanted.find(' '));
    const std::string asked_at = run_.origin[Setting::data_block];
    std::string with_reflections;
    std::vector<Block> candidates;
    for (const Block& b : blocks_of(doc_))
      if (reflection_loop(b).tags) {
        candidates.push_back(b);
        with_reflections += (with_reflections.empty() ? "" : ", ") + b.name();
      }
    if (wanted == "-") {
      if (candidates.empty())
        fail(0, "not a reflection file: no block holds a loop of _refln_index_h");
      if (candidates.size() > 1)
        fail(0, "the blocks " + with_reflections + " all hold reflections; the control file (" +
                    asked_at + ") must name one");
      block_ = candidates.front();
    } else {
      if (wanted.starts_with("data_")) wanted.erase(0, 5);
      for (const Block& b : blocks_of(doc_))
        if (same_text(b.name(), wanted)) block_ = b;
      if (!block_)
        fail(0, "holds no block data_" + wanted + ", which the control file names (" + asked_at +
                    "); blocks with reflections: " +
                    (with_reflections.empty() ? std::string("none") : with_reflections));
      if (!reflection_loop(block_).tags)
        fail(0, "block data_" + block_.name() + " holds no loop of _refln_index_h (" + asked_at +
                    "); blocks with reflections: " +
                    (with_reflections.empty() ? std::string("none") : with_reflections));
    }
  }

  void find_columns() {
    loop_ = reflection_loop(block_);
    loop_line_ = loop_.line;
    const CifLoop& loop = loop_;
    auto col = [&](const char* tag) {
      for (const char* prefix : {"_refln_", "_refln."}) {
        const int c = loop.find(std::string(prefix) + tag);
        if (c >= 0) return c;
      }
      return -1;
    };
    c_.h = col("index_h");
    c_.k = col("index_k");
    c_.l = col("index_l");
    c_.f2 = col("F_squared_meas");
    c_.f2_sigma = col("F_squared_sigma");
    c_.f = col("F_meas");
    c_.f_sigma = col("F_sigma");
    c_.f_calc = col("F_calc");
    c_.phase = col("phase_calc");
    c_.a = col("A_calc");
    c_.b = col("B_calc");
    c_.f2_calc = col("F_squared_calc");
    c_.status = col("observed_status");
    c_.phase_id = loop.find("_pd_refln_phase_id");
    c_.d = col("d_spacing");
    c_.i100 = loop.find("_gsas_i100_meas");
    powder_ =
        c_.phase_id >= 0 || block_.find_value("_pd_block_id") || block_.holds("_pd_phase_block_id");
    if (c_.k < 0 || c_.l < 0) fail(loop_line_, "the reflection loop lacks _refln_index_k or _l");
    if (powder_ && c_.f2 >= 0) {
      measured_ = c_.f2_sigma >= 0 ? "F^2meas, sigma(F^2)" : "F^2meas";
    } else if (c_.f2 >= 0 && c_.f2_sigma >= 0) {
      measured_ = "F^2meas, sigma(F^2)";
    } else if (c_.f >= 0 && c_.f_sigma >= 0) {
      measured_ = "Fmeas, sigma(F)";
    } else {
      fail(loop_line_,
           "the reflection loop holds neither _refln_F_squared_meas with _refln_F_squared_sigma "
           "nor _refln_F_meas with _refln_F_sigma");
    }
    if (c_.f_calc >= 0 && c_.phase >= 0)
      calculated_ = "Fcalc, phase";
    else if (c_.a >= 0 && c_.b >= 0)
      calculated_ = "A, B";
    else if (c_.f2_calc >= 0 && c_.phase >= 0)
      calculated_ = "F^2calc, phase";
    else if (c_.f2_calc >= 0)
      calculated_ = "F^2calc";
    else
      fail(loop_line_,
           "the reflection loop holds no calculated values (_refln_F_calc with "
           "_refln_phase_calc, _refln_A_calc with _refln_B_calc, or _refln_F_squared_calc)");
    phases_in_file_ = calculated_ != "F^2calc";
  }

  // The model: the structure CIF named on the control line, or the file's own block when it
  // holds atoms. Needed for the phases of a file that carries none; checked against the
  // file's F²calc whenever there is one.
  void read_model() {
    Block model_block;
    std::string model_file = name_;
    const std::string aux = lower(run_.AUXFILE);
    if (aux.ends_with(".res") || aux.ends_with(".ins")) {  // SHELX instructions
      TextSource src;
      src.open(run_.AUXFILE);
      model_ = std::make_unique<crystal::Model>(read_shelx_instructions(src, radiation_));
      try {
        model_f000_ = crystal::f000(*model_);
        factors_ = std::make_unique<crystal::StructureFactors>(*model_);
      } catch (const crystal::ModelError& e) {
        model_failure(e, run_.AUXFILE);
      }
      model_from_ = where(run_.AUXFILE, 0);
      return;
    }
    if (!run_.AUXFILE.empty()) {
      model_file = run_.AUXFILE;
      model_text_ = whole_file(model_file);
      model_doc_ = parse(model_file, model_text_);
      std::vector<Block> with_atoms;
      std::string names;
      for (const Block& b : blocks_of(model_doc_))
        if (holds_atoms(b)) {
          with_atoms.push_back(b);
          names += (names.empty() ? "data_" : ", data_") + b.name();
        }
      for (const Block& b : with_atoms)
        if (same_text(b.name(), block_.name())) model_block = b;
      if (!model_block && with_atoms.size() == 1) model_block = with_atoms.front();
      if (!model_block)
        throw IoFailure(model_file, 0,
                        with_atoms.empty()
                            ? std::string("not a structure CIF: no block holds _atom_site_fract_x")
                            : "the blocks " + names + " hold structures, and none is named data_" +
                                  block_.name() + " as the reflection block is");
    } else if (holds_atoms(block_)) {
      model_block = block_;
    }
    if (!model_block) {
      if (!phases_in_file_)
        throw IoFailure(run_.CTLFILE, run_.ctl_out_line - 1,
                        name_for_message(name_) +
                            " carries no phases (F^2calc alone) and its block no structure: name "
                            "the structure CIF on this line");
      return;
    }
    try {
      crystal::CifStructure structure = crystal::structure_from_cif(model_block.raw(), radiation_);
      model_ = std::make_unique<crystal::Model>(std::move(structure.model));
      model_f000_ = crystal::f000(*model_);
      factors_ = std::make_unique<crystal::StructureFactors>(*model_);
    } catch (const crystal::ModelError& e) {
      model_failure(e, model_file);
    }
    model_from_ = model_file == name_ ? "the file's own block"
                                      : where(model_file, 0) + " data_" + model_block.name();
  }

  // The model's phases where the file has none; the model's |F|² against the file's F²calc.
  void use_model() {
    if (!factors_) return;
    std::vector<double> file_f2, model_f2;
    file_f2.reserve(static_cast<std::size_t>(s_.NREF1));
    model_f2.reserve(static_cast<std::size_t>(s_.NREF1));
    for (std::int64_t j = 1; j <= s_.NREF1; ++j) {
      const auto i = static_cast<std::size_t>(j);
      const std::complex<double> f = (*factors_)(
          static_cast<int>(s_.H[i]), static_cast<int>(s_.K[i]), static_cast<int>(s_.L[i]));
      file_f2.push_back(s_.Icalc[i]);
      model_f2.push_back(std::norm(f));
      if (!phases_in_file_) {
        const double m = std::abs(f);
        s_.FoR[i] = m > 0 ? f.real() / m : 1;
        s_.FoI[i] = m > 0 ? f.imag() / m : 0;
      }
    }
    try {
      fit_ = crystal::fit_f_squared(file_f2, model_f2);
    } catch (const crystal::ModelError& e) {
      fail(0, e.what());
    }
    if (fit_.used == 0 || !(fit_.R <= run_.options.max_r_f2))
      fail(0, "the model (" + model_from_ + ") gives R(F^2) = " + figures_text(fit_.R, 3) +
                  " against the file's F^2calc over " + std::to_string(fit_.used) +
                  " reflections, above " + number_text(run_.options.max_r_f2) +
                  ": not the model of this refinement (--max-r-f2 accepts a larger R)");
  }

  // A powder pattern's phase: its id on the control line, its block (cell and symmetry)
  // through the pattern's `_pd_phase_id` / `_pd_phase_block_id` loop and the phase blocks'
  // `_pd_block_id`.
  void choose_phase() {
    std::string wanted = control_text(Setting::phase);
    wanted = wanted.substr(0, wanted.find(' '));
    const std::string asked_at = run_.origin[Setting::phase];
    std::vector<std::pair<std::string, std::string>> phases;  // id, block id
    const CifLoop pointers = block_.loop("_pd_phase_id");
    const int id_col = pointers.tags ? pointers.find("_pd_phase_id") : -1;
    const int block_col = pointers.tags ? pointers.find("_pd_phase_block_id") : -1;
    if (id_col >= 0 && block_col >= 0)
      for (std::size_t r = 0; r < pointers.length(); ++r)
        phases.emplace_back(cif_text(pointers.val(r, static_cast<std::size_t>(id_col))),
                            cif_text(pointers.val(r, static_cast<std::size_t>(block_col))));
    if (phases.empty())
      fail(0, "block data_" + block_.name() +
                  " has no loop of _pd_phase_id and _pd_phase_block_id to find its phases by");
    std::size_t at = phases.size();
    std::string ids;
    for (std::size_t i = 0; i < phases.size(); ++i) {
      ids += (i ? ", " : "") + phases[i].first;
      if (phases[i].first == wanted) at = i;
    }
    if (wanted == "-") {
      if (phases.size() > 1)
        fail(0, "the pattern holds the phases " + ids + "; the control file (" + asked_at +
                    ") must name one");
      at = 0;
    }
    if (at == phases.size())
      fail(0, "the pattern holds no phase " + wanted + " (" + asked_at + "); its phases: " + ids);
    phase_id_ = phases[at].first;
    s_.IPHASE = static_cast<std::int64_t>(at) + 1;
    run_.origin[Setting::phase] = asked_at;
    for (const Block& other : blocks_of(doc_))
      if (const std::string* id = other.find_value("_pd_block_id");
          id && cif_text(*id) == phases[at].second)
        phase_block_ = other;
    if (phase_block_ == block_)
      fail(0, "no block has the _pd_block_id " + phases[at].second + " of phase " + phase_id_);
  }

  // A powder pattern's uncertainty rule: `counting` on `_gsas_i100_meas`, or sigma(Fo²) a
  // percentage of Fo².
  void read_sigma_rule() {
    std::string rule = control_text(Setting::sigma_rule);
    rule = rule.substr(0, rule.find(' '));
    const std::string at = run_.origin[Setting::sigma_rule];
    if (rule == "counting") {
      if (c_.i100 < 0)
        throw IoFailure(run_.CTLFILE, run_.ctl.line(),
                        "the counting rule needs _gsas_i100_meas, which " +
                            name_for_message(name_) +
                            " does not give; give a percentage of Fo^2 instead, such as 5%");
      counting_ = true;
      run_.options.sigma = RunOptions::Sigma::counting;
      rule_words_ = "sigma(|Fo|) by the counting rule on _gsas_i100_meas";
      return;
    }
    const std::optional<double> p =
        rule.ends_with('%') ? cif_number(std::string_view(rule).substr(0, rule.size() - 1))
                            : std::nullopt;
    if (!p || !(*p > 0) || !std::isfinite(*p))
      throw IoFailure(run_.CTLFILE, run_.ctl.line(),
                      "the uncertainty rule: '" + rule +
                          "' is neither counting nor a percentage above 0, such as 5%");
    percent_ = *p;
    rule_words_ = "sigma(Fo^2) = " + number_text(*p) + "% of Fo^2 (" + at + ")";
  }

  void read_title() {
    const ControlLine& line = advance_layout(run_, Setting::title);
    read_control_line(run_, s_.TITLE, 70, line.what);
    run_.origin[Setting::title] = where(run_.ctl.name(), run_.ctl.line());
    if (std::string fault = title_fault(s_.TITLE); !fault.empty()) run_.ctl.fail(fault);
    if (trim(s_.TITLE) != "-") return;
    std::string title;
    if (const std::string* v = block_.find_value("_shelx_title")) title = cif_text(*v);
    if (title.empty()) title = block_.name();
    s_.TITLE = std::string(trim(title).substr(0, 70));
    for (char& ch : s_.TITLE)
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = ' ';
    if (std::string fault = title_fault(s_.TITLE); !fault.empty())
      run_.ctl.fail(fault + ", from " + block_.name());
  }

  // A failure of the crystal layer over this file: at the line its message names.
  [[noreturn]] void model_failure(const crystal::ModelError& e, const std::string& file) const {
    const std::string_view m = e.what();
    std::int64_t line = 0;
    if (std::size_t at = m.find("line "); at != std::string_view::npos)
      std::from_chars(m.data() + at + 5, m.data() + m.size(), line);
    throw IoFailure(file, line, std::string(m));
  }

  void read_symmetry_and_cell() {
    try {
      cell_ = crystal::cell_from_cif(phase_block_.raw());
      group_ = crystal::space_group_from_cif(phase_block_.raw());
    } catch (const crystal::ModelError& e) {
      model_failure(e, name_);
    }
    s_.CELL = {cell_.a, cell_.b, cell_.c, cell_.alpha, cell_.beta, cell_.gamma};
    run_.origin[Setting::cell] = where(name_, 0);
    set_symmetry_numbers();
  }

  // SPG and SET: the MEM data set knows a group by its number and the setting (the first or
  // second origin, hexagonal or rhombohedral axes) of the tables.
  void set_symmetry_numbers() {
    const int number = group_.number();
    std::int64_t setting = 0;
    if (number > 0)
      for (int set = 1; set <= 2 && setting == 0; ++set) {
        try {
          const crystal::SpaceGroup g =
              crystal::space_group(crystal::SymmetryGiven{.number = number,
                                                          .setting = set,
                                                          .hm = {},
                                                          .hall = {},
                                                          .operators = {},
                                                          .some_operators = {}});
          if (g.hall() == group_.hall()) setting = set;
        } catch (const crystal::ModelError&) {
        }
      }
    if (setting == 0)
      fail(0, "the space group " + (group_.hm().empty() ? "of the operators given" : group_.hm()) +
                  " is in a setting that a MEM data set's space-group and setting numbers cannot "
                  "give; transform the file to the standard setting");
    s_.SPG = number;
    s_.SET = setting;
    s_.VOL = group_.hm().empty() ? 'P' : group_.hm()[0];
    run_.origin[Setting::symmetry] = where(name_, 0);
  }

  void read_radiation() {
    radiation_ = crystal::Radiation::xray;
    if (const std::string* v = item(block_, "diffrn_radiation", "probe"); v && !cif_null(*v)) {
      const std::string probe = lower(cif_text(*v));
      if (probe == "neutron")
        radiation_ = crystal::Radiation::neutron;
      else if (probe != "x-ray" && probe != "xray")
        fail(0, "_diffrn_radiation_probe '" + cif_text(*v) +
                    "': only x-ray and neutron data are converted");
    }
    const std::string* w = item(block_, "diffrn_radiation", "wavelength");
    if (!w) w = item(block_, "diffrn_radiation_wavelength", "wavelength");
    std::optional<double> lambda;
    if (w && !cif_null(*w)) lambda = cif_number(*w);
    if (w && !cif_null(*w) && (!lambda || !(*lambda > 0)))
      fail(0, "_diffrn_radiation_wavelength '" + *w + "' is not a positive number");
    decide_line(run_, When::no_wavelength, !lambda.has_value());
    if (lambda) {
      s_.LAMBDA1 = *lambda;
      run_.origin[Setting::lambda1] = where(name_, 0);
    } else {
      read_control(run_, Setting::lambda1);
    }
  }

  double number_at(std::size_t row, int col, std::int64_t line) const {
    const std::string& v = loop_.val(row, static_cast<std::size_t>(col));
    const std::optional<double> x = cif_number(v);
    if (!x)
      fail(line, (*loop_.tags)[static_cast<std::size_t>(col)] + " '" + v + "' is not a number");
    return *x;
  }

  std::int64_t index_at(std::size_t row, int col, std::int64_t line) const {
    const std::string& v = loop_.val(row, static_cast<std::size_t>(col));
    const std::optional<std::int64_t> x = cif_integer(v);
    if (!x || *x < -9999 || *x > 99999)
      fail(line, (*loop_.tags)[static_cast<std::size_t>(col)] + " '" + v + "' is not an index");
    return *x;
  }

  void read_reflections() {
    if (powder_) read_sigma_rule();
    const std::size_t rows = loop_.length();
    const std::vector<std::int64_t> lines = row_lines(text_, loop_line_, loop_.width(), rows);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::int64_t line = lines[r];
      const std::int64_t h = index_at(r, c_.h, line), k = index_at(r, c_.k, line),
                         l = index_at(r, c_.l, line);
      if (h == 0 && k == 0 && l == 0) continue;  // F000 has a line of its own
      if (c_.phase_id >= 0 &&
          cif_text(loop_.val(r, static_cast<std::size_t>(c_.phase_id))) != phase_id_)
        continue;
      bool observed = true;
      if (c_.status >= 0) {
        const std::string status = cif_text(loop_.val(r, static_cast<std::size_t>(c_.status)));
        observed = status == "o";
      }
      if (!observed) {
        ++unobserved_;
        if (run_.options.observed_only) continue;
      }
      double f2 = 0, sigma2 = 0;
      if (powder_ && c_.f2 >= 0 && (percent_ > 0 || counting_)) {
        f2 = number_at(r, c_.f2, line);
        sigma2 = percent_ / 100 * std::abs(f2);
      } else if (c_.f2 >= 0 && c_.f2_sigma >= 0) {
        f2 = number_at(r, c_.f2, line);
        sigma2 = number_at(r, c_.f2_sigma, line);
      } else {
        const double f = number_at(r, c_.f, line), sf = number_at(r, c_.f_sigma, line);
        f2 = f * f;
        sigma2 = sf * (2 * f + sf);
      }
      if (f2 <= 0) ++not_positive_;
      double re = 1, im = 0, fc2 = 0;
      if (c_.f_calc >= 0 && c_.phase >= 0) {
        const double fc = number_at(r, c_.f_calc, line), phase = number_at(r, c_.phase, line);
        const CosSin cs = cos_sin_deg(phase);
        re = cs.cos;
        im = cs.sin;
        fc2 = fc * fc;
      } else if (c_.f2_calc >= 0 && c_.phase >= 0) {
        const CosSin cs = cos_sin_deg(number_at(r, c_.phase, line));
        re = cs.cos;
        im = cs.sin;
        fc2 = number_at(r, c_.f2_calc, line);
      } else if (!phases_in_file_) {
        fc2 = number_at(r, c_.f2_calc, line);
      } else {
        const double a = number_at(r, c_.a, line), b = number_at(r, c_.b, line);
        fc2 = a * a + b * b;
        if (fc2 > 0) {
          re = a / std::sqrt(fc2);
          im = b / std::sqrt(fc2);
        }
      }
      if (!std::isfinite(re) || !std::isfinite(im)) {
        re = 1;  // a phase not given: the reflection is kept with phase 0
        im = 0;
      }
      const std::size_t n = s_.add_reflection(line, [&] { return where(name_, line); });
      s_.H[n] = h;
      s_.K[n] = k;
      s_.L[n] = l;
      s_.Io[n] = f2;
      s_.SigIo[n] = sigma2;
      s_.FoR[n] = re;
      s_.FoI[n] = im;
      s_.Icalc[n] = fc2;
      if (powder_) {
        const crystal::ReflectionInfo info = crystal::reflection_info(
            group_, cell_, static_cast<int>(h), static_cast<int>(k), static_cast<int>(l));
        s_.MRef[n] = info.multiplicity;
        s_.Dspacing[n] = c_.d >= 0 ? number_at(r, c_.d, line) : info.d;
      }
      if (counting_) {  // the counting rule on the pattern's intensity: no merging
        const double f = std::sqrt(std::max(f2, 0.0));
        s_.FoAbs[n] = f;
        s_.FoR[n] = re * f + 0.0;
        s_.FoI[n] = im * f + 0.0;
        s_.Io[n] = number_at(r, c_.i100, line) * 1.0e10;
      }
    }
    const crystal::SpaceGroup group = group_;
    const bool keep_friedel = run_.options.keep_friedel;
    const bool acentric = !group.centrosymmetric();
    run_.representative = [group, keep_friedel, acentric](std::int64_t h, std::int64_t k,
                                                          std::int64_t l) {
      const crystal::UniqueIndex u = crystal::unique_index(
          group, static_cast<int>(h), static_cast<int>(k), static_cast<int>(l), keep_friedel);
      return Representative{u.h, u.k, u.l, u.phase_shift, u.friedel, u.friedel && acentric};
    };
  }

  // F000: typed on the control line, or `-` for the file's `_exptl_crystal_F_000` (the
  // model's when the file gives none). A typed value that differs from the file's by more
  // than 1 % is kept, with a warning that names both.
  void read_f000() {
    std::string typed = control_text(Setting::amplitudes);
    typed = typed.substr(0, typed.find(' '));
    const std::string typed_at = run_.origin[Setting::amplitudes];
    double file_f000 = std::nan("");
    if (const std::string* v = item(block_, "exptl_crystal", "F_000"); v && !cif_null(*v)) {
      const std::optional<double> x = cif_number(*v);
      if (!x || !std::isfinite(*x)) fail(0, "_exptl_crystal_F_000 '" + *v + "' is not a number");
      file_f000 = *x;
    }
    s_.IAMP = 0;
    s_.AMPNEG = 0;
    const double model_f000 = model_ ? model_f000_.positive : std::nan("");
    if (typed == "-" && std::isnan(file_f000) && model_) {
      s_.AMPPOS = model_f000_.positive;
      s_.AMPNEG = model_f000_.negative;
      if (s_.AMPNEG != 0) s_.IAMP = 1;
      run_.origin[Setting::amplitudes] = where(name_, 0);
      f000_from_ = "the model";
      return;
    }
    if (typed == "-") {
      if (std::isnan(file_f000))
        throw IoFailure(run_.CTLFILE, run_.ctl.line(),
                        "F000: " + name_for_message(name_) +
                            " gives no _exptl_crystal_F_000 and no model: type F000 on this line");
      s_.AMPPOS = file_f000;
      run_.origin[Setting::amplitudes] = where(name_, 0);
      f000_from_ = "_exptl_crystal_F_000";
      return;
    }
    const std::optional<double> x = cif_number(typed);
    if (!x || !std::isfinite(*x))
      throw IoFailure(run_.CTLFILE, run_.ctl.line(),
                      "F000: '" + typed + "' is neither a number nor -");
    s_.AMPPOS = *x;
    f000_from_ = "the control file";
    if (!std::isnan(file_f000) && std::abs(*x - file_f000) > 0.01 * std::abs(file_f000))
      run_.warnings << "memprep: " << typed_at << ": warning: F000 " << number_text(*x)
                    << " differs by more than 1 % from the file's _exptl_crystal_F_000 "
                    << number_text(file_f000) << " (" << where(name_, 0) << ")\n";
    else if (!std::isnan(model_f000) && std::abs(*x - model_f000) > 0.01 * std::abs(model_f000))
      run_.warnings << "memprep: " << typed_at << ": warning: F000 " << number_text(*x)
                    << " differs by more than 1 % from the model's " << number_text(model_f000)
                    << " (" << model_from_ << ")\n";
  }

  void describe() {
    std::string code;
    if (const std::string* v = item(block_, "shelx", "refln_list_code"); v) code = *v;
    std::string& c = run_.chosen;
    c = "block data_" + block_.name();
    if (!code.empty()) c += ", list code " + code;
    c += " (" + measured_ + "; " + calculated_ + "), " + group_.hm();
    c += ", F000 " + figures_text(s_.AMPPOS, 6) + " from " + f000_from_;
    if (factors_)
      c += "; model " + model_from_ + (phases_in_file_ ? "" : " gives the phases") + ": scale " +
           figures_text(fit_.scale, 6) + ", R(F^2) " + figures_text(fit_.R, 3) + " over " +
           std::to_string(fit_.used) + " reflections";
    if (powder_)
      c += "; phase " + phase_id_ + " (data_" + phase_block_.name() + "), " + rule_words_;
    if (not_positive_ > 0) c += ", " + std::to_string(not_positive_) + " with Fo^2 <= 0";
    if (unobserved_ > 0)
      c += ", " + std::to_string(unobserved_) +
           (run_.options.observed_only ? " not observed left out" : " not observed kept");
  }

  Run& run_;
  Store& s_;
  const std::string& name_;
  std::string text_;
  CifDocument doc_;
  Block block_;
  CifLoop loop_;
  int loop_line_ = 0;
  Columns c_;
  std::string measured_, calculated_, f000_from_, model_from_;
  bool powder_ = false, counting_ = false;
  double percent_ = 0;
  std::string phase_id_, rule_words_;
  Block phase_block_;
  bool phases_in_file_ = true;
  std::string model_text_;
  CifDocument model_doc_;
  std::unique_ptr<crystal::Model> model_;
  std::unique_ptr<crystal::StructureFactors> factors_;
  crystal::Amplitudes model_f000_;
  crystal::FSquaredFit fit_;
  crystal::Cell cell_;
  crystal::SpaceGroup group_;
  crystal::Radiation radiation_ = crystal::Radiation::xray;
  std::int64_t unobserved_ = 0, not_positive_ = 0;
};

}  // namespace

ReflectionCifSurvey survey_reflection_cif(const std::string& name) {
  const std::string text = whole_file(name);
  const CifDocument doc = parse(name, text);
  ReflectionCifSurvey survey;
  auto given = [](const std::string* v) {
    return v && !cif_null(*v) ? cif_text(*v) : std::string();
  };
  for (const Block& b : blocks_of(doc)) {
    const CifLoop found = reflection_loop(b);
    if (!found.tags) continue;
    const CifLoop* loop = &found;
    ReflectionCifSurvey::Block out;
    out.name = b.name();
    out.list_code = given(item(b, "shelx", "refln_list_code"));
    out.title = given(b.find_value("_shelx_title"));
    out.wavelength = given(item(b, "diffrn_radiation", "wavelength"));
    out.F000 = given(item(b, "exptl_crystal", "F_000"));
    out.atoms = holds_atoms(b);
    for (const char* c :
         {"length_a", "length_b", "length_c", "angle_alpha", "angle_beta", "angle_gamma"}) {
      const std::string v = given(item(b, "cell", c));
      out.cell += (out.cell.empty() ? "" : " ") + (v.empty() ? std::string("?") : v);
    }
    try {
      out.space_group = crystal::space_group_from_cif(b.raw()).hm();
    } catch (const crystal::ModelError& e) {
      out.space_group = std::string("not given: ") + e.what();
    }
    auto col = [&](const char* tag) {
      for (const char* prefix : {"_refln_", "_refln."}) {
        const int c = loop->find(std::string(prefix) + tag);
        if (c >= 0) return c;
      }
      return -1;
    };
    const int h = col("index_h"), k = col("index_k"), l = col("index_l");
    const int f2 = col("F_squared_meas"), f = col("F_meas"), status = col("observed_status");
    out.phases = (col("F_calc") >= 0 && col("phase_calc") >= 0) ||
                 (col("A_calc") >= 0 && col("B_calc") >= 0);
    out.forms = f2 >= 0 ? "F^2meas" : f >= 0 ? "Fmeas" : "no measured values";
    out.forms += col("F_calc") >= 0 && col("phase_calc") >= 0 ? ", Fcalc and phase"
                 : col("A_calc") >= 0 && col("B_calc") >= 0   ? ", A and B"
                 : col("F_squared_calc") >= 0                 ? ", F^2calc (no phases)"
                                                              : ", no calculated values";
    std::vector<std::array<std::int64_t, 3>> indexes;
    for (std::size_t r = 0; r < loop->length(); ++r) {
      if (h < 0 || k < 0 || l < 0) break;
      const auto ih = cif_integer(loop->val(r, static_cast<std::size_t>(h)));
      const auto ik = cif_integer(loop->val(r, static_cast<std::size_t>(k)));
      const auto il = cif_integer(loop->val(r, static_cast<std::size_t>(l)));
      if (!ih || !ik || !il || (*ih == 0 && *ik == 0 && *il == 0)) continue;
      ++out.reflections;
      indexes.push_back({*ih, *ik, *il});
      const int m = f2 >= 0 ? f2 : f;
      if (m >= 0) {
        const auto v = cif_number(loop->val(r, static_cast<std::size_t>(m)));
        if (v && *v <= 0) ++out.not_positive;
      }
      if (status >= 0) {
        const std::string flag = cif_text(loop->val(r, static_cast<std::size_t>(status)));
        auto it = std::find_if(out.statuses.begin(), out.statuses.end(),
                               [&](const auto& p) { return p.first == flag; });
        if (it == out.statuses.end())
          out.statuses.emplace_back(flag, 1);
        else
          ++it->second;
      }
    }
    std::sort(indexes.begin(), indexes.end());
    for (const auto& i : indexes)
      if (i > std::array<std::int64_t, 3>{-i[0], -i[1], -i[2]} &&
          std::binary_search(indexes.begin(), indexes.end(),
                             std::array<std::int64_t, 3>{-i[0], -i[1], -i[2]}))
        ++out.friedel_pairs;
    survey.blocks.push_back(std::move(out));
  }
  return survey;
}

std::span<const ControlLine> reflection_cif_layout() {
  return kLayout;
}

void read_reflection_cif(Run& run) {
  CifReader(run).read();
}

}  // namespace memprep
