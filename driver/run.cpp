#include "driver/run.hpp"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "control/control_layout.hpp"
#include "driver/source_kinds.hpp"
#include "steps/overlap_grouping.hpp"
#include "steps/squared_observations.hpp"
#include "steps/uncertainties.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

// True when a and b name the same file: the same path once resolved, or the same existing
// file reached through another name.
bool same_file(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec1, ec2;
  fs::path pa = fs::weakly_canonical(fs::absolute(a, ec1), ec1);
  fs::path pb = fs::weakly_canonical(fs::absolute(b, ec2), ec2);
  if (!ec1 && !ec2 && pa == pb) return true;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

// An output that would overwrite one of the run's own files is refused before anything is
// read or written.
void check_output(const Run& run, const std::string& output, const char* output_role) {
  struct Named {
    const std::string* name;
    const char* role;
  };
  const Named inputs[] = {{&run.CTLFILE, "the control file"},
                          {&run.SRCFILE, "the source file"},
                          {&run.AUXFILE, "the auxiliary file"}};
  for (const Named& in : inputs) {
    if (in.name->empty()) continue;
    if (same_file(output, *in.name))
      throw IoFailure(
          run.CTLFILE, run.ctl_out_line,
          std::string(output_role) + " " + quoted_name(output) + " would overwrite " + in.role);
  }
}

// An output of one conversion of a call with several control files that would replace a
// control file of the call, or what an earlier conversion read or wrote.
void check_output_in_call(const Run& run, const CallFiles& call, const std::string& output,
                          const char* output_role) {
  auto refuse = [&](const std::string& what) {
    throw IoFailure(run.CTLFILE, run.ctl_out_line,
                    std::string(output_role) + " " + quoted_name(output) + " would " + what);
  };
  for (const std::string& c : call.control_files)
    if (!same_file(c, run.CTLFILE) && same_file(output, c))
      refuse("overwrite " + name_for_message(c) + ", a control file of this call");
  for (const CallFiles::Done& d : call.read)
    if (same_file(output, d.file))
      refuse("overwrite " + name_for_message(d.file) + ", " + d.role + " of " +
             name_for_message(d.control_file) + " earlier in this call");
  // A control file given twice writes the same outputs again.
  for (const CallFiles::Done& d : call.written)
    if (same_file(output, d.file) && !same_file(d.control_file, run.CTLFILE))
      refuse("replace " + d.role + " that " + name_for_message(d.control_file) +
             " wrote earlier in this call");
}

// The companion file replaces an existing file only when that file is a companion file
// itself: a binary structure-factor file or anything else of that name is left alone.
void keep_what_is_not_a_companion(const Run& run) {
  if (companion_may_replace(run.FOSFILE)) return;
  throw IoFailure(run.CTLFILE, run.ctl_out_line,
                  "the companion file of " + quoted_name(run.OUTFILE) + " would replace " +
                      quoted_name(run.FOSFILE) +
                      ", which is not a companion file (it does not begin with \"# Title\"); "
                      "it is left alone: give the MEM data set a name whose companion is free");
}

// A source or auxiliary file that cannot be found where the control file names it, but stands
// beside the control file: the message says so (names are taken relative to the working
// directory, not to the control file).
[[noreturn]] void explain_missing(const Run& run, const IoFailure& failure) {
  namespace fs = std::filesystem;
  const bool input = failure.file == run.SRCFILE || failure.file == run.AUXFILE;
  const fs::path name = failure.file;
  const fs::path beside = fs::path(run.CTLFILE).parent_path() / name;
  std::error_code ec;
  if (input && failure.line == 0 && failure.condition.starts_with("cannot open: No such file") &&
      name.is_relative() && !fs::path(run.CTLFILE).parent_path().empty() && fs::exists(beside, ec))
    throw IoFailure(failure.file, 0,
                    failure.condition + "; names are relative to the working directory, and " +
                        name_for_message(beside.string()) +
                        " exists: -C takes them relative to the control file's directory");
  throw failure;
}

// An option that the source kind cannot honour fails the conversion (the next control file
// may well take it); `line` is the control-file line that names the source.
void check_options(const Run& run, const SourceKindRow& kind, std::int64_t line) {
  const RunOptions& o = run.options;
  auto refuse = [&](const char* option, std::string_view lacks) {
    const std::string_view words = kind.name.words;
    std::string what = option;
    what += " cannot be used for ";
    what += run.SRCFILE;
    what += words.find_first_of("aeiou") == 0 ? ", an " : ", a ";
    what += words;
    what += ": ";
    what += lacks;
    throw IoFailure(run.CTLFILE, line, what);
  };
  const char* groups_option = o.overlap_fwhm > 0 ? "--overlap-fwhm" : "--overlap-d";
  if (o.overlap_groups() && kind.writes.overlap_groups)
    refuse(groups_option, "it brings overlap groups of its own, which are kept as they are");
  if (o.overlap_groups() && !kind.gives.multiplicities)
    refuse(groups_option, "it gives no multiplicities to form overlap groups with");
  if (o.overlap_fwhm > 0 && !kind.gives.peak_widths)
    refuse("--overlap-fwhm",
           "it gives no peak positions and FWHM (FullProf outputs do); --overlap-d groups by "
           "d-spacing");
  if (!kind.source.squares) {
    if (o.keep_friedel)
      refuse("--keep-friedel", "only reflection CIFs are merged to unique indexes");
    if (o.observed_only)
      refuse("--observed-only", "only reflection CIFs flag unobserved reflections");
    if (o.max_r_f2 != RunOptions{}.max_r_f2)
      refuse("--max-r-f2", "only reflection CIFs are checked against a model's R(F^2)");
  }
  if (o.sigma == RunOptions::Sigma::refinement && !kind.gives.intensity_sigmas)
    refuse("--sigma refinement", "it gives no sigma of the observed intensities");
}

// The listing and the plot, like the other outputs, never replace an input of the run, nor
// its MEM data set or companion file.
void check_views(const Run& run) {
  const std::pair<const std::string*, const char*> views[] = {
      {&run.options.list_file, "the listing"}, {&run.options.plot_file, "the plot"}};
  for (const auto& [name, role] : views) {
    if (name->empty() || *name == "-") continue;
    check_output(run, *name, role);
    for (const std::string* output : {&run.OUTFILE, &run.FOSFILE})
      if (!output->empty() && same_file(*name, *output))
        throw IoFailure(run.CTLFILE, run.ctl_out_line,
                        std::string(role) + " " + quoted_name(*name) + " would overwrite " +
                            quoted_name(*output) + ", an output of this conversion");
  }
}

void convert(Run& run, const CallFiles* call);

}  // namespace

