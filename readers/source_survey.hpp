// What a source holds, read without a control file for --template: the patterns or
// histograms, the phases and their reflection counts, and the values that a control file
// for the source repeats (title, space group, wavelength, bank angles). Each survey is part
// of its format's reader (fullprof_output.cpp, list_file.cpp) and goes by the reader's own
// markers and decisions. Values are kept as the source prints them;
// an empty text is a value the source does not give.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "io/text_source.hpp"

namespace memprep {

// The reflection lines of one pattern (histogram) and phase.
struct SurveyedTable {
  std::int64_t pattern = 0, phase = 0;
  std::int64_t reflections = 0;
  std::int64_t line = 0;  // the record that opens the table
};

struct FullprofSurvey {
  struct Pattern {
    std::int64_t number = 0;  // " ==> CONDITIONS OF THIS RUN FOR PATTERN No.:", columns 45-47
    bool tof = false;         // neutron time-of-flight data, as the reader decides
    std::string wavelength;   // constant wavelength: the first of " => Wavelengths:"
    std::string bank_angle;   // time of flight: " => T.O.F. 2theta average detector angle"
  };
  struct Phase {
    std::int64_t number = 0;  // " => Phase  No. N"
    std::string name;         // the record after it, blank runs made one blank
    std::string space_group;  // " =>   Number of Space group:"
    std::string symbol;       // " => Symmetry information on space group:"
  };
  std::string title;  // " => Title:" in the conditions of the first pattern
  std::vector<Pattern> patterns;
  std::vector<Phase> phases;
  std::vector<SurveyedTable> tables;  // the last table of each pattern and phase, in file order
};

// Reads a FullProf output from its start to its end.
FullprofSurvey survey_fullprof_output(TextSource& src);

struct ListFileSurvey {
  struct Histogram {
    std::int64_t number = 0;    // columns 1-3 of the diffractometer constants
    std::string type;           // columns 6-8: PXC, PNC, PNT, ...
    std::string wavelength;     // types ending in C: columns 10-19
    std::string tof_constants;  // PNT: the three numbers from column 10 on
    std::int64_t bank = 0;      // PNT: columns 16-17 of its " Hstgm" line; 0: none found
  };
  std::string title;       // the first record after the EXPEDT heading
  bool structure = false;  // the scattering factors and the atom list follow the GENLES title
  std::vector<Histogram> histograms;  // the first diffractometer constants after GENLES
  std::vector<SurveyedTable> tables;  // per reflection list (its histogram) and phase code
};

// Reads a refinement list file from its start to its end.
ListFileSurvey survey_list_file(TextSource& src);

struct ReflectionCifSurvey {
  struct Block {
    std::string name;         // without "data_"
    std::string list_code;    // _shelx_refln_list_code, as given
    std::string forms;        // the measured and the calculated items, in words
    bool phases = false;      // the file's phases (F_calc with phase_calc, or A and B)
    bool atoms = false;       // the block holds a structure (_atom_site_fract_x)
    std::string space_group;  // the group the block's symmetry gives, or what is wrong
    std::string cell;         // a b c alpha beta gamma, as given
    std::string wavelength;   // _diffrn_radiation_wavelength, as given
    std::string F000;         // _exptl_crystal_F_000, as given
    std::string title;        // _shelx_title
    std::int64_t reflections = 0, not_positive = 0, friedel_pairs = 0;
    std::vector<std::pair<std::string, std::int64_t>> statuses;  // each flag and its count
  };
  std::vector<Block> blocks;  // the blocks with a reflection loop, in file order
};

// Reads a reflection CIF (by name: gemmi parses the file whole).
ReflectionCifSurvey survey_reflection_cif(const std::string& name);

}  // namespace memprep
