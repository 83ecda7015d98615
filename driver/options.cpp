#include "driver/options.hpp"

#include <charconv>
#include <cmath>
#include <span>
#include <string_view>

#include "driver/source_kinds.hpp"

namespace memprep {

const char* const kUsageLine = "usage: memprep [OPTION]... CONTROL_FILE...\n";

namespace {

// A positive number given to an option.
double positive(std::string_view option, std::string_view value) {
  double v = 0;
  const auto r = std::from_chars(value.data(), value.data() + value.size(), v);
  if (r.ec != std::errc() || r.ptr != value.data() + value.size() || !std::isfinite(v) || v <= 0)
    throw UsageError(std::string(option) + " takes a positive number, not '" + std::string(value) +
                     "'");
  return v;
}

struct OptionRow {
  char short_name;             // 0: none
  std::string_view long_name;  // without the leading "--"
  std::string_view value;      // the value's name in --help; empty: no value
  std::string_view help;       // lines of help text, "\n" between them
  void (*take)(CommandLine&, std::string_view value);
};

// clang-format off
constexpr OptionRow kOptions[] = {
    {'h', "help", "", "print this text and exit",
     [](CommandLine& c, std::string_view) { c.help = true; }},
    {0, "version", "", "print the version and exit",
     [](CommandLine& c, std::string_view) { c.version = true; }},
    {'q', "quiet", "", "no summary after each conversion (warnings are still written)",
     [](CommandLine& c, std::string_view) { c.quiet = true; }},
    {'C', "control-dir", "",
     "take the file names in each control file relative to that control\n"
     "file's directory, as if memprep were started there (as make -C DIR\n"
     "and tar -C DIR work in DIR): memprep -C examples/*/*.ctl",
     [](CommandLine& c, std::string_view) { c.run.names_beside_control = true; }},
    {0, "list", "FILE",
     "write a tab-separated line per reflection read to FILE ('-': standard\n"
     "output): h k l, d, sin(theta)/lambda, Io, |Fo|, sigma(|Fo|), its rule,\n"
     "and whether it was written, grouped or left out (and why)",
     [](CommandLine& c, std::string_view v) { c.run.list_file = v; }},
    {0, "plot", "FILE.svg",
     "draw |Fo| and sigma(|Fo|) against sin(theta)/lambda (and |Fo| against\n"
     "|F_model| when the phases come from the model) as an SVG image",
     [](CommandLine& c, std::string_view v) { c.run.plot_file = v; }},
    {0, "template", "SOURCE",
     "write a commented control file for SOURCE (a FullProf output, list\n"
     "file or reflection CIF) on standard output, with every value the source holds;\n"
     "the values it does not hold are placeholders <...> to replace",
     [](CommandLine& c, std::string_view v) {
       if (v.empty()) throw UsageError("--template needs the name of a source, not an empty one");
       c.template_source = v;
     }},
    {0, "overlap-fwhm", "FACTOR",
     "FullProf outputs: chain reflections whose peak positions differ by\n"
     "less than FACTOR x their mean FWHM (Hw) into overlap groups",
     [](CommandLine& c, std::string_view v) { c.run.overlap_fwhm = positive("--overlap-fwhm", v); }},
    {0, "overlap-d", "DELTA",
     "FullProf outputs and list files: chain reflections whose d-spacings\n"
     "differ by less than DELTA (Angstrom) into overlap groups; with both\n"
     "options, either rule chains",
     [](CommandLine& c, std::string_view v) { c.run.overlap_d = positive("--overlap-d", v); }},
    {0, "sigma", "RULE",
     "sigma(|Fo|) by RULE: counting (the default: |Fo| / (2 sqrt(E Io))) or\n"
     "refinement (FullProf outputs: from the table's Sigma of Iobs, on the\n"
     "scale of |Fo|^2 by |F|calc^2 / Icalc of each reflection)",
     [](CommandLine& c, std::string_view v) {
       if (v == "counting") c.run.sigma = RunOptions::Sigma::counting;
       else if (v == "refinement") c.run.sigma = RunOptions::Sigma::refinement;
       else throw UsageError("--sigma takes counting or refinement, not '" + std::string(v) + "'");
     }},
    {0, "keep-friedel", "",
     "reflection CIFs: keep Friedel mates apart (h k l and -h -k -l each\n"
     "written with its own Fo and phase); equivalents are still merged",
     [](CommandLine& c, std::string_view) { c.run.keep_friedel = true; }},
    {0, "observed-only", "",
     "reflection CIFs: leave out the reflections the file flags as not\n"
     "observed (_refln_observed_status other than o)",
     [](CommandLine& c, std::string_view) { c.run.observed_only = true; }},
    {0, "max-r-f2", "R",
     "reflection CIFs: accept a model whose R(F^2) against the file's\n"
     "F^2calc is up to R (default 0.05)",
     [](CommandLine& c, std::string_view v) { c.run.max_r_f2 = positive("--max-r-f2", v); }},
};
// clang-format on

const OptionRow* find_long(std::string_view name) {
  for (const OptionRow& o : kOptions)
    if (o.long_name == name) return &o;
  return nullptr;
}

const OptionRow* find_short(char c) {
  for (const OptionRow& o : kOptions)
    if (o.short_name != 0 && o.short_name == c) return &o;
  return nullptr;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
  CommandLine c;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_end || arg.size() < 2 || arg[0] != '-') {
      c.control_files.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    const OptionRow* o = nullptr;
    std::string_view value;
    bool has_value = false;
    if (arg.starts_with("--")) {
      std::string_view name = arg.substr(2);
      if (std::size_t eq = name.find('='); eq != std::string_view::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
        has_value = true;
      }
      o = find_long(name);
    } else if (arg.size() == 2) {
      o = find_short(arg[1]);
    }
    if (!o) throw UsageError("unknown option '" + std::string(arg) + "'");
    if (o->value.empty()) {
      if (has_value) throw UsageError("--" + std::string(o->long_name) + " takes no value");
    } else if (!has_value) {
      if (i + 1 >= argc)
        throw UsageError("--" + std::string(o->long_name) + " needs a value (" +
                         std::string(o->value) + ")");
      value = argv[++i];
    }
    o->take(c, value);
  }
  if (!c.template_source.empty() && c.run.wants_listing())
    throw UsageError("--list and --plot show conversions; --template converts nothing");
  if (!c.run.list_file.empty() && c.run.list_file == c.run.plot_file)
    throw UsageError("--list and --plot name the same file '" + c.run.list_file + "'");
  if (!c.template_source.empty() && !c.control_files.empty())
    throw UsageError("--template writes a control file; it takes no control file to convert");
  if (!c.help && !c.version && c.template_source.empty() && c.control_files.empty())
    throw UsageError("no control file");
  return c;
}

std::vector<std::string_view> long_option_names() {
  std::vector<std::string_view> names;
  for (const OptionRow& o : kOptions) names.push_back(o.long_name);
  return names;
}

std::string help_text() {
  std::string kinds, companion;
  for (const SourceKindRow& row : source_kinds()) {
    std::string fragment(row.name.fragments[0]);
    fragment.resize(9, ' ');
    kinds += "  " + fragment + std::string(row.name.help) + "\n";
    if (row.writes.companion) {
      if (!companion.empty()) companion += " and ";
      companion += row.name.fragments[0];
    }
  }
  std::string options;
  for (const OptionRow& o : kOptions) {
    std::string names = o.short_name ? std::string("-") + o.short_name + ", " : "    ";
    names += "--";
    names += o.long_name;
    if (!o.value.empty()) {
      names += ' ';
      names += o.value;
    }
    // Names too long for their column stand on a line of their own.
    bool first = names.size() < 24;
    if (first)
      names.resize(24, ' ');
    else
      options += "  " + names + "\n";
    std::string_view help = o.help;
    while (!help.empty()) {
      const std::size_t nl = help.find('\n');
      options += "  " + (first ? names : std::string(24, ' '));
      options += help.substr(0, nl);
      options += '\n';
      help = nl == std::string_view::npos ? std::string_view() : help.substr(nl + 1);
      first = false;
    }
  }
  std::string text = kUsageLine;
  text +=
      "\n"
      "Converts the result of a refinement (a Rietveld refinement of powder data, or a\n"
      "reflection CIF) into a MEM data set (the input of a maximum-entropy-method\n"
      "analysis of the electron or nuclear density). Each control file is converted in\n"
      "turn; '-' is standard input.\n"
      "\n"
      "A control file names the source file and the output file and holds the\n"
      "settings the source does not provide, one per line; '#' starts a comment.\n"
      "The source kind follows from the source file's name:\n";
  text += kinds;
  text += "For " + companion + " sources a companion structure-factor text file (.fos) is\n";
  text +=
      "written beside the MEM data set.\n"
      "\n"
      "Options:\n";
  text += options;
  text +=
      "  --                      end of the options: every further argument is a control file\n"
      "\n"
      "Overlap groups and the uncertainties are described in the user guide,\n"
      "section 7.4; without these options a conversion is as it always was.\n"
      "\n"
      "Exit status: 0 when every conversion succeeded, 1 when one failed, 2 for a usage\n"
      "error. The control-file layout of every source kind, the output columns and every\n"
      "message are described in the manual page, memprep(1), and in the user guide,\n"
      "user-guide.md (in docs/ of the source tree; in share/doc/memprep/ where\n"
      "memprep is installed).\n";
  return text;
}

}  // namespace memprep
