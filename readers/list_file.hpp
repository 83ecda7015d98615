// The steps of the list-file reader that live in their own files: the structure sections
// (amplitudes computed from the printed structure) and the time-of-flight profile
// correction and ordering.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/run.hpp"

namespace memprep {

// The atom types and atoms printed after the GENLES title, as read; evaluated once the
// diffraction type is known.
struct StructureSections {
  struct AtomType {
    std::string TypeSym;       // columns 2-3
    double value = 0;          // columns 10-18
    std::string coefficients;  // columns 19-128, read for X-ray data only
    std::int64_t line = 0;     // record of the entry, for messages
  };
  struct Atom {
    std::string AtomSym;  // columns 2-3
    double SiteF1 = 0, SiteF2 = 0;
    double AtomX = 0, AtomY = 0, AtomZ = 0;
    std::int64_t line = 0;
  };
  std::string file;  // the list file, for messages
  std::vector<AtomType> types;
  std::vector<Atom> atoms;
};

// The decisions the list file's diffraction type (columns 6-8 of its diffractometer
// constants) gives, for the reader, the survey and the template alike: a type ending in C is
// constant-wavelength data, PNT neutron time of flight; no other type is converted.
inline bool is_constant_wavelength(std::string_view type) {
  return type.size() == 3 && type[2] == 'C';
}
inline bool is_time_of_flight(std::string_view type) {
  return type == "PNT";
}

// The markers of the structure sections, which the list file's survey goes by too: the
// table of atom types, the atom list, and the records that end the atom list.
bool is_atom_type_table(std::string_view rec);
bool is_atom_list(std::string_view rec);
bool ends_atom_list(std::string_view rec);

// Reading stage: reads the table of atom types and the atom list forward from the current
// record of src; leaves src on the record that ended the atom list.
StructureSections read_structure_sections(TextSource& src);

// Evaluation stage: AMPPOS and AMPNEG from the sections read, for the diffraction type DTYPE.
void evaluate_structure_sections(const StructureSections& sections, std::string_view DTYPE,
                                 Store& store);

// Rescales Io of the stored reflections by the histogram profile dumped in the HSTDMP section
// (the block of the HISTORD-th reflection list), reading src onward from its position.
void correct_tof_intensities(Run& run, std::int64_t HISTORD);

// Reorders the stored reflections by non-increasing Wavelength, exactly as a selection sort
// that swaps reflection i with the first later reflection of the largest, strictly greater
// wavelength.
void sort_by_wavelength(Store& store);

}  // namespace memprep
