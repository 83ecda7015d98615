#include "driver/source_kinds.hpp"

#include <string>

#include "control/control_file.hpp"
#include "io/errors.hpp"
#include "readers/readers.hpp"

namespace memprep {

namespace {

// clang-format off
constexpr SourceKindRow kRows[] = {
    {SourceKind::list_file, {".lst", ".LST"}, "list file",
     "refinement list file (GENLES, REFLIST, HSTDMP sections)",
     false, false, read_settings, true, read_list_file, true, false, true, false, false},
    {SourceKind::fullprof_output, {".out", ".OUT"}, "FullProf output",
     "FullProf standard output, with its amplitude/phase file",
     true, false, read_settings, true, read_fullprof_output, true, false, true, true, true},
    {SourceKind::fos_file, {".fos", ".FOS"}, "binary structure-factor file",
     "binary structure-factor file",
     false, true, read_fos_settings, false, read_fos_file, false, false, false, false, false},
    {SourceKind::earlier_mem_data_set, {".zmemin", ".ZMEMIN"}, "earlier MEM data set",
     "earlier MEM data set with overlap groups",
     false, true, nullptr, true, read_mem_data_set, false, true, false, false, false},
};
// clang-format on

}  // namespace

std::span<const SourceKindRow> source_kinds() {
  return kRows;
}

const SourceKindRow& source_kind(SourceKind kind) {
  for (const SourceKindRow& row : kRows)
    if (row.kind == kind) return row;
  throw std::logic_error("no row for a source kind");
}

const SourceKindRow& choose_source_kind(std::string_view srcfile, const std::string& named_at) {
  std::string_view name = srcfile;
  if (std::size_t slash = name.rfind('/'); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  for (const SourceKindRow& row : kRows)
    for (std::string_view fragment : row.fragments)
      if (name.find(fragment) != std::string_view::npos) return row;
  std::string known;
  for (const SourceKindRow& row : kRows)
    known += std::string(known.empty() ? "" : ", ") + std::string(row.fragments[0]) + " (" +
             std::string(row.words) + ")";
  throw Stop(" The extension of a standard output file should be lst or out",
             named_at + ": the source file's name '" + std::string(name) +
                 "' holds none of the extensions that give its kind: " + known +
                 ", in lower or upper case");
}

}  // namespace memprep
