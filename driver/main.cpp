// memprep: converts the result of a Rietveld refinement into the input of a
// maximum-entropy-method analysis, one control file after the other.
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>

#include "driver/control_template.hpp"
#include "driver/options.hpp"
#include "driver/run.hpp"
#include "driver/summary.hpp"
#include "io/errors.hpp"
#include "io/output_file.hpp"

#ifndef MEMPREP_VERSION
#define MEMPREP_VERSION "0.0.0"
#endif

namespace {

// Converts one control file; every failure is reported here, on one line (a console
// message and its detail on two), led by the control file's name when several are given.
bool convert(const std::string& control_file, const memprep::CommandLine& cl,
             memprep::CallFiles& call) {
  const bool several = call.control_files.size() > 1;
  const std::string lead = several ? memprep::where(control_file, 0) + ": " : "";
  memprep::Run run;
  // The files of this conversion are kept from the later ones of the call, whatever the end.
  struct Note {
    memprep::CallFiles& call;
    const memprep::Run& run;
    bool succeeded = false;
    ~Note() { call.note(run, succeeded); }
  } note{call, run};
  try {
    run.options = cl.run;
    run.CTLFILE = control_file;
    memprep::run_converter(run, &call);
    if (!cl.quiet) std::cerr << memprep::summary(run);
    note.succeeded = true;
    return true;
  } catch (const memprep::Stop& stop) {
    std::cout << stop.what() << '\n' << std::flush;
    if (!stop.detail.empty())
      std::cerr << "memprep: " << lead << stop.detail << '\n';
    else if (several)
      std::cerr << "memprep: " << lead << "stopped\n";
  } catch (const memprep::IoFailure& failure) {
    std::cout << std::flush;
    std::cerr << "memprep: " << lead << failure.what() << '\n';
  } catch (const std::bad_alloc&) {
    std::cerr << "memprep: " << lead << "out of memory\n";
  } catch (const std::exception& e) {
    std::cerr << "memprep: " << lead << e.what() << '\n';
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  memprep::CommandLine cl;
  try {
    cl = memprep::parse_command_line(argc, argv);
  } catch (const memprep::UsageError& e) {
    std::cerr << "memprep: " << e.what() << '\n' << memprep::kUsageLine;
    return 2;
  }
  if (cl.help) {
    std::cout << memprep::help_text();
    return 0;
  }
  if (cl.version) {
    std::cout << "memprep " MEMPREP_VERSION "\n";
    return 0;
  }
  if (!cl.template_source.empty()) {
    try {
      std::cout << memprep::control_template(cl.template_source) << std::flush;
      return 0;
    } catch (const memprep::IoFailure& failure) {
      std::cerr << "memprep: " << failure.what() << '\n';
    } catch (const memprep::Stop& stop) {
      std::cerr << "memprep: " << (stop.detail.empty() ? stop.what() : stop.detail) << '\n';
    }
    return 1;
  }

  memprep::remove_temporary_files_on_termination();
  const bool several = cl.control_files.size() > 1;
  memprep::CallFiles call;
  call.control_files = cl.control_files;
  std::size_t failed = 0;
  for (const std::string& control_file : cl.control_files)
    if (!convert(control_file, cl, call)) ++failed;
  if (several && failed > 0)
    std::cerr << "memprep: " << failed << " of " << cl.control_files.size()
              << " control files failed\n";
  return failed == 0 ? 0 : 1;
}
