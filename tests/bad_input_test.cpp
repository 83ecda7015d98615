// Bad input given on purpose, to the built program: every case is refused with one clear
// line naming the file, exit status 1, and the work directory left exactly as it was (no
// output file, no temporary file, the inputs unchanged).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "list_file_support.hpp"
#include "support.hpp"

namespace memprep::test {
namespace {

// A work directory holding the inputs of one run.
struct Work {
  TempDir dir;
  std::map<std::string, std::string> files;  // every file written, with its content

  void put(const std::string& name, const std::string& content) {
    write_file(dir.path / name, content);
    files[name] = content;
  }
  // The regular files of an example or case directory (not its subdirectories).
  void copy_from(const fs::path& from) {
    for (const auto& e : fs::directory_iterator(from))
      if (e.is_regular_file()) put(e.path().filename().string(), read_file(e.path()));
  }
  // Replaces the first occurrence of `from` in file `name`.
  void edit(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = files.at(name);
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << name << " does not hold '" << from << "'";
    put(name, text.replace(at, from.size(), to));
  }
};

// Runs the program on `ctl` and checks the refusal; returns the one line it wrote (without
// its line end), or "" after a failed check.
std::string refused(const Work& w, const std::string& ctl, std::vector<std::string> args = {}) {
  args.push_back(ctl);
  Result r = run_memprep(w.dir.path, args);
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  std::string text = r.out + r.err;
  EXPECT_TRUE(text.size() > 1 && text.find('\n') == text.size() - 1) << "expected one line, got:\n"
                                                                     << text;
  EXPECT_LT(text.size(), 1000u) << "an unreadably long line";
  std::vector<std::string> expected;
  for (const auto& [name, content] : w.files) expected.push_back(name);
  EXPECT_EQ(list_files(w.dir.path), expected) << "after: " << text;
  for (const auto& [name, content] : w.files) {
    if (fs::is_regular_file(w.dir.path / name)) {
      EXPECT_EQ(read_file(w.dir.path / name), content) << name << " was changed";
    }
  }
  for (const auto& e : fs::directory_iterator(w.dir.path))
    EXPECT_FALSE(e.path().filename().string().starts_with(".memprep-")) << "temporary file left";
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// An I/O failure line names the file (and, where one applies, the line) first.
void expect_names(const std::string& line, const std::string& file_and_line,
                  const std::string& what) {
  EXPECT_TRUE(line.starts_with("memprep: " + file_and_line)) << line;
  EXPECT_NE(line.find(what), std::string::npos) << line;
}

// A valid run of each source kind, to be spoilt by the tests. The control file's name and
// the source names are returned with it.
struct Kind {
  const char* name;
  fs::path from;
  const char* ctl;
  const char* source;
};

const Kind kKinds[] = {
    {"lst", fs::path(MEMPREP_EXAMPLES_DIR) / "lst-xray", "silicon.ctl", "silicon.lst"},
    {"out", fs::path(MEMPREP_EXAMPLES_DIR) / "out-xray", "ceria.ctl", "ceria.out"},
    {"fos", fs::path(MEMPREP_EXAMPLES_DIR) / "fos", "sample.ctl", "sample.fos"},
    {"zmemin", fs::path(MEMPREP_EXAMPLES_DIR) / "zmemin-groups", "ceria.ctl", "ceria.zmemin"},
};

std::string noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xff);
  return s;
}

TEST(BadInput, TheUnspoiltRunsConvert) {
  for (const Kind& k : kKinds) {
    Work w;
    w.copy_from(k.from);
    Result r = run_memprep(w.dir.path, {k.ctl});
    EXPECT_EQ(r.status, 0) << k.name << ": " << r.out << r.err;
  }
}

TEST(BadInput, EmptyFiles) {
  {
    Work w;
    w.put("run.ctl", "");
    expect_names(refused(w, "run.ctl"), "run.ctl: ", "end of file");
  }
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.name);
    Work w;
    w.copy_from(k.from);
    w.put(k.source, "");
    expect_names(refused(w, k.ctl), k.source, "end of file");
  }
  {
    SCOPED_TRACE("auxiliary file");
    Work w;
    w.copy_from(kKinds[1].from);
    w.put("ceria.amp", "");
    expect_names(refused(w, "ceria.ctl"), "ceria.amp", "end of file");
  }
}

TEST(BadInput, BinaryNoiseAsText) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.name);
    Work w;
    w.copy_from(k.from);
    w.put(k.source, noise(20000, 7));
    expect_names(refused(w, k.ctl), k.source, "");
  }
  {
    SCOPED_TRACE("auxiliary file");
    Work w;
    w.copy_from(kKinds[1].from);
    w.put("ceria.amp", noise(20000, 11));
    expect_names(refused(w, "ceria.ctl"), "ceria.amp", "");
  }
  {
    SCOPED_TRACE("control file");
    Work w;
    w.put("run.ctl", noise(20000, 5));
    expect_names(refused(w, "run.ctl"), "run.ctl:1: ", "holds a NUL byte");
  }
}

TEST(BadInput, LinesOfAHundredThousandCharacters) {
  const std::string digits(100000, '9'), letters(100000, 'x');
  {
    SCOPED_TRACE("a number too long for any real");
    Work w;
    w.copy_from(kKinds[2].from);
    w.edit("sample.ctl", "1.0                 # E", digits);
    expect_names(refused(w, "sample.ctl"), "sample.ctl:4: ", "too large");
  }
  {
    SCOPED_TRACE("a source file name");
    Work w;
    w.copy_from(kKinds[2].from);
    w.edit("sample.ctl", "sample.fos", "sample.fos" + letters);
    EXPECT_EQ(refused(w, "sample.ctl"),
              "memprep: sample.ctl:2: the source file name is longer than 512 characters");
  }
  {
    SCOPED_TRACE("a reflection line");
    Work w;
    w.copy_from(kKinds[3].from);
    w.edit("ceria.zmemin", "    1    1    1", letters);
    expect_names(refused(w, "ceria.ctl"), "ceria.zmemin:", "is not an integer");
  }
  {
    SCOPED_TRACE("a line of blanks where the file names are");
    Work w;
    w.copy_from(kKinds[2].from);
    w.put("sample.ctl", std::string(100000, ' ') + "\n");
    expect_names(refused(w, "sample.ctl"), "sample.ctl: ", "end of file");
  }
}

