#include "driver/source_kinds.hpp"

#include <cctype>
#include <string>

#include "io/errors.hpp"
#include "readers/readers.hpp"

namespace memprep {

namespace {

constexpr SourceKindRow kRows[] = {
    {.kind = SourceKind::list_file,
     .name = {.fragments = {".lst", ".LST"},
              .words = "list file",
              .help = "refinement list file (GENLES, REFLIST, HSTDMP sections)"},
     .layout = list_file_layout,
     .source = {.text = true, .read = read_list_file},
     .writes = {.companion = true},
     .gives = {.multiplicities = true}},
    {.kind = SourceKind::fullprof_output,
     .name = {.fragments = {".out", ".OUT"},
              .words = "FullProf output",
              .help = "FullProf standard output, with its amplitude/phase file"},
     .layout = fullprof_output_layout,
     .source = {.text = true, .read = read_fullprof_output},
     .writes = {.companion = true},
     .gives = {.multiplicities = true, .peak_widths = true, .intensity_sigmas = true}},
    {.kind = SourceKind::fos_file,
     .name = {.fragments = {".fos", ".FOS"},
              .words = "binary structure-factor file",
              .help = "binary structure-factor file"},
     .layout = fos_file_layout,
     .source = {.read = read_fos_file, .fixed_phase = true}},
    {.kind = SourceKind::earlier_mem_data_set,
     .name = {.fragments = {".zmemin", ".ZMEMIN"},
              .words = "earlier MEM data set",
              .help = "earlier MEM data set with overlap groups"},
     .layout = mem_data_set_layout,
     .source = {.text = true, .read = read_mem_data_set, .fixed_phase = true},
     .writes = {.overlap_groups = true}},
    {.kind = SourceKind::reflection_cif,
     .name = {.fragments = {".fcf", ".FCF", ".cif", ".CIF"},
              .words = "reflection CIF",
              .help = "reflection CIF (.fcf, .cif: SHELXL, olex2, Jana, GSAS-II)"},
     .layout = reflection_cif_layout,
     .source = {.read = read_reflection_cif, .fixed_phase = true, .squares = true},
     .gives = {.multiplicities = true, .intensity_sigmas = true}},
};

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
    for (std::string_view fragment : row.name.fragments)
      if (!fragment.empty() && name.find(fragment) != std::string_view::npos) return row;
  std::string known;
  for (const SourceKindRow& row : kRows) {
    // The fragments in lower case, each once: ".fcf or .cif".
    std::string forms;
    for (std::string_view fragment : row.name.fragments) {
      std::string lower(fragment);
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower.empty() || forms.find(lower) != std::string::npos) continue;
      forms += (forms.empty() ? "" : " or ") + lower;
    }
    known +=
        std::string(known.empty() ? "" : ", ") + forms + " (" + std::string(row.name.words) + ")";
  }
  throw Stop(" The extension of a standard output file should be lst or out",
             named_at + ": the source file's name '" + std::string(name) +
                 "' holds none of the extensions that give its kind: " + known +
                 ", in lower or upper case");
}

}  // namespace memprep
