// End-to-end runs compared byte for byte with expected files.
//
// tests/cases/NAME/ is one run: in/ holds the control file run.ctl and the sources (a file
// NAME.fos.txt is written as the binary record file NAME.fos, see encode_records), out/
// the files the run must write; the optional files stdout and stderr hold the exact console
// output and status the exit status (0 when absent). The run is "memprep --quiet run.ctl"
// unless the optional file args gives the arguments before run.ctl (one per line; an empty
// file for none), so that a case can check the summary or an option. After the run the work
// directory must hold exactly the inputs and the expected outputs: nothing more, nothing less.
//
// examples/NAME/ is a shipped example: one .ctl file, its sources, and expected/ with the
// outputs. It is run the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "support.hpp"

namespace memprep::test {
namespace {

std::vector<std::string> subdirectories(const fs::path& dir) {
  std::vector<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Copies the inputs into work, turning NAME.fos.txt into the binary NAME.fos. Returns the
// names of the files written.
std::set<std::string> copy_inputs(const fs::path& from, const fs::path& work,
                                  const std::set<std::string>& skip_dirs) {
  std::set<std::string> names;
  for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = fs::relative(it->path(), from).string();
    if (it->is_directory()) {
      if (skip_dirs.count(rel)) {
        it.disable_recursion_pending();
      } else {
        fs::create_directories(work / rel);
      }
      continue;
    }
    if (rel.size() > 8 && rel.ends_with(".fos.txt")) {
      std::string bin = rel.substr(0, rel.size() - 4);
      write_file(work / bin, encode_records(read_file(it->path())));
      names.insert(bin);
    } else {
      fs::copy_file(it->path(), work / rel);
      names.insert(rel);
    }
  }
  return names;
}

void check_run(const fs::path& case_dir, const fs::path& inputs, const fs::path& expected,
               const std::string& ctl, const std::set<std::string>& skip_dirs) {
  TempDir work;
  std::set<std::string> want = copy_inputs(inputs, work.path, skip_dirs);
  std::vector<std::string> args{"--quiet"};
  if (fs::exists(case_dir / "args")) {
    args.clear();
    std::istringstream lines(read_file(case_dir / "args"));
    for (std::string a; std::getline(lines, a);) args.push_back(a);
  }
  args.push_back(ctl);
  Result r = run_memprep(work.path, args);

  std::string want_out = fs::exists(case_dir / "stdout") ? read_file(case_dir / "stdout") : "";
  int want_status = fs::exists(case_dir / "status") ? std::stoi(read_file(case_dir / "status")) : 0;
  EXPECT_EQ(r.status, want_status) << "stderr: " << r.err;
  EXPECT_EQ(r.out, want_out);
  if (fs::exists(case_dir / "stderr")) {
    EXPECT_EQ(r.err, read_file(case_dir / "stderr"));
  } else if (want_status == 0) {
    EXPECT_EQ(r.err, "");
  }

  if (fs::exists(expected)) {
    for (const std::string& name : list_files(expected)) {
      want.insert(name);
      fs::path got = work.path / name;
      if (!fs::exists(got)) {
        ADD_FAILURE() << name << " was not written";
        continue;
      }
      std::string diff = first_difference(read_file(expected / name), read_file(got));
      EXPECT_EQ(diff, "") << name << " differs from the expected file at " << diff;
    }
  }
  std::vector<std::string> have = list_files(work.path);
  EXPECT_EQ(std::set<std::string>(have.begin(), have.end()), want)
      << "the work directory holds other files than the inputs and expected outputs";
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, OutputsMatchByteForByte) {
  fs::path dir = fs::path(MEMPREP_CASES_DIR) / GetParam();
  check_run(dir, dir / "in", dir / "out", "run.ctl", {});
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(subdirectories(MEMPREP_CASES_DIR)),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Golden);

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, ConvertsToTheExpectedOutput) {
  fs::path dir = fs::path(MEMPREP_EXAMPLES_DIR) / GetParam();
  std::string ctl;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().extension() == ".ctl") ctl = e.path().filename().string();
  ASSERT_FALSE(ctl.empty()) << "no control file in " << dir;
  check_run(dir, dir, dir / "expected", ctl, {"expected"});
}

INSTANTIATE_TEST_SUITE_P(Examples, Example,
                         ::testing::ValuesIn(subdirectories(MEMPREP_EXAMPLES_DIR)),
                         [](const auto& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Example);

}  // namespace
}  // namespace memprep::test