TEST(BadInput, NulByteInALine) {
  const std::string nul(1, '\0');
  {
    SCOPED_TRACE("in the name of the MEM data set");
    Work w;
    w.copy_from(kKinds[2].from);
    w.edit("sample.ctl", "sample.mem", "sample.mem" + nul + "x");
    EXPECT_EQ(refused(w, "sample.ctl"),
              "memprep: sample.ctl:3: the MEM data-set file name holds a NUL byte");
  }
  {
    SCOPED_TRACE("in the name of the source");
    Work w;
    w.copy_from(kKinds[0].from);
    w.edit("silicon.ctl", "silicon.lst", "silicon.lst" + nul);
    EXPECT_EQ(refused(w, "silicon.ctl"),
              "memprep: silicon.ctl:3: the source file name holds a NUL byte");
  }
  {
    SCOPED_TRACE("in a number of the control file");
    Work w;
    w.copy_from(kKinds[2].from);
    w.edit("sample.ctl", "0.710730", "0.71" + nul + "0730");
    expect_names(refused(w, "sample.ctl"), "sample.ctl:6: ", "\\x00");
  }
  {
    SCOPED_TRACE("in a reflection line");
    Work w;
    w.copy_from(kKinds[3].from);
    w.edit("ceria.zmemin", "    1    1    1", "    1  " + nul + " 1    1");
    expect_names(refused(w, "ceria.ctl"), "ceria.zmemin:", "\\x00");
  }
}

TEST(BadInput, DirectoryWhereAFileIsNeeded) {
  {
    SCOPED_TRACE("control file");
    Work w;
    fs::create_directory(w.dir.path / "run.ctl");
    Result r = run_memprep(w.dir.path, {"run.ctl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out + r.err, "memprep: run.ctl: cannot open: is a directory\n");
  }
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.name);
    Work w;
    w.copy_from(k.from);
    fs::remove(w.dir.path / k.source);
    w.files.erase(k.source);
    fs::create_directory(w.dir.path / k.source);
    std::string line = refused(w, k.ctl);
    expect_names(line, k.source, "is a directory");
  }
  {
    SCOPED_TRACE("MEM data set");
    Work w;
    w.copy_from(kKinds[3].from);
    fs::create_directory(w.dir.path / "ceria.mem");
    expect_names(refused(w, "ceria.ctl"), "ceria.mem", "cannot create");
  }
}

TEST(BadInput, OutputDirectoryThatCannotBeWritten) {
  for (const Kind& k : kKinds) {
    SCOPED_TRACE(k.name);
    for (const std::string dir : {"missing", "plain.txt"}) {
      Work w;
      w.copy_from(k.from);
      w.put("plain.txt", "a regular file, not a directory\n");
      std::string ctl = w.files.at(k.ctl);
      std::size_t mem = ctl.find(".mem");
      std::size_t start = ctl.rfind('\n', mem) + 1;
      w.edit(k.ctl, ctl.substr(start, mem + 4 - start), dir + "/out.mem");
      expect_names(refused(w, k.ctl), dir + "/out.mem", "cannot create");
    }
  }
}

TEST(BadInput, IntegersBeyondSixtyFourBits) {
  {
    Work w;
    w.copy_from(kKinds[0].from);
    w.edit("silicon.ctl", "64 64 64", "64 18446744073709551616 64");
    expect_names(refused(w, "silicon.ctl"), "silicon.ctl:8: ", "does not fit in a 64-bit integer");
  }
  {
    Work w;
    w.copy_from(kKinds[0].from);
    w.edit("silicon.ctl", "F 227-2", "F 227-99999999999999999999");
    expect_names(refused(w, "silicon.ctl"), "silicon.ctl:6: ", "does not fit in a 64-bit integer");
  }
  {
    Work w;
    w.copy_from(kKinds[3].from);
    w.edit("ceria.zmemin", "    1    1    1", "    1 -9223372036854775809    1");
    expect_names(refused(w, "ceria.ctl"), "ceria.zmemin:", "does not fit in a 64-bit integer");
  }
}

TEST(BadInput, NanAndInfinityAreNotNumbers) {
  for (const std::string v : {"NaN", "nan", "Inf", "-inf", "Infinity", "+INFINITY", "nan(0x1)"}) {
    SCOPED_TRACE(v);
    {
      Work w;
      w.copy_from(kKinds[2].from);
      w.edit("sample.ctl", "0.710730", v);
      expect_names(refused(w, "sample.ctl"), "sample.ctl:6: ", "is not a number");
    }
    {
      Work w;
      w.copy_from(kKinds[3].from);
      w.edit("ceria.ctl", "90.0 ", v + " ");
      expect_names(refused(w, "ceria.ctl"), "ceria.ctl:", "is not a number");
    }
  }
}