void CallFiles::note(const Run& run, bool succeeded) {
  if (!run.SRCFILE.empty()) read.push_back({run.SRCFILE, "the source file", run.CTLFILE});
  if (!run.AUXFILE.empty()) read.push_back({run.AUXFILE, "the auxiliary file", run.CTLFILE});
  if (!succeeded) return;
  written.push_back({run.OUTFILE, "the MEM data set", run.CTLFILE});
  if (!run.FOSFILE.empty()) written.push_back({run.FOSFILE, "the companion file", run.CTLFILE});
}

std::string overwritten_in_call(const CallFiles& call, const std::string& name) {
  for (const std::string& c : call.control_files)
    if (same_file(name, c)) return name_for_message(c) + ", a control file of this call";
  for (const auto* done : {&call.read, &call.written})
    for (const CallFiles::Done& d : *done)
      if (same_file(name, d.file))
        return name_for_message(d.file) + ", " + d.role + " of " + name_for_message(d.control_file);
  return {};
}

bool companion_may_replace(const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return true;  // created, or refused there
  std::ifstream existing(name, std::ios::binary);
  if (!existing) return true;
  std::string first;
  std::getline(existing, first);
  if (!first.empty() && first.back() == '\r') first.pop_back();
  return first == "# Title";
}

void run_converter(Run& run, const CallFiles* call) {
  try {
    convert(run, call);
  } catch (const IoFailure& failure) {
    explain_missing(run, failure);
  }
}

