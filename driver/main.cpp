// memprep: converts the result of a Rietveld refinement into the input of a
// maximum-entropy-method analysis. One argument: the control file.
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <string_view>

#include "driver/run.hpp"
#include "driver/source_kinds.hpp"
#include "store/errors.hpp"

#ifndef MEMPREP_VERSION
#define MEMPREP_VERSION "0.0.0"
#endif

namespace {

constexpr std::string_view kUsage = "usage: memprep CONTROL_FILE\n";

// The help text; the source kinds come from their table.
std::string help_text() {
  std::string kinds, companion;
  for (const memprep::SourceKindRow& row : memprep::source_kinds()) {
    std::string fragment(row.fragments[0]);
    fragment.resize(9, ' ');
    kinds += "  " + fragment + std::string(row.help) + "\n";
    if (row.companion)
      companion += std::string(companion.empty() ? "" : " and ") + std::string(row.fragments[0]);
  }
  return std::string(kUsage) +
         "\n"
         "Converts the result of a Rietveld refinement of powder-diffraction data into a\n"
         "MEM data set (the input of a maximum-entropy-method analysis of the electron or\n"
         "nuclear density).\n"
         "\n"
         "The control file names the source file and the output file and holds the\n"
         "settings the source does not provide, one per line; '#' starts a comment.\n"
         "The source kind follows from the source file's name:\n" +
         kinds + "For " + companion +
         " sources a companion structure-factor text file (.fos) is\n"
         "written beside the MEM data set.\n"
         "\n"
         "The control-file layout of every source kind, the output columns and every\n"
         "message are described in the manual page, memprep(1), and in the user guide,\n"
         "user-guide.md (in docs/ of the source tree; in share/doc/memprep/ where\n"
         "memprep is installed).\n"
         "\n"
         "Options:\n"
         "  --help     print this text\n"
         "  --version  print the version\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  std::string_view arg = argv[1];
  if (arg == "--help" || arg == "-h") {
    std::cout << help_text();
    return 0;
  }
  if (arg == "--version") {
    std::cout << "memprep " MEMPREP_VERSION "\n";
    return 0;
  }
  try {
    memprep::Run run;
    run.CTLFILE = std::string(arg.substr(0, 512));
    memprep::run_converter(run);
  } catch (const memprep::Stop& stop) {
    std::cout << stop.what() << '\n' << std::flush;
    if (!stop.detail.empty()) std::cerr << "memprep: " << stop.detail << '\n';
    return 1;
  } catch (const memprep::IoFailure& failure) {
    std::cout << std::flush;
    std::cerr << "memprep: " << failure.what() << '\n';
    return 1;
  } catch (const std::bad_alloc&) {
    std::cerr << "memprep: out of memory\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "memprep: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
