#include "driver/run.hpp"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "control/control_layout.hpp"
#include "driver/source_kinds.hpp"
#include "steps/overlap_grouping.hpp"
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
                        name_for_message(beside.string()) + " exists");
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
  if (o.sigma == RunOptions::Sigma::refinement && !kind.gives.intensity_sigmas)
    refuse("--sigma refinement", "it gives no sigma of the observed intensities");
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

void convert(Run& run, const CallFiles* call) {
  if (run.CTLFILE.size() > kLongestName)
    throw IoFailure(
        run.CTLFILE, 0,
        "the control file name is longer than " + std::to_string(kLongestName) + " characters");
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

  read_settings(run);
  if (kind.source.text) run.src.open(run.SRCFILE);
  kind.source.read(run);
  finish_layout(run);
  run.ctl.close();

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