namespace {

// The entries a source of this size can hold at most, taking a reflection for every 40 bytes
// (no source spends fewer on one): the store makes their pages ready beside the reader.
std::size_t entries_expected(const Run& run) {
  std::uintmax_t bytes = 0;
  for (const std::string* name : {&run.SRCFILE, &run.AUXFILE}) {
    std::error_code ec;
    if (name->empty() || *name == "-" || !std::filesystem::is_regular_file(*name, ec)) continue;
    const std::uintmax_t size = std::filesystem::file_size(*name, ec);
    if (!ec) bytes += size;
  }
  return static_cast<std::size_t>(std::min<std::uintmax_t>(bytes / 40 + 1, MAXREF + 1));
}

void convert(Run& run, const CallFiles* call) {
  if (run.CTLFILE.size() > kLongestName)
    throw IoFailure(
        run.CTLFILE, 0,
        "the control file name is longer than " + std::to_string(kLongestName) + " characters");
  // "-" is standard input; its names are relative to the working directory.
  if (run.options.names_beside_control && run.CTLFILE != "-")
    run.names_from = std::filesystem::path(run.CTLFILE).parent_path().string();
  if (run.CTLFILE == "-") run.CTLFILE = "/dev/stdin";
  // make -C and tar -C take a directory; -C here takes none, and a make user may give one.
  std::error_code ec;
  if (run.options.names_beside_control && std::filesystem::is_directory(run.CTLFILE, ec))
    throw IoFailure(run.CTLFILE, 0,
                    "cannot open: is a directory; -C takes no directory of its own but each "
                    "control file's: give the control files, as in memprep -C " +
                        name_for_message(run.CTLFILE) + "/*.ctl");
  run.ctl.open(run.CTLFILE, Readable::regular_or_fifo);

  // The source's name gives the kind, and the kind the layout of the rest of the file.
  start_layout(run, std::span(&kSourceLine, 1));
  read_control(run, Setting::source);
  const SourceKindRow& kind =
      choose_source_kind(run.SRCFILE, where(run.ctl.name(), run.ctl.line()));
  run.KIND = kind.kind;
  check_options(run, kind, run.ctl.line());
  if (kind.source.fixed_phase) run.store.IPHASE = 1;
  start_layout(run, kind.layout());
  advance_layout(run, Setting::source);  // read above
  read_control_lines(run, Stage::names);

  check_output(run, run.OUTFILE, "the MEM data set");
  if (call) check_output_in_call(run, *call, run.OUTFILE, "the MEM data set");
  if (kind.writes.companion) {
    run.FOSFILE = companion_name(run.OUTFILE);
    if (same_file(run.FOSFILE, run.OUTFILE))
      throw IoFailure(run.CTLFILE, run.ctl_out_line,
                      "the companion file " + quoted_name(run.FOSFILE) +
                          " would overwrite the MEM data set of the same name");
    check_output(run, run.FOSFILE, "the companion file");
    if (call) check_output_in_call(run, *call, run.FOSFILE, "the companion file");
    keep_what_is_not_a_companion(run);
  }
  check_views(run);

  read_settings(run);
  if (kind.source.text) run.src.open(run.SRCFILE);
  run.store.expect(entries_expected(run));
  kind.source.read(run);
  run.store.entries_done();
  finish_layout(run);
  run.ctl.close();

  if (kind.source.squares && run.options.sigma == RunOptions::Sigma::source) {
    merge_equivalents(run);
    moduli_from_squares(run.store);
  }
  assign_uncertainties(run.store, run.options.sigma);
  form_overlap_groups(run);
  leave_out_unweighted(run);

  run.mem.create(run.OUTFILE);
  write_mem_data_set(run);
  if (kind.writes.companion) write_companion_file(run);
  if (kind.writes.overlap_groups || run.options.overlap_groups()) write_overlap_groups(run);
  run.src.close();

  // Everything has succeeded: put the outputs in place.
  run.mem.finish();
  if (run.companion.is_open()) run.companion.finish();
  SignalHold hold;  // both outputs are replaced, or neither
  run.mem.commit();
  if (!run.companion.target().empty()) run.companion.commit();
}

}  // namespace
}  // namespace memprep
