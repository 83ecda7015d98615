#include "fuzz/harness.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

#include "control/control_file.hpp"
#include "driver/run.hpp"
#include "driver/source_kinds.hpp"
#include "io/errors.hpp"
#include "io/fields.hpp"

namespace memprep::fuzz {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSeparator = "\n%%%%\n";

[[noreturn]] void fault(const std::string& what) {
  std::fprintf(stderr, "memprep fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The private working directory, made once under $TMPDIR (or /tmp) and removed at exit.
struct WorkDir {
  WorkDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/memprep-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) fault("cannot create a working directory");
    path = pattern;
  }
  ~WorkDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

WorkDir& work_dir() {
  static WorkDir dir;
  return dir;
}

// Enters the working directory for one run and returns to where the fuzzer works (its corpus
// and artifact paths may be relative) afterwards.
class Inside {
 public:
  explicit Inside(const fs::path& dir) : home_(::open(".", O_RDONLY | O_DIRECTORY)) {
    if (home_ < 0 || ::chdir(dir.c_str()) != 0) fault("cannot enter the working directory");
  }
  ~Inside() {
    if (::fchdir(home_) != 0) fault("cannot leave the working directory");
    ::close(home_);
  }
  Inside(const Inside&) = delete;
  Inside& operator=(const Inside&) = delete;

 private:
  int home_;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void spill(const fs::path& p, std::string_view content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) fault("cannot write " + p.string());
}

void empty_directory(const fs::path& dir) {
  for (const auto& e : fs::directory_iterator(dir)) fs::remove_all(e.path());
}

std::set<std::string> entries(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

// True when one of the first significant control lines (the file names) leaves the working
// directory. Only plain names are run: a path could reach any file of the machine.
bool names_outside(const std::string& control) {
  static std::ostringstream quiet;
  static Run probe(quiet);
  probe.ctl.open_text("run.ctl", control);
  try {
    std::string name;
    for (int i = 0; i < 3; ++i) {
      read_control_line(probe, name, TextSource::kLongestRecord, "a file name");
      if (name.find('/') != std::string::npos) return true;
    }
  } catch (const IoFailure&) {
  }
  return false;
}

std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos) fault("the MEM data set does not end with a line end");
    lines.push_back(text.substr(0, nl));
    text.remove_prefix(nl + 1);
  }
  return lines;
}

// The count in a count line of the MEM data set (an I5 field).
std::int64_t count_at(const std::vector<std::string_view>& lines, std::size_t i, const char* what) {
  if (i >= lines.size()) fault(std::string("the MEM data set ends before ") + what);
  try {
    return parse_I(lines[i]);
  } catch (const FieldError&) {
    fault(std::string("the MEM data set's ") + what + " is not a count: " + std::string(lines[i]));
  }
}

// What a scientist takes from a MEM data set: every number is a number (no NaN, no infinity,
// no asterisks of a field too narrow; the title, line 2, is the user's own text), and the
// counts after "# NREF1" and "# NREF2" match the lines that follow them.
void check_mem_data_set(const std::string& text) {
  const std::vector<std::string_view> lines = lines_of(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i == 1) continue;
    for (std::string_view bad : {"NaN", "Inf", "*"})
      if (lines[i].find(bad) != std::string_view::npos)
        fault("line " + std::to_string(i + 1) + " of the MEM data set holds " + std::string(bad) +
              ": " + std::string(lines[i]));
  }
  std::size_t i = 0;
  while (i < lines.size() && lines[i] != "# NREF1") ++i;
  const std::int64_t nref1 = count_at(lines, i + 1, "NREF1");
  i += 3;  // the count and the column heading
  std::int64_t reflections = 0;
  for (; i < lines.size() && lines[i] != "# NREF2"; ++i) ++reflections;
  if (reflections != nref1)
    fault("NREF1 is " + std::to_string(nref1) + ", but " + std::to_string(reflections) +
          " reflection lines follow");
  if (i == lines.size()) return;
  const std::int64_t nref2 = count_at(lines, i + 1, "NREF2");
  i += 3;
  std::int64_t groups = 0;
  for (; i < lines.size(); ++groups) {
    const std::int64_t members = count_at(lines, i, "member count");
    if (members < 0 || static_cast<std::size_t>(members) > lines.size() - i - 1)
      fault("a group of " + std::to_string(members) + " members runs past the end");
    i += 1 + static_cast<std::size_t>(members);
  }
  if (groups != nref2)
    fault("NREF2 is " + std::to_string(nref2) + ", but " + std::to_string(groups) +
          " groups follow");
}

}  // namespace