// Values and selections that cannot be right, each refused with where it was read and what
// the source holds; the directory keeps exactly its inputs. One edit of a shipped example each.
TEST(BadInput, SettingsAndSelectionsThatCannotBeRight) {
  const fs::path ex = MEMPREP_EXAMPLES_DIR;
  struct Row {
    const char* example;
    const char* ctl;
    const char* file;
    const char* from;
    const char* to;
    const char* says;  // words of the message
  } rows[] = {
      {"out-xray", "ceria.ctl", "ceria.ctl", "1.0      ", "0        ",
       "ceria.ctl:7: E = 0: E must be greater than 0"},
      {"fos", "sample.ctl", "sample.ctl", "1.0 ", "-2 ",
       "sample.ctl:4: E = -2: E must be greater than 0"},
      {"lst-xray", "silicon.ctl", "silicon.ctl", "64 64 64", "64 0 64",
       "silicon.ctl:8: NX NY NZ = 64 0 64: the grid numbers must be 1 or more"},
      {"out-xray", "ceria.ctl", "ceria.ctl", "1.540560", "-1.5406",
       "ceria.ctl:11: lambda1 = -1.5406: the wavelength must not be negative"},
      {"lst-xray", "silicon.ctl", "silicon.lst", "5.430940  5.430940  5.430940    90.000",
       "5.430940  5.430940  5.430940   180.000",
       "silicon.lst:33: the cell angle alpha = 180 must lie between 0 and 180 degrees"},
      {"out-xray", "ceria.ctl", "ceria.out", "       5.411300       0.000021",
       "      -5.411300       0.000021", "ceria.out:31: the cell length a = -5.4113"},
      {"zmemin-groups", "ceria.ctl", "ceria.zmemin", "   5.41130   5.41130   5.41130",
       "   5.41130   0.00000   5.41130", "ceria.zmemin:5: the cell length b = 0"},
      {"zmemin-groups", "ceria.ctl", "ceria.ctl", "90.0 ", "180.0 ",
       "ceria.ctl:7: 2theta = 180: the 2theta of the detector bank must lie between 0 and 180"},
      {"out-tof", "nickel.ctl", "nickel.ctl", "145.0 90.0", "145.0 190.0",
       "nickel.ctl:15: the angle of bank 2 is 190"},
      // A pattern, histogram or phase the source does not hold.
      {"out-xray", "ceria.ctl", "ceria.ctl", "1                       # phase",
       "2                       # phase",
       "ceria.out holds phase 1 only; the control file asks for phase 2 (ceria.ctl:13)"},
      {"out-xray", "ceria.ctl", "ceria.ctl", "1                       # pattern",
       "6                       # pattern",
       "ceria.out holds pattern 1 only; the control file asks for pattern 6 (ceria.ctl:12)"},
      {"lst-xray", "silicon.ctl", "silicon.ctl", "1                       # phase",
       "3                       # phase",
       "silicon.lst holds phase 1 only; the control file asks for phase 3 (silicon.ctl:13)"},
      {"lst-xray", "silicon.ctl", "silicon.ctl", "1                       # histogram",
       "2                       # histogram",
       "silicon.lst holds histogram 1 only; the control file asks for histogram 2"},
      // A console message that names no line is followed by one that does.
      {"out-xray", "ceria.ctl", "ceria.ctl", "0                       # IAMP",
       "2                       # IAMP", " IAMP should be 0 or 1\nmemprep: ceria.ctl:9: IAMP is 2"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.example) + ": " + r.to);
    Work w;
    w.copy_from(ex / r.example);
    w.edit(r.file, r.from, r.to);
    Result got = run_memprep(w.dir.path, {r.ctl});
    EXPECT_EQ(got.status, 1);
    EXPECT_NE((got.out + got.err).find(r.says), std::string::npos) << got.out << got.err;
    std::vector<std::string> expected;
    for (const auto& [name, content] : w.files) expected.push_back(name);
    EXPECT_EQ(list_files(w.dir.path), expected);
  }
}

// The companion file replaces only a companion file: a binary structure-factor file of that
// name is left alone.
TEST(BadInput, CompanionNameOfAnotherFileIsRefused) {
  Work w;
  w.copy_from(fs::path(MEMPREP_EXAMPLES_DIR) / "out-xray");
  w.put("ceria.fos", read_file(fs::path(MEMPREP_EXAMPLES_DIR) / "fos" / "sample.fos"));
  expect_names(refused(w, "ceria.ctl"), "ceria.ctl:4: ", "which is not a companion file");
  w.put("ceria.fos", "# Title\nan earlier companion file\n");
  EXPECT_EQ(run_memprep(w.dir.path, {"ceria.ctl"}).status, 0);
}

// An option that the source cannot honour fails its conversion, naming the option and why.
TEST(BadInput, OptionsTheSourceCannotHonour) {
  const fs::path ex = MEMPREP_EXAMPLES_DIR;
  struct Row {
    const char* example;
    const char* ctl;
    std::vector<std::string> args;
    const char* says;
  } rows[] = {
      {"lst-xray",
       "silicon.ctl",
       {"--overlap-fwhm", "1"},
       "memprep: silicon.ctl:3: --overlap-fwhm cannot be used for silicon.lst, a list file: it "
       "gives no peak positions and FWHM"},
      {"lst-xray",
       "silicon.ctl",
       {"--sigma=refinement"},
       "memprep: silicon.ctl:3: --sigma refinement cannot be used for silicon.lst, a list file: "
       "it gives no sigma of the observed intensities"},
      {"fos",
       "sample.ctl",
       {"--overlap-d", "0.01"},
       "memprep: sample.ctl:2: --overlap-d cannot be used for sample.fos, a binary "
       "structure-factor file: it gives no multiplicities"},
      {"zmemin-groups",
       "ceria.ctl",
       {"--overlap-d", "0.01"},
       "memprep: ceria.ctl:3: --overlap-d cannot be used for ceria.zmemin, an earlier MEM data "
       "set: it brings overlap groups of its own"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.example);
    Work w;
    w.copy_from(ex / r.example);
    EXPECT_TRUE(refused(w, r.ctl, r.args).starts_with(r.says));
  }
  // A table whose heading names no Sigma column: refused for that layout, not guessed.
  Work w;
  w.copy_from(ex / "out-xray");
  w.edit("ceria.out", "       Iobs      Sigma", "       Iobs");
  expect_names(refused(w, "ceria.ctl", {"--sigma", "refinement"}), "ceria.out:",
               ": --sigma refinement: the heading of this reflection table (one blank before "
               "\"No.\", six before \"Hw\") names no Sigma column (\"Sigma\")");
}

}  // namespace
}  // namespace memprep::test

