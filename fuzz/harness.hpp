// The common driver of the fuzz targets: every input is one complete run of the converter in
// a private working directory.
//
// A fuzz input begins with five bytes that choose the command-line options; the rest is split
// into files at lines that hold exactly "%%%%": the first part becomes the first of the
// target's file names, the second part the second, and so on (binary data after the last
// separator is never split). Files the input does not reach are not written, so a missing
// source is tried as well. A target may also give fixed files, written unchanged for every
// input.
//
// The options: the source named in the control file gives the kind, and the first byte
// picks one of the sets of options that kind accepts (none; --overlap-d; for FullProf
// outputs --overlap-fwhm, --sigma refinement and their combinations); the next two pairs of
// bytes give the thresholds (mostly four digits between 1e-4 and 1e3, some round values and
// extremes). They are parsed as memprep parses its command line.
//
// After each run the harness checks what a user relies on and abort()s (so that libFuzzer
// reports the input) when it does not hold:
//   - the run either succeeds or stops with Stop or IoFailure; any other exception escaping
//     the run is a fault;
//   - a run that failed leaves the directory exactly as it was: no output file, no temporary
//     file, every input file unchanged;
//   - a run that succeeded leaves its MEM data set (and companion file) and no temporary file;
//     its MEM data set holds numbers only (no NaN, infinity or asterisks) and as many
//     reflection lines, groups and group members as its counts say; its title holds no
//     control byte and does not read as a marker ("# NREF1"); every |Fo| is 0 or more
//     and, where memprep derives it, the modulus of (Fo(r), Fo(i)) to the decimals written
//     (a binary source's values are written as the source gives them); every sigma(|Fo|)
//     and SUM is above 0 as written, and no G'o' is negative;
//   - the companion file holds numbers only, its count is right, its title and amplitudes
//     obey the same rules, and it lists the MEM data set's single reflections, in their order and
//     with their values, and every group member once;
//   - the summary gives each threshold as the number the option gave.
// At exit the harness writes how many inputs ran, and converted, with each kind and set of
// options ("memprep fuzz: options ...").
// With MEMPREP_FUZZ_VERBOSE set, the outcome of each run is written on standard error.
// Crashes, sanitizer reports, hangs and runaway memory are reported by libFuzzer itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/run.hpp"

namespace memprep::fuzz {

struct Target {
  std::vector<std::string> parts;                          // file names, in input order
  std::vector<std::pair<std::string, std::string>> fixed;  // name, content
  std::vector<SourceKind> kinds;  // the kinds its sources are of, for the tally of options
};

// Runs one input; returns -1 for an input that the harness does not run (one that names a
// file outside the working directory), 0 otherwise.
int run_one(const Target& target, const std::uint8_t* data, std::size_t size);

// The content of a file of the fixed sources shipped with the fuzz targets.
std::string fixed_source(const std::string& name);

}  // namespace memprep::fuzz
