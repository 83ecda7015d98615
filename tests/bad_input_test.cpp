// Bad input given on purpose, to the built program: every case is refused with one clear
// line naming the file, exit status 1, and the work directory left exactly as it was (no
// output file, no temporary file, the inputs unchanged).
#include <gtest/gtest.h>

#include <map>
#include <random>

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
    {"G", fs::path(MEMPREP_EXAMPLES_DIR) / "lst-xray", "silicon.ctl", "silicon.lst"},
    {"F", fs::path(MEMPREP_EXAMPLES_DIR) / "out-xray", "ceria.ctl", "ceria.out"},
    {"R", fs::path(MEMPREP_EXAMPLES_DIR) / "fos", "sample.ctl", "sample.fos"},
    {"Z", fs::path(MEMPREP_EXAMPLES_DIR) / "zmemin-groups", "ceria.ctl", "ceria.zmemin"},
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
    expect_names(refused(w, "sample.ctl"), "sample.fosxxx", "cannot open");
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
    const char* says;  // a part of the message
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