namespace memprep::test {
namespace {

// The offset just after the end of line n (1-based).
std::size_t end_of_line(const std::string& text, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) at = text.find('\n', at) + 1;
  return at;
}

// The program run with its control file read from a pipe: cat CTL | memprep ARG, ARG
// /dev/stdin or -.
Result run_piped(const fs::path& dir, const std::string& ctl, const std::string& arg) {
  const std::string cmd = "cd '" + dir.string() + "' && cat " + ctl + " | '" + MEMPREP_BINARY +
                          "' " + arg + " >/dev/null 2>&1";
  const int raw = std::system(cmd.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, "", ""};
}

// An auxiliary line must give the h k l of its table line: each index edited in turn.
// An auxiliary amplitude or phase angle without a decimal point reads with implied decimals,
// a blank one as 0: both are refused at their line.
TEST(BadInput, AuxiliaryRealsWithoutADecimalPoint) {
  const struct {
    const char* from;
    const char* to;
    const char* message;
  } rows[] = {
      {"    217.6000", "         217",
       "columns 13-24: the amplitude '217' has no decimal point, and would read as 0.0217 (F12.4, "
       "four implied decimals): write it with its decimal point"},
      {"218.0352      0.0000", "218.0352            ",
       "columns 37-48: the phase angle is blank: give its value"},
  };
  for (const auto& r : rows) {
    Work w;
    w.copy_from(kKinds[1].from);
    w.edit("ceria.amp", r.from, r.to);
    EXPECT_EQ(refused(w, "ceria.ctl"), std::string("memprep: ceria.amp:6: ") + r.message);
  }
}

// A typed wavelength, or a bank angle of the bank converted, that is not the one the output
// prints for the pattern would be written into every line: refused, naming both.
TEST(BadInput, WavelengthAndBankAngleAreTheOutputs) {
  Work xray;
  xray.copy_from(kKinds[1].from);
  xray.edit("ceria.ctl", "1.540560 ", "1.0      ");
  EXPECT_EQ(refused(xray, "ceria.ctl"),
            "memprep: ceria.ctl:11: wavelength 1 is not the wavelength 1.54056 that ceria.out:6 "
            "prints for pattern 1: give the output's value");
  Work tof;
  tof.copy_from(fs::path(MEMPREP_EXAMPLES_DIR) / "out-tof");
  tof.edit("nickel.ctl", "145.0 90.0 ", "90.0 145.0 ");
  EXPECT_EQ(refused(tof, "nickel.ctl"),
            "memprep: nickel.ctl:15: bank angle 145 is not the bank angle 90.000 that "
            "nickel.out:19 prints for pattern 2: give the output's value");
}

// An auxiliary file beside a model the output prints whole is compared with it: the
// amplitudes of the model's own conversion, read with FODIV 1, are ten times the model's,
// and the warning says to check FODIV; with FODIV 10 they agree and nothing is said. Phases
// of another structure are another warning.
TEST(BadInput, AuxiliaryFileComparedWithTheModel) {
  const fs::path example = fs::path(MEMPREP_EXAMPLES_DIR) / "out-model";
  std::istringstream fos(read_file(example / "expected" / "kmnf3.fos"));
  std::string aux = " Phase no.:   1\n", aux_shifted = aux, line;
  while (std::getline(fos, line) && line != "# NREF1") {
  }
  std::getline(fos, line);  // the count
  std::getline(fos, line);  // the heading
  while (std::getline(fos, line) && line[0] != '#') {
    std::istringstream in(line);
    int h = 0, k = 0, l = 0;
    double fr = 0, fi = 0, fo = 0;
    in >> h >> k >> l >> fr >> fi >> fo;
    char buf[80];
    std::snprintf(buf, sizeof buf, "%4d%4d%4d%12.4f%12.4f%12.4f\n", h, k, l, fo, fo,
                  fr < 0 ? 180.0 : 0.0);
    aux += buf;
    std::snprintf(buf, sizeof buf, "%4d%4d%4d%12.4f%12.4f%12.4f\n", h, k, l, fo, fo,
                  fr < 0 ? 90.0 : 270.0);
    aux_shifted += buf;
  }
  auto run = [&](const std::string& amplitudes, const char* fodiv) {
    Work w;
    w.copy_from(example);
    w.put("kmnf3.amp", amplitudes);
    w.edit("model.ctl", "-                       #", "kmnf3.amp               #");
    w.put("model.ctl", w.files.at("model.ctl") + fodiv + "\n");
    const Result r = run_memprep(w.dir.path, {"--quiet", "model.ctl"});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.err;
  };
  EXPECT_EQ(run(aux, "10.0"), "");
  EXPECT_EQ(run(aux, "1.0"),
            "memprep: kmnf3.amp: warning: compared with the model of phase 1 in kmnf3.out, |Fo| "
            "is 10 times |F_model| sqrt(Iobs / Icalc) on every reflection: check FODIV (1)\n");
  EXPECT_NE(run(aux_shifted, "10.0")
                .find("the phase angles of 22 of 22 reflections differ by "
                      "more than 5 degrees"),
            std::string::npos);
}

TEST(BadInput, AuxiliaryLineOfAnotherReflection) {
  const struct {
    const char* from;
    const char* to;
    const char* hkl;
  } rows[] = {{"   2   2   0 ", "   3   2   0 ", "3 2 0"},
              {"   2   2   0 ", "   2   3   0 ", "2 3 0"},
              {"   2   2   0 ", "   2   2   1 ", "2 2 1"}};
  for (const auto& r : rows) {
    Work w;
    w.copy_from(kKinds[1].from);
    w.edit("ceria.amp", r.from, r.to);
    EXPECT_EQ(refused(w, "ceria.ctl"),
              std::string("memprep: ceria.amp:6: h k l ") + r.hkl +
                  ", but ceria.out:43 is reflection 2 2 0: the auxiliary file must list the "
                  "reflections of the table in its order");
  }
}

// Hostile environments: files that are not regular files, names that are too long or hold
// tabs and line ends, sources cut at a line end or in the middle of a line. Each row spoils
// a valid run; `expected` is the one line of the refusal, or "" for a run that converts.
TEST(BadInput, HostileEnvironments) {
  const std::string lst = "silicon.lst", amp = "ceria.amp", zmem = "ceria.zmemin";
  auto special = [](const std::string& name, const char* target) {
    return [=](Work& w) {
      fs::remove(w.dir.path / name);
      w.files.erase(name);
      if (target)
        fs::create_symlink(target, w.dir.path / name);
      else
        ASSERT_EQ(::mkfifo((w.dir.path / name).c_str(), 0600), 0);
    };
  };
  auto cut = [](const std::string& name, int line, std::size_t keep) {
    return [=](Work& w) {
      const std::string& text = w.files.at(name);
      w.put(name, text.substr(0, end_of_line(text, line - 1) + keep));
    };
  };
  const std::string long_arg = [] {
    std::string a;
    for (int i = 0; i < 295; ++i) a += "./";
    return a + "silicon.ctl";  // 601 characters naming an existing control file
  }();
  struct Row {
    const char* what;
    const Kind& kind;
    std::function<void(Work&)> spoil;
    std::string ctl;  // "" for the kind's own control file
    std::string expected;
  };
  const Kind &G = kKinds[0], &F = kKinds[1], &R = kKinds[2], &Z = kKinds[3];
  const std::string zmem_text = read_file(Z.from / zmem);
  const std::string notation = read_file(R.from / "sample.fos.notation");
  const Row rows[] = {
      {"FIFO as source", G, special(lst, nullptr), "",
       "memprep: silicon.lst: cannot open: is a FIFO, not a regular file"},
      {"FIFO as auxiliary file", F, special(amp, nullptr), "",
       "memprep: ceria.amp: cannot open: is a FIFO, not a regular file"},
      {"character device as source", R, special("sample.fos", "/dev/zero"), "",
       "memprep: sample.fos: cannot open: is a character device, not a regular file"},
      {"character device as control file", R, [](Work&) {}, "/dev/zero",
       "memprep: /dev/zero: cannot open: is a character device, not a regular file or a pipe"},
      {"device as output", G, special("silicon.mem", "/dev/null"), "",
       "memprep: silicon.mem: cannot create: is a character device, not a regular file"},
      {"argument of 601 characters", G, [](Work&) {}, long_arg,
       "memprep: " + long_arg + ": the control file name is longer than 512 characters"},
      {"line end in the argument", G, [](Work&) {}, "no\nsuch.ctl",
       "memprep: 'no\\nsuch.ctl': cannot open: No such file or directory"},
      {"line end in the title of a binary source", R,
       [](Work& w) {
         std::string fos = w.files.at("sample.fos");
         fos[4 + 3] = '\n';
         w.put("sample.fos", fos);
       },
       "", "memprep: sample.fos: record 1: the title holds a line end (a newline at byte 4)"},
      {"NaN in a binary source", R,
       [&](Work& w) {
         std::string text = notation;
         text.replace(text.find("59.870 0.0"), 10, "59.870 nan");
         w.put("sample.fos", encode_records(text));
       },
       "", "memprep: sample.fos: record 8: the real in bytes 33-40 is NaN, not a number"},
      {"control file through a pipe", G, [](Work&) {}, "/dev/stdin", ""},
      {"control file '-': standard input", G, [](Work&) {}, "-", ""},
      {"tab after a file name", G,
       [](Work& w) { w.edit("silicon.ctl", "silicon.mem  ", "silicon.mem\t  \t"); }, "", ""},
      {"list file cut at the end of a reflection line", G, cut(lst, 42, 0), "",
       "memprep: silicon.lst:41: the file ends before the blank line that ends the reflection "
       "list: it was cut short"},
      {"list file cut inside a reflection line", G, cut(lst, 42, 40), "",
       "memprep: silicon.lst:42: the file ends in the middle of this line"},
      {"auxiliary file cut inside a line", F, cut(amp, 5, 20), "",
       "memprep: ceria.amp:5: the file ends in the middle of this line"},
      {"earlier MEM data set followed by NUL bytes", Z,
       [&](Work& w) { w.put(zmem, w.files.at(zmem) + std::string(1 << 20, '\0')); }, "",
       "memprep: ceria.zmemin:" +
           std::to_string(std::count(zmem_text.begin(), zmem_text.end(), '\n') + 1) +
           ": the file ends in the middle of this line"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Work w;
    w.copy_from(row.kind.from);
    row.spoil(w);
    const std::string ctl = row.ctl.empty() ? row.kind.ctl : row.ctl;
    if (!row.expected.empty()) {
      EXPECT_EQ(refused(w, ctl), row.expected);
      continue;
    }
    Result r = ctl == "/dev/stdin" || ctl == "-" ? run_piped(w.dir.path, row.kind.ctl, ctl)
                                                 : run_memprep(w.dir.path, {ctl});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(fs::exists(w.dir.path / "silicon.mem") && fs::exists(w.dir.path / "silicon.fos"));
    EXPECT_EQ(list_files(w.dir.path).size(), w.files.size() + 2);
  }
}

// SIGINT, SIGTERM or SIGHUP at any moment of a run of 99999 reflections (a full MEM data set)
// leaves the directory as it was, old outputs included, or, once the outputs are in place,
// with both new outputs.
TEST(BadInput, SignalsDuringARun) {
  TempDir dir;
  std::string lst = title("GENLES") + constants(1, "PXC", 1.5) + chi2() + scale_factors() +
                    cell(5.4, 5.4, 5.4, 90, 90, 90) + reflist(1);
  for (int i = 0; i < 99999; ++i)
    lst += refl(1 + i % 9, i % 7, i % 5, 8, 1021, 1.0 + 1e-5 * (i % 1000), 3500, 3490, 0);
  lst += "\n";
  const std::map<std::string, std::string> inputs = {
      {"big.lst", lst},
      {"big.ctl",
       "big.lst\nbig.mem\nlarge run\nF 227-2\n1.0e9\n64 64 64\n0\n100.0\n1.5\n1\n1\n"
       "0.5 0.8\n"},
      {"big.mem", "the MEM data set of an earlier run\n"},
      {"big.fos", "# Title\nthe companion file of an earlier run\n"}};
  auto lay_out = [&] {
    for (const auto& e : fs::directory_iterator(dir.path)) fs::remove(e.path());
    for (const auto& [name, content] : inputs) write_file(dir.path / name, content);
  };
  // The program started in the directory; signalled after `delay` unless it is negative.
  auto run = [&](std::chrono::microseconds delay, int sig) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (::chdir(dir.path.c_str()) == 0) ::execl(MEMPREP_BINARY, "memprep", "big.ctl", nullptr);
      ::_exit(127);
    }
    if (delay.count() >= 0) {
      std::this_thread::sleep_for(delay);
      ::kill(pid, sig);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  };
  lay_out();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(run(std::chrono::microseconds(-1), 0), 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  const std::string new_mem = read_file(dir.path / "big.mem");
  const std::string new_fos = read_file(dir.path / "big.fos");

  // Delays from 0 in fixed steps of a 28th of the run measured: up to 1.6 runs, and on
  // until a run has finished (a loaded machine runs slower than it did for the measure),
  // within a budget of 3 runs. The first, without delay, stops the program at its start.
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  const int steps = 45, budget = 85;
  int interrupted = 0, finished = 0;
  for (int step = 0; step < budget && (step < steps || finished == 0); ++step) {
    const int sig = signals[step % 3];
    const auto delay = whole * step / 28;
    SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay.count()) +
                 " us");
    lay_out();
    const int status = run(delay, sig);
    const bool by_signal = WIFSIGNALED(status) && WTERMSIG(status) == sig;
    ASSERT_TRUE(by_signal || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (std::vector<std::string>{"big.ctl", "big.fos", "big.lst", "big.mem"}));
    const std::string mem = read_file(dir.path / "big.mem"), fos = read_file(dir.path / "big.fos");
    const bool old_outputs = mem == inputs.at("big.mem") && fos == inputs.at("big.fos");
    EXPECT_TRUE(old_outputs || (mem == new_mem && fos == new_fos));
    (old_outputs ? interrupted : finished) += 1;
  }
  // The delays cover the run: some runs were stopped, some had finished.
  EXPECT_GT(interrupted, 0);
  EXPECT_GT(finished, 0);
}

