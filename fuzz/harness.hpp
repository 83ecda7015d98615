// The common driver of the fuzz targets: every input is one complete run of the converter in
// a private working directory.
//
// A fuzz input is split into files at lines that hold exactly "%%%%": the first part becomes
// the first of the target's file names, the second part the second, and so on (binary data
// after the last separator is never split). Files the input does not reach are not written,
// so a missing source is tried as well. A target may also give fixed files, written
// unchanged for every input.
//
// After each run the harness checks what a user relies on and abort()s (so that libFuzzer
// reports the input) when it does not hold:
//   - the run either succeeds or stops with Stop or IoFailure; any other exception escaping
//     the run is a fault;
//   - a run that failed leaves the directory exactly as it was: no output file, no temporary
//     file, every input file unchanged;
//   - a run that succeeded leaves its MEM data set (and companion file) and no temporary file,
//     and its MEM data set holds numbers only (no NaN, infinity or asterisks) and as many
//     reflection lines, groups and group members as its counts say.
// With MEMPREP_FUZZ_VERBOSE set, the outcome of each run is written on standard error.
// Crashes, sanitizer reports, hangs and runaway memory are reported by libFuzzer itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace memprep::fuzz {

struct Target {
  std::vector<std::string> parts;                          // file names, in input order
  std::vector<std::pair<std::string, std::string>> fixed;  // name, content
};

// Runs one input; returns -1 for an input that the harness does not run (one that names a
// file outside the working directory), 0 otherwise.
int run_one(const Target& target, const std::uint8_t* data, std::size_t size);

// The content of a file of the fixed sources shipped with the fuzz targets.
std::string fixed_source(const std::string& name);

}  // namespace memprep::fuzz
