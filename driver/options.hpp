// The command line: one table of options that both parses the arguments and prints --help.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/run.hpp"

namespace memprep {

struct CommandLine {
  RunOptions run;                          // passed to every conversion
  bool quiet = false;                      // no summary after a conversion
  bool help = false, version = false;      // print and stop
  std::string template_source;             // --template: a control file for this source
  std::vector<std::string> control_files;  // converted in turn
};

// An argument the table does not take: the usage line and exit status 2.
struct UsageError : std::runtime_error {
  explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

// The usage line, ending in a line end.
extern const char* const kUsageLine;

// Parses argv[1..argc-1]. Throws UsageError.
CommandLine parse_command_line(int argc, const char* const* argv);

// The --help text: usage, what the program does, the source kinds and every option.
std::string help_text();

// The long name of every option, without the leading "--", in the order of --help.
std::vector<std::string_view> long_option_names();

}  // namespace memprep