// A reflection CIF spoilt by one edit: one line naming the file and, where the parser or
// the reader knows it, the line.
TEST(BadInput, ReflectionCifEdits) {
  struct Edit {
    const char* what;
    std::string from, to;
    std::string at, says;
  } edits[] = {
      {"a short loop row", " 1  1  0  402.10  5.20  20.180  -95.300", " 1  1  0  402.10  5.20",
       "sucrose.fcf:23: ", "Wrong number of values in the loop"},
      {"a tag given twice", "_cell_angle_gamma                 90",
       "_cell_angle_gamma 90\n_cell_length_a 7.7",
       "sucrose.fcf:20: ", "duplicate tag _cell_length_a"},
      {"a missing cell item", "_cell_length_b                    8.7216(11)\n", "",
       "sucrose.fcf: ", "_cell_length_b is missing"},
      {"an operator that does not parse", "-x,y+1/2,-z", "-x,y+1/2,-q",
       "sucrose.fcf:6: ", "'-x,y+1/2,-q' does not read"},
      {"symmetry pieces that disagree", "-x,y+1/2,-z", "-x,y,-z",
       "sucrose.fcf:6: ", "describe different space groups"},
      {"a structure CIF, not a reflection file", "_refln_index_h", "_atom_site_label",
       "sucrose.fcf: ", "not a reflection file"},
      {"a value that is not a number", "402.10", "4x2.10",
       "sucrose.fcf:33: ", "_refln_F_squared_meas '4x2.10' is not a number"},
      {"no calculated values", "  _refln_F_calc\n  _refln_phase_calc\n", "  _refln_x\n  _refln_y\n",
       "sucrose.fcf:23: ", "holds no calculated values"},
      {"a setting the MEM data set cannot give",
       "  1  x,y,z\n  2  -x,y+1/2,-z\n\n_space_group_IT_number            4\n"
       "_space_group_name_H-M_alt         'P 1 21 1'",
       "  1  x,y,z\n  2  -x,-y,z+1/2\n", "sucrose.fcf: ", "P 1 1 21"},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.what);
    Work w;
    w.copy_from(fs::path(MEMPREP_EXAMPLES_DIR) / "cif-list6");
    w.edit("sucrose.fcf", e.from, e.to);
    expect_names(refused(w, "sucrose.ctl"), e.at, e.says);
  }
  Work w;
  w.copy_from(fs::path(MEMPREP_EXAMPLES_DIR) / "cif-list6");
  w.edit("sucrose.ctl", "-                   # data block: the file's one", "other");
  expect_names(refused(w, "sucrose.ctl"), "sucrose.fcf: ", "holds no block data_other");
  w.edit("sucrose.ctl", "other", "-");
  w.edit("sucrose.fcf", "_exptl_crystal_F_000              364\n", "");
  expect_names(refused(w, "sucrose.ctl"), "sucrose.ctl:9: ", "no _exptl_crystal_F_000");

  Work other;  // a structure that is not the refinement's
  other.copy_from(fs::path(MEMPREP_EXAMPLES_DIR) / "cif-list4");
  other.edit("rocksalt.cif", "Cl1 Cl 0.5 0.5 0.5", "Cl1 Cl 0.25 0.25 0.25");
  expect_names(refused(other, "rocksalt.ctl"), "rocksalt.fcf: ", "above 0.05");
}

}  // namespace
}  // namespace memprep::test