std::string fixed_source(const std::string& name) {
  fs::path p = fs::path(MEMPREP_FUZZ_SOURCES) / name;
  if (!fs::is_regular_file(p)) fault("missing fixed source " + p.string());
  return slurp(p);
}

int run_one(const Target& target, const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  // Split the input into its files.
  std::map<std::string, std::string> written;
  for (std::size_t i = 0; i < target.parts.size(); ++i) {
    bool last = i + 1 == target.parts.size();
    std::size_t sep = last ? std::string_view::npos : input.find(kSeparator);
    if (sep == std::string_view::npos) {
      written[target.parts[i]] = std::string(input);
      break;
    }
    written[target.parts[i]] = std::string(input.substr(0, sep + 1));
    input.remove_prefix(sep + kSeparator.size());
  }
  for (const auto& [name, content] : target.fixed) written.emplace(name, content);

  auto ctl = written.find("run.ctl");
  if (ctl != written.end() && names_outside(ctl->second)) return -1;

  WorkDir& dir = work_dir();
  Inside inside(dir.path);
  empty_directory(".");
  for (const auto& [name, content] : written) spill(name, content);

  // The run's files are closed, and an uncommitted temporary file removed, when the Run goes
  // away, as at the end of the program.
  std::string outfile, fosfile;
  SourceKind kind = SourceKind::none;
  bool ok = false;
  {
    std::ostringstream console;
    Run run(console);
    run.CTLFILE = "run.ctl";
    static const bool verbose = std::getenv("MEMPREP_FUZZ_VERBOSE") != nullptr;
    try {
      run_converter(run);
      ok = true;
      if (verbose) std::fprintf(stderr, "converted\n");
    } catch (const Stop& e) {
      if (verbose) std::fprintf(stderr, "stopped: %s\n", e.what());
    } catch (const IoFailure& e) {
      if (verbose) std::fprintf(stderr, "failed: %s\n", e.what());
    } catch (const std::exception& e) {
      fault(std::string("a run ended with an unexpected exception: ") + e.what());
    } catch (...) {
      fault("a run ended with an unknown exception");
    }
    outfile = run.OUTFILE;
    fosfile = run.FOSFILE;
    kind = run.KIND;
  }

  std::set<std::string> after = entries(".");
  for (const std::string& name : after)
    if (name.starts_with(".memprep-") && !written.count(name) &&
        !(ok && (name == outfile || name == fosfile)))
      fault("temporary file left behind: " + name);

  if (!ok) {
    for (const std::string& name : after)
      if (!written.count(name)) fault("a failed run left the file '" + name + "'");
    for (const auto& [name, content] : written) {
      if (!after.count(name)) fault("a failed run removed the input '" + name + "'");
      if (slurp(name) != content) fault("a failed run changed the input '" + name + "'");
    }
  } else {
    if (!after.count(outfile)) fault("a successful run left no MEM data set '" + outfile + "'");
    const bool companion = source_kind(kind).writes.companion;
    if (companion && !after.count(fosfile))
      fault("a successful run left no companion file '" + fosfile + "'");
    for (const std::string& name : after)
      if (!written.count(name) && name != outfile && !(companion && name == fosfile))
        fault("a successful run left the unexpected file '" + name + "'");
    check_mem_data_set(slurp(outfile));
  }
  empty_directory(".");
  return 0;
}

}  // namespace memprep::fuzz