namespace memprep::test {
namespace {

// Faults an adversarial round found in runs that converted: each row spoils a valid run.
// A row with `says` is refused with one line holding it (the directory left as it was); a
// row with `check` converts, and the check looks at what it wrote.
TEST(BadInput, FaultsOfAnAdversarialRound) {
  const Kind &G = kKinds[0], &F = kKinds[1], &R = kKinds[2], &Z = kKinds[3];
  auto edit = [](const std::string& name, std::string from, std::string to) {
    return [=](Work& w) { w.edit(name, from, to); };
  };
  // The auxiliary lines without h k l, and the line of 2 0 0 deleted.
  auto unindexed_amplitudes = [](Work& w) {
    std::istringstream in(w.files.at("ceria.amp"));
    std::string text, line;
    while (std::getline(in, line))
      if (!line.starts_with("   2   0   0"))
        text += (line.starts_with("   ") ? std::string(12, ' ') + line.substr(12) : line) + "\n";
    w.put("ceria.amp", text);
  };
  const Kind tof = {"lst-tof", fs::path(MEMPREP_EXAMPLES_DIR) / "lst-tof", "mno.ctl", "mno.lst"};
  // The source cut after line n, and `keep` characters of the next.
  auto cut = [](const std::string& name, int n, std::size_t keep) {
    return [=](Work& w) {
      const std::string& text = w.files.at(name);
      w.put(name, text.substr(0, end_of_line(text, n) + keep));
    };
  };
  auto warns = [](std::string warning) {
    return [=](const Work&, const Result& r) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
    };
  };
  // A second control file a.ctl beside the kind's own, its output line replaced.
  auto second_control_file = [](std::string output) {
    return [=](Work& w) {
      std::string ctl = w.files.at("sample.ctl");
      ctl.replace(ctl.find("sample.mem"), 10, output);
      w.put("a.ctl", ctl);
    };
  };
  // A call with several control files: one of them fails with `words` in its line, and the
  // file `kept` is as it was before the call.
  auto one_fails = [](std::string words, std::string kept) {
    return [=](const Work& w, const Result& r) {
      EXPECT_EQ(r.status, 1);
      EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
      EXPECT_EQ(read_file(w.dir.path / kept), w.files.at(kept));
    };
  };
  // The list file with its first reflection line repeated, for a run long enough to be
  // interrupted.
  auto long_list = [](Work& w) {
    std::string lst = w.files.at("silicon.lst");
    const std::size_t at = lst.find("        1  1  1");
    const std::string line = lst.substr(at, lst.find('\n', at) + 1 - at);
    std::string many;
    for (int i = 0; i < 60000; ++i) many += line;
    w.put("silicon.lst", lst.insert(at, many));
  };
  // The program run in the work directory, its file-size limit `fsize` bytes (0: none) and
  // signalled `sig` after `delay` (none when sig is 0); the wait status.
  auto run_limited = [](const Work& w, rlim_t fsize, int sig, std::chrono::microseconds delay) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      const struct rlimit no_core = {0, 0}, limit = {fsize, fsize};
      ::setrlimit(RLIMIT_CORE, &no_core);
      if (fsize > 0) ::setrlimit(RLIMIT_FSIZE, &limit);
      if (::chdir(w.dir.path.c_str()) == 0)
        ::execl(MEMPREP_BINARY, "memprep", "silicon.ctl", nullptr);
      ::_exit(127);
    }
    if (sig != 0) {
      std::this_thread::sleep_for(delay);
      ::kill(pid, sig);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  };
  auto no_temporary = [](const Work& w) {
    for (const auto& e : fs::directory_iterator(w.dir.path))
      EXPECT_FALSE(e.path().filename().string().starts_with(".memprep-")) << "temporary left";
  };
  // The program run with `args` alone (no control file appended): its status is `status`,
  // its output holds `words`, and the directory keeps its files.
  auto run_alone = [](std::vector<std::string> args, int status, std::string words) {
    return [=](const Work& w, const Result&) {
      for (const char* out : {"ceria.mem", "ceria.fos"}) fs::remove(w.dir.path / out);
      const Result r = run_memprep(w.dir.path, args);
      EXPECT_EQ(r.status, status) << r.out << r.err;
      EXPECT_NE((r.out + r.err).find(words), std::string::npos) << r.out << r.err;
      EXPECT_EQ(list_files(w.dir.path).size(), w.files.size());
    };
  };
  struct Row {
    const char* what;
    const Kind& kind;
    std::function<void(Work&)> spoil;
    std::vector<std::string> args;
    std::string says;
    std::function<void(const Work&, const Result&)> check = nullptr;
  };
  const Row rows[] = {
      {"a negative amplitude divisor",
       F,
       edit("ceria.ctl", "10.0    ", "-10.0   "),
       {"--sigma", "refinement"},
       "memprep: ceria.ctl:14: the amplitude divisor must be above 0, not -10: it would make "
       "every |Fo| negative"},
      {"a negative amplitude",
       F,
       edit("ceria.amp", "    156.1000", "   -156.1000"),
       {},
       "memprep: ceria.amp:5: columns 13-24: the amplitude -156.1000 is negative: the auxiliary "
       "file gives moduli, 0 or more"},
      {"a negative |Fo| in a binary source, left out for what it is",
       R,
       [](Work& w) {
         std::string text = w.files.at("sample.fos.notation");
         text.replace(text.find("59.870 0.0 59.870"), 17, "59.870 0.0 -59.870");
         w.put("sample.fos", encode_records(text));
       },
       {},
       "",
       warns("memprep: sample.fos: record 8: reflection 1 1 1: |Fo| negative\n")},
      {"an auxiliary block without h k l, one line short",
       F,
       unindexed_amplitudes,
       {},
       "memprep: ceria.amp:8: the block of phase 1 ends after 5 reflection lines, the table of "
       "ceria.out has 6, and lines without h k l (columns 1-12 blank) cannot be paired with its "
       "reflections: give h k l on every line, or one line per reflection"},
      {"a blank line inside an auxiliary block",
       F,
       edit("ceria.amp", "   4   0   0 ", "\n   4   0   0 "),
       {},
       "memprep: ceria.amp:9: a blank line inside the block of phase 1: its lines are paired "
       "with the reflections of the table in turn, one each"},
      {"a list file cut at a line end inside its reflection list",
       G,
       cut("silicon.lst", 41, 0),
       {},
       "memprep: silicon.lst:41: the file ends before the blank line that ends the reflection "
       "list: it was cut short"},
      {"a list file cut in the leading blanks of a reflection line",
       G,
       cut("silicon.lst", 41, 5),
       {},
       "memprep: silicon.lst:42: the file ends before the blank line that ends the reflection "
       "list: it was cut short"},
      {"an option value too long for its fixed form in the summary",
       F,
       [](Work&) {},
       {"--overlap-d", "1e40"},
       "",
       [](const Work&, const Result& r) {
         EXPECT_EQ(r.status, 0);
         EXPECT_NE(r.err.find(" overlap group (6 members) written; overlap groups of d-spacings "
                              "closer than 1e+40 A; "),
                   std::string::npos)
             << r.err;
       }},
      {"a file-size limit below the MEM data set",
       G,
       long_list,
       {},
       "",
       [&](const Work& w, const Result&) {
         fs::remove(w.dir.path / "silicon.mem");
         fs::remove(w.dir.path / "silicon.fos");
         const int status = run_limited(w, 100000, 0, {});
         EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
         no_temporary(w);
         EXPECT_FALSE(fs::exists(w.dir.path / "silicon.mem"));
       }},
      {"SIGQUIT during a run",
       G,
       long_list,
       {},
       "",
       [&](const Work& w, const Result& whole) {
         ASSERT_EQ(whole.status, 0);
         const auto start = std::chrono::steady_clock::now();
         ASSERT_EQ(run_limited(w, 0, 0, {}), 0);
         const auto run = std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now() - start);
         // Delays over the whole run, in steps of a 24th.
         int stopped = 0;
         for (int step = 0; step < 30; ++step) {
           fs::remove(w.dir.path / "silicon.mem");
           fs::remove(w.dir.path / "silicon.fos");
           const int status = run_limited(w, 0, SIGQUIT, run * step / 24);
           if (WIFSIGNALED(status) && WTERMSIG(status) == SIGQUIT) ++stopped;
           no_temporary(w);
         }
         EXPECT_GT(stopped, 0);
       }},
      {"an overlap threshold beyond the largest number",
       F,
       edit("ceria.out", "    8   0.0821      28.547", "    8   2.0000      28.547"),
       {"--overlap-fwhm", "1e308"},
       "memprep: ceria.out:41: --overlap-fwhm 1e+308 times the FWHM 2 of reflection 1 1 1 is "
       "beyond the largest number: give a smaller factor"},
      {"a negative sigma and a negative SUM in an earlier MEM data set",
       Z,
       [](Work& w) {
         w.edit("ceria.zmemin", "0.000          0.251", "0.000         -0.251");
         w.edit("ceria.zmemin", "}   12160.25      1.00", "}   12160.25     -5.00");
       },
       {},
       "",
       [&](const Work& w, const Result& r) {
         warns("memprep: ceria.zmemin:15: reflection 2 0 0: Io zero or negative\n")(w, r);
         warns(
             "memprep: ceria.zmemin:26: overlap group of 2 reflections from 3 3 3: SUM zero or "
             "negative\n")(w, r);
       }},
      {"a decimal comma in an earlier MEM data set",
       Z,
       edit("ceria.zmemin", "19.360          0.000          0.182",
            "19,360          0.000          0.182"),
       {},
       "memprep: ceria.zmemin:14: columns 25-30: '19,360' is not a number: a decimal comma? "
       "write the decimal point as '.'"},
      {"cell angles that describe no cell",
       G,
       edit("silicon.lst", "    90.000    90.000    90.000", "    10.000    10.000   170.000"),
       {},
       "memprep: silicon.lst:33: the cell angles alpha beta gamma = 10 10 170 describe no cell "
       "(its volume squared would not be above 0): each angle must be less than the sum of the "
       "other two, and the three less than 360 degrees together"},
      {"an escape byte in the title of a binary source",
       R,
       [](Work& w) {
         std::string fos = w.files.at("sample.fos");
         fos[4 + 2] = '\x1b';
         w.put("sample.fos", fos);
       },
       {},
       "memprep: sample.fos: record 1: the title holds a control byte (0x1b at byte 3)"},
      {"a control byte in the title of a control file",
       G,
       edit("silicon.ctl", "Silicon at room",
            "Silicon\x01"
            "at room"),
       {},
       "memprep: silicon.ctl:5: the title holds a control byte (0x01 at byte 8)"},
      {"a binary title that reads as a marker of the MEM data set",
       R,
       [](Work& w) {
         std::string fos = w.files.at("sample.fos");
         fos.replace(4, 8, "# NREF1 ");
         w.put("sample.fos", fos);
       },
       {},
       "memprep: sample.fos: record 1: the title \"# NREF1 hrotron X-ray powder data, 300 K\" "
       "would read as a marker line of the MEM data set (\"#\", then \"NREF1\")"},
      {"a MEM data set named without an extension",
       G,
       edit("silicon.ctl", "silicon.mem  ", "silicon      "),
       {},
       "",
       [](const Work& w, const Result& r) {
         EXPECT_EQ(r.status, 0) << r.err;
         EXPECT_TRUE(fs::exists(w.dir.path / "silicon.fos"));
         EXPECT_EQ(list_files(w.dir.path).size(), w.files.size() + 2);
       }},
      {"a replaced MEM data set of mode 600",
       R,
       [](Work& w) {
         w.put("sample.mem", "an earlier MEM data set\n");
         fs::permissions(w.dir.path / "sample.mem", fs::perms::owner_read | fs::perms::owner_write);
       },
       {},
       "",
       [](const Work& w, const Result& r) {
         EXPECT_EQ(r.status, 0) << r.err;
         EXPECT_EQ(fs::status(w.dir.path / "sample.mem").permissions(),
                   fs::perms::owner_read | fs::perms::owner_write);
       }},
      {"a binary source announcing more reflections than the store holds",
       R,
       [](Work& w) {
         std::string fos = w.files.at("sample.fos");
         const std::size_t count = (70 + 48 + 24 + 17 + 16 + 16) + 6 * 8 + 4;  // record 7
         ASSERT_EQ(fos[count], '\x08');
         fos.replace(count, 3, "\xa1\x86\x01");  // 100001
         w.put("sample.fos", fos);
       },
       {},
       "",
       [](const Work&, const Result& r) {
         EXPECT_EQ(r.status, 1);
         EXPECT_EQ(r.out, " The number of reflections is greater than100000\n");
         EXPECT_EQ(r.err,
                   "memprep: sample.fos: record 7: the file gives 100001 reflections, more than "
                   "the store's 100000\n");
       }},
      {"an empty --template before a control file",
       F,
       [](Work&) {},
       {},
       "",
       run_alone({"--template", "", "ceria.ctl"}, 2,
                 "memprep: --template needs the name of a source, not an empty one\n")},
      {"a --template source whose name ends with a blank",
       F,
       [](Work&) {},
       {},
       "",
       run_alone({"--template", "ceria.out "}, 1,
                 "memprep: 'ceria.out ': a control file cannot name a file whose name begins "
                 "with a blank or ends with a blank or tab\n")},
      {"a --template source whose name holds a line end",
       F,
       [](Work&) {},
       {},
       "",
       run_alone({"--template", "x\nceria.out"}, 1,
                 "a control file cannot name a file whose name holds a line end or a NUL byte")},
      {"a --template source whose title reads as a placeholder",
       F,
       edit("ceria.out", "CeO2 at room temperature, Cu K-alpha1 X-ray data", "<sample A>"),
       {},
       "",
       run_alone({"--template", "ceria.out"}, 0,
                 "\n[sample A]              # title, from \" => Title:\" (\"<\" and \">\" "
                 "around it written as \"[\" and \"]\")\n")},
      {"a control file of the call named as the MEM data set",
       R,
       second_control_file("sample.ctl"),
       {"a.ctl"},
       "",
       one_fails("a.ctl:3: the MEM data set 'sample.ctl' would overwrite sample.ctl, a control "
                 "file of this call",
                 "sample.ctl")},
      {"two control files of the call naming one MEM data set",
       R,
       [&](Work& w) {
         second_control_file("sample.mem")(w);
         w.edit("a.ctl", "1.0    ", "2.0    ");
         w.put("sample.mem", "an earlier MEM data set\n");
       },
       {"a.ctl"},
       "",
       [](const Work& w, const Result& r) {
         EXPECT_EQ(r.status, 1);
         EXPECT_NE(r.err.find("sample.ctl:3: the MEM data set 'sample.mem' would replace the MEM "
                              "data set that a.ctl wrote earlier in this call"),
                   std::string::npos)
             << r.err;
         EXPECT_NE(read_file(w.dir.path / "sample.mem").find("# E =  2.00000"), std::string::npos);
       }},
      {"a time-of-flight list file cut at a line end inside its profile dump",
       tof,
       cut("mno.lst", 66, 0),
       {},
       "",
       warns("mno.lst:66: warning: the profile dump of the histogram stops at a time of flight "
             "of 14 ms, before reflection 2 0 0 at 16.0038 ms: 2 reflections keep their unscaled "
             "intensity; is the file complete?\n")},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Work w;
    w.copy_from(row.kind.from);
    row.spoil(w);
    if (!row.check) {
      EXPECT_EQ(refused(w, row.kind.ctl, row.args), row.says);
      continue;
    }
    std::vector<std::string> args = row.args;
    args.push_back(row.kind.ctl);
    row.check(w, run_memprep(w.dir.path, args));
  }
}

}  // namespace
}  // namespace memprep::test
