// The program as a whole: command line, choice of the source kind, refusal of outputs that
// would overwrite the run's own files, outputs that appear only after a successful run,
// and the capacity of the store.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>

#include "driver/run.hpp"
#include "io/output_file.hpp"
#include "support.hpp"

namespace memprep::test {
namespace {

const char* const kSource = R"(
"Example compound, 300 K"/70
5.43090 5.43090 5.43090 90.0 90.0 90.0
64 64 64
227 1 "F"
0.0 0.0
112.0 0.0
3
1 1 1 -59.123 0.0 59.123 2.345678e11
2 2 0 67.5 0.0 67.5 1.03e12
3 1 1 -44.25 0.0 44.25 4.8e11
)";

const char* const kControl = "sample.fos\nsample.mem\n1.0\n1\n1.540560\n";

std::set<std::string> files_in(const fs::path& dir) {
  std::vector<std::string> names = list_files(dir);
  return {names.begin(), names.end()};
}

TEST(Driver, CommandLineOptions) {
  const std::string usage = "usage: memprep [OPTION]... CONTROL_FILE...\n";
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string err;  // the whole of standard error, or its start when it ends in "..."
  } rows[] = {
      {{}, 2, "memprep: no control file\n" + usage},
      {{"--verbose", "x.ctl"}, 2, "memprep: unknown option '--verbose'\n" + usage},
      {{"-x", "x.ctl"}, 2, "memprep: unknown option '-x'\n" + usage},
      {{"x.ctl", "--overlap-d"}, 2, "memprep: --overlap-d needs a value (DELTA)\n" + usage},
      {{"--overlap-fwhm=0", "x.ctl"},
       2,
       "memprep: --overlap-fwhm takes a positive number, not '0'\n" + usage},
      {{"--overlap-d", "-1", "x.ctl"},
       2,
       "memprep: --overlap-d takes a positive number, not '-1'\n" + usage},
      {{"--sigma", "maybe", "x.ctl"},
       2,
       "memprep: --sigma takes counting or refinement, not 'maybe'\n" + usage},
      {{"--quiet=yes", "x.ctl"}, 2, "memprep: --quiet takes no value\n" + usage},
      {{"--template", "a.out", "x.ctl"},
       2,
       "memprep: --template writes a control file; it takes no control file to convert\n" + usage},
      {{"--template", "a.fos"},
       1,
       "memprep: a.fos: a binary structure-factor file needs no template: its control file is "
       "five lines (the file's name, the MEM data set's name, E, IAMP, lambda1) and the file "
       "gives everything else\n"},
      {{"--template", "a.zmemin"},
       1,
       "memprep: a.zmemin: an earlier MEM data set needs no template..."},
      {{"-q", "none.ctl"}, 1, "memprep: none.ctl: cannot open: No such file or directory\n"},
      {{"--", "--help"}, 1, "memprep: --help: cannot open..."},
      {{"--list", "v", "--plot=v", "x.ctl"},
       2,
       "memprep: --list and --plot name the same file 'v'\n" + usage},
      {{"--template", "a.out", "--plot", "v.svg"},
       2,
       "memprep: --list and --plot show conversions; --template converts nothing\n" + usage},
      {{"--list", "no/such/dir/v.tsv", "x.ctl"}, 1, "memprep: no/such/dir/v.tsv: cannot create..."},
      {{"-C", "."},
       1,
       "memprep: .: cannot open: is a directory; -C takes no directory of its own..."},
      {{"--help"}, 0, ""},
      {{"--version"}, 0, ""},
  };
  for (const Row& r : rows) {
    TempDir dir;
    Result got = run_memprep(dir.path, r.args);
    std::string shown;
    for (const std::string& a : r.args) shown += a + " ";
    EXPECT_EQ(got.status, r.status) << shown;
    if (r.err.ends_with("..."))
      EXPECT_TRUE(got.err.starts_with(r.err.substr(0, r.err.size() - 3))) << shown << got.err;
    else
      EXPECT_EQ(got.err, r.err) << shown;
    EXPECT_TRUE(files_in(dir.path).empty()) << shown;
  }
  // Every malformed value of a numeric option is a usage error.
  for (const char* option : {"--overlap-d", "--overlap-fwhm"})
    for (const char* value : {"0.5x", "inf", "nan", "1e309", "", "-", "0x1p-3", " 1"}) {
      TempDir dir;
      Result got = run_memprep(dir.path, {option, value, "x.ctl"});
      EXPECT_EQ(got.status, 2) << option << " '" << value << "'";
      EXPECT_EQ(got.err, std::string("memprep: ") + option + " takes a positive number, not '" +
                             value + "'\n" + usage);
    }
  Result help = run_memprep(fs::temp_directory_path(), {"--help"});
  EXPECT_TRUE(help.out.starts_with(usage));
  EXPECT_TRUE(run_memprep(fs::temp_directory_path(), {"--version"}).out.starts_with("memprep "));
}

TEST(Driver, SourceKindFollowsTheFileName) {
  // With only the source and output names in the control file, each kind stops where it
  // next needs something: a list file at its title, a FullProf output at the output name (the
  // second line was its auxiliary file), a binary file at E, an earlier MEM data set at its missing
  // source.
  const std::string title =
      "memprep: run.ctl: end of file: the control file ends before the title\n";
  const std::string output =
      "memprep: run.ctl: end of file: the control file ends before the MEM "
      "data-set file name\n";
  const std::string e = "memprep: run.ctl: end of file: the control file ends before E\n";
  const std::string extension = " The extension of a standard output file should be lst or out\n";
  // The console line names no file: standard error says where and what to change.
  auto unknown = [](const std::string& name) {
    return "memprep: run.ctl:1: the source file's name '" + name +
           "' holds none of the extensions that give its kind: .lst (list file), .out (FullProf "
           "output), .fos (binary structure-factor file), .zmemin (earlier MEM data set), .fcf or "
           ".cif (reflection CIF), in lower or upper case\n";
  };
  struct Row {
    std::string source, err, out;
  } rows[] = {
      {"sample.lst", title, ""},
      {"SAMPLE.LST", title, ""},
      {"run.lst.old", title, ""},
      {"sample.Lst", unknown("sample.Lst"), extension},
      {"sample.out", output, ""},
      {"a.out.fos", output, ""},  // ".out" is tested before ".fos"
      {"sample.fos", e, ""},
      {"DATA.FOS", e, ""},
      {"results.out/sample.fos", e, ""},  // the folder's name does not count
      {"run.lst.d/x.fos", e, ""},
      {"results.out/sample", unknown("sample"), extension},
      {"sample.mem", unknown("sample.mem"), extension},
      {"old.zmemin", "memprep: old.zmemin: cannot open: No such file or directory\n", ""},
      {"run.FCF", output, ""},  // the structure file's line takes out.mem
  };
  for (const Row& r : rows) {
    TempDir dir;
    write_file(dir.path / "run.ctl", r.source + "\nout.mem\n");
    Result got = run_memprep(dir.path, {"run.ctl"});
    EXPECT_EQ(got.status, 1) << r.source;
    EXPECT_EQ(got.err, r.err) << r.source;
    EXPECT_EQ(got.out, r.out) << r.source;
    EXPECT_EQ(files_in(dir.path), std::set<std::string>{"run.ctl"}) << r.source;
  }
}

TEST(Driver, OutputThatWouldOverwriteAnInputIsRefused) {
  struct Row {
    std::string ctl_name, control, err;
  } rows[] = {
      {"run.ctl", "sample.fos\nrun.ctl\n1.0\n1\n1.5\n",
       "memprep: run.ctl:2: the MEM data set 'run.ctl' would overwrite the control file\n"},
      {"run.ctl", "sample.fos\n./sample.fos\n1.0\n1\n1.5\n",
       "memprep: run.ctl:2: the MEM data set './sample.fos' would overwrite the source file\n"},
      {"run.ctl", "sample.fos\n\n# output\nsub/../sample.fos\n1.0\n1\n1.5\n",
       "memprep: run.ctl:4: the MEM data set 'sub/../sample.fos' would overwrite the source "
       "file\n"},
      {"run.ctl", "sample.out\naux.txt\naux.txt\n",
       "memprep: run.ctl:3: the MEM data set 'aux.txt' would overwrite the auxiliary file\n"},
      // The companion file of kinds G and F is the output name with ".fos" for its last
      // four characters.
      {"run.fos", "sample.lst\nrun.mem\n",
       "memprep: run.fos:2: the companion file 'run.fos' would overwrite the control file\n"},
      {"run.ctl", "sample.lst\nout.fos\n",
       "memprep: run.ctl:2: the companion file 'out.fos' would overwrite the MEM data set of the "
       "same name\n"},
  };
  for (const Row& r : rows) {
    TempDir dir;
    fs::create_directory(dir.path / "sub");
    write_file(dir.path / r.ctl_name, r.control);
    write_file(dir.path / "sample.fos", encode_records(kSource));
    write_file(dir.path / "aux.txt", "aux\n");
    std::set<std::string> before = files_in(dir.path);
    Result got = run_memprep(dir.path, {r.ctl_name});
    EXPECT_EQ(got.status, 1) << r.control;
    EXPECT_EQ(got.err, r.err) << r.control;
    EXPECT_EQ(got.out, "") << r.control;
    EXPECT_EQ(files_in(dir.path), before) << r.control;
    EXPECT_EQ(read_file(dir.path / r.ctl_name), r.control);
    EXPECT_EQ(read_file(dir.path / "sample.fos"), encode_records(kSource));
    EXPECT_EQ(read_file(dir.path / "aux.txt"), "aux\n");
  }
}

TEST(Driver, ExistingOutputIsReplacedOnlyBySuccessfulRun) {
  TempDir dir;
  const std::string old = std::string(20000, 'o') + "\n";
  write_file(dir.path / "run.ctl", kControl);
  write_file(dir.path / "sample.mem", old);

  // A source that ends inside its last reflection record: the old file stays as it was
  // and no temporary file is left behind.
  std::string whole = encode_records(kSource);
  write_file(dir.path / "sample.fos", whole.substr(0, whole.size() - 10));
  Result failed = run_memprep(dir.path, {"run.ctl"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("sample.fos: record 10: "), std::string::npos) << failed.err;
  EXPECT_EQ(read_file(dir.path / "sample.mem"), old);
  EXPECT_EQ(files_in(dir.path), (std::set<std::string>{"run.ctl", "sample.fos", "sample.mem"}));

  // A successful run replaces it from its start: nothing of the longer old content remains.
  write_file(dir.path / "sample.fos", whole);
  Result ok = run_memprep(dir.path, {"--quiet", "run.ctl"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out + ok.err, "");
  std::string mem = read_file(dir.path / "sample.mem");
  EXPECT_EQ(mem.rfind("# Title\nExample compound, 300 K\n", 0), 0u);
  EXPECT_EQ(mem.find('o' + std::string("oooo")), std::string::npos);
  EXPECT_EQ(files_in(dir.path), (std::set<std::string>{"run.ctl", "sample.fos", "sample.mem"}));
}

TEST(Driver, CarriageReturnsOfTheControlFileAreNotPartOfItsLines) {
  TempDir unix_ends, dos_ends;
  for (const fs::path& p : {unix_ends.path, dos_ends.path})
    write_file(p / "sample.fos", encode_records(kSource));
  write_file(unix_ends.path / "run.ctl", kControl);
  write_file(dos_ends.path / "run.ctl",
             "# made on another system\r\nsample.fos\r\nsample.mem  # out\r\n\r\n1.0\r\n1\r\n"
             "1.540560\r\n");
  ASSERT_EQ(run_memprep(unix_ends.path, {"run.ctl"}).status, 0);
  Result dos = run_memprep(dos_ends.path, {"run.ctl"});
  ASSERT_EQ(dos.status, 0) << dos.err;
  EXPECT_EQ(read_file(dos_ends.path / "sample.mem"), read_file(unix_ends.path / "sample.mem"));
}

// A binary source of n reflections with the given count in its count record.
std::string source_of(std::int64_t n, std::int64_t count) {
  std::string notation = R"("Full store"/70
5.0 5.0 5.0 90.0 90.0 90.0
64 64 64
225 1 "F"
0.0 0.0
100.0 0.0
)" + std::to_string(count) +
                         "\n";
  std::string file = encode_records(notation);
  std::string one = encode_records("1 1 1 10.0 0.0 10.0 1.0e11\n");
  file.reserve(file.size() + one.size() * static_cast<std::size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) file += one;
  return file;
}

TEST(Driver, StoreCapacity) {
  TempDir dir;
  write_file(dir.path / "run.ctl", kControl);

  // The most a MEM data set holds: its count is an I5 field.
  write_file(dir.path / "sample.fos", source_of(99999, 99999));
  Result most = run_memprep(dir.path, {"run.ctl"});
  ASSERT_EQ(most.status, 0) << most.err;
  std::string mem = read_file(dir.path / "sample.mem");
  EXPECT_NE(mem.find("# NREF1\n99999\n"), std::string::npos);
  const std::string line =
      "    1    1    1         10.000          0.000          1.581         10.000   10.00    \n";
  EXPECT_EQ(mem.size(), mem.find(line) + 99999 * line.size());

  // A full store is read, but its count does not fit the MEM data set.
  fs::remove(dir.path / "sample.mem");
  write_file(dir.path / "sample.fos", source_of(100000, 100000));
  Result full = run_memprep(dir.path, {"run.ctl"});
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.err.find("holds at most 99999 reflections"), std::string::npos) << full.err;
  EXPECT_FALSE(fs::exists(dir.path / "sample.mem"));
  // One more is refused before any reflection is read: the golden case fos-error-capacity.
}

TEST(Example, BinarySourceIsItsNotationEncoded) {
  const fs::path dir = fs::path(MEMPREP_EXAMPLES_DIR) / "fos";
  EXPECT_EQ(read_file(dir / "sample.fos"), encode_records(read_file(dir / "sample.fos.notation")));
}

// Each control file is converted as if alone; a failure is reported with its control file
// and does not stop the next one.
TEST(Driver, SeveralControlFilesAreConvertedInTurn) {
  TempDir dir;
  write_file(dir.path / "sample.fos", source_of(3, 3));
  write_file(dir.path / "a.ctl", kControl);
  write_file(dir.path / "b.ctl", "missing.fos\nb.mem\n1.0\n1\n1.5\n");
  write_file(dir.path / "c.ctl", "sample.fos\nc.mem\n2.0\n0\n1.5\n");
  Result r = run_memprep(dir.path, {"a.ctl", "b.ctl", "c.ctl"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(files_in(dir.path), (std::set<std::string>{"a.ctl", "b.ctl", "c.ctl", "sample.fos",
                                                       "sample.mem", "c.mem"}));
  const std::string summary_a =
      "memprep: a.ctl: sample.fos (binary structure-factor file)\n"
      "memprep: a.ctl: 3 reflections written; sigma(|Fo|) = |Fo| / (2 sqrt(E Io)), E = 1; "
      "wrote sample.mem\n";
  EXPECT_EQ(r.err, summary_a +
                       "memprep: b.ctl: missing.fos: cannot open: No such file or directory\n"
                       "memprep: c.ctl: sample.fos (binary structure-factor file)\n"
                       "memprep: c.ctl: 3 reflections written; sigma(|Fo|) = |Fo| / (2 sqrt(E "
                       "Io)), E = 2; wrote c.mem\n"
                       "memprep: 1 of 3 control files failed\n");

  // Names are relative to the working directory; the message says when the file stands
  // beside the control file instead.
  fs::create_directory(dir.path / "sub");
  fs::rename(dir.path / "sample.fos", dir.path / "sub" / "sample.fos");
  fs::rename(dir.path / "a.ctl", dir.path / "sub" / "a.ctl");
  Result beside = run_memprep(dir.path, {"sub/a.ctl"});
  EXPECT_EQ(beside.err,
            "memprep: sample.fos: cannot open: No such file or directory; names are relative to "
            "the working directory, and sub/sample.fos exists: -C takes them relative to the "
            "control file's directory\n");
}

// A termination signal that arrives just after the MEM data set is renamed into place waits
// until the companion file is in place too: both outputs are replaced, or neither.
TEST(Driver, SignalBetweenTheTwoRenamesWaitsForTheSecond) {
  const fs::path example = fs::path(MEMPREP_EXAMPLES_DIR) / "out-xray";
  TempDir dir;
  for (const char* name : {"ceria.ctl", "ceria.out", "ceria.amp"})
    fs::copy_file(example / name, dir.path / name);
  write_file(dir.path / "ceria.mem", "an earlier MEM data set\n");
  write_file(dir.path / "ceria.fos", "# Title\nan earlier companion file\n");
  const pid_t pid = ::fork();
  if (pid == 0) {
    after_rename = [](const OutputFile&) { ::kill(::getpid(), SIGTERM); };
    remove_temporary_files_on_termination();
    std::ostringstream console, warnings;
    memprep::Run run(console, warnings);
    run.CTLFILE = "ceria.ctl";
    if (::chdir(dir.path.c_str()) == 0) {
      try {
        run_converter(run);
      } catch (...) {
        ::_exit(3);
      }
    }
    ::_exit(2);  // not reached: the signal ends the process once both renames are made
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(read_file(dir.path / "ceria.mem"), read_file(example / "expected" / "ceria.mem"));
  EXPECT_EQ(read_file(dir.path / "ceria.fos"), read_file(example / "expected" / "ceria.fos"));
  EXPECT_EQ(files_in(dir.path), (std::set<std::string>{"ceria.amp", "ceria.ctl", "ceria.fos",
                                                       "ceria.mem", "ceria.out"}));
}

// More control files in one call than the run holds temporary files at once, successes
// and failures (refused by the writer, after its temporary file was made) in turn: each
// success writes its MEM data set and companion file with the mode a plain create gives,
// each failure leaves nothing.
TEST(Driver, MoreControlFilesThanTemporarySlots) {
  const fs::path example = fs::path(MEMPREP_EXAMPLES_DIR) / "out-xray";
  const std::string control = read_file(example / "ceria.ctl");
  for (const mode_t mask : {022, 077}) {
    TempDir dir;
    fs::copy_file(example / "ceria.out", dir.path / "ceria.out");
    fs::copy_file(example / "ceria.amp", dir.path / "ceria.amp");
    std::vector<std::string> args = {"-q"};
    std::set<std::string> expected = {"ceria.amp", "ceria.out"};
    for (int n = 1; n <= 16; ++n) {
      const std::string name = "c" + std::to_string(n);
      std::string text = control;
      text.replace(text.find("ceria.mem "), 10, name + ".mem ");
      if (n % 2 == 0) text.replace(text.find("\n1.0 "), 5, "\n1e12");  // sigma written as 0.000
      write_file(dir.path / (name + ".ctl"), text);
      args.push_back(name + ".ctl");
      expected.insert(name + ".ctl");
      if (n % 2 == 1) expected.insert({name + ".mem", name + ".fos"});
    }
    const mode_t old = ::umask(mask);
    Result r = run_memprep(dir.path, args);
    ::umask(old);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("memprep: 8 of 16 control files failed\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("too many output files"), std::string::npos) << r.err;
    EXPECT_EQ(files_in(dir.path), expected);
    for (const char* out : {"c15.mem", "c15.fos"}) {
      EXPECT_EQ(read_file(dir.path / out),
                read_file(example / "expected" / (std::string("ceria") + (out + 3))));
      EXPECT_EQ(fs::status(dir.path / out).permissions(), static_cast<fs::perms>(0666 & ~mask))
          << out;
    }
  }
}

// Two shipped examples converted together with -C: the listing names each control file, the
// warnings lead with it, and the plot, with its model panel, is an SVG image that a real
// renderer (rsvg-convert, Debian's librsvg2-bin) draws. A listing that would replace an input
// fails that conversion and is not written.
TEST(Driver, ListingAndPlotOfSeveralConversions) {
  TempDir dir;
  for (const char* example : {"out-groups", "out-model"})
    fs::copy(fs::path(MEMPREP_EXAMPLES_DIR) / example, dir.path / example,
             fs::copy_options::recursive);
  Result r = run_memprep(dir.path, {"-q", "-C", "--list", "-", "--plot", "view.svg",
                                    "out-groups/tetra.ctl", "out-model/model.ctl"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(
      r.err.starts_with("memprep: out-groups/tetra.ctl (pattern 1, phase 1): "
                        "out-groups/tetra.out: warning: 1 of 12 reflections left out"))
      << r.err;
  EXPECT_NE(r.err.find("\nmemprep: out-groups/tetra.ctl (pattern 1, phase 1): "
                       "out-groups/tetra.out:38: reflection 0 0 2: |Fo| zero\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("\nout-groups/tetra.ctl\tout-groups/tetra.out\t0\t0\t2\t"),
            std::string::npos);
  EXPECT_NE(r.out.find("\tcounting\tleft out\t|Fo| zero\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nout-model/model.ctl\tout-model/kmnf3.out\t"), std::string::npos);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 12 + 22);
  // The user guide shows this plot.
  const std::string svg = read_file(dir.path / "view.svg");
  EXPECT_EQ(
      first_difference(read_file(fs::path(MEMPREP_EXAMPLES_DIR) / ".." / "docs" / "plot.svg"), svg),
      "")
      << "docs/plot.svg is not the plot of this run";

  if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0) {
    if (std::getenv("CI")) FAIL() << "rsvg-convert (librsvg2-bin) is not installed";
    GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is not installed: the plot is not rendered";
  }
  const std::string render = "cd '" + dir.path.string() +
                             "' && rsvg-convert --format=png view.svg -o view.png 2>render.err";
  EXPECT_EQ(std::system(render.c_str()), 0) << read_file(dir.path / "render.err");
  EXPECT_TRUE(read_file(dir.path / "view.png").starts_with("\x89PNG"));

  // The second conversion refuses a listing over its source and fails; the first succeeds,
  // and the listing is still not written over that source.
  const std::string source = read_file(dir.path / "out-model" / "kmnf3.out");
  Result refused = run_memprep(dir.path, {"-q", "-C", "--list", "out-model/kmnf3.out",
                                          "out-groups/tetra.ctl", "out-model/model.ctl"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(
      refused.err.find(": the listing 'out-model/kmnf3.out' would overwrite the source file\n"),
      std::string::npos)
      << refused.err;
  EXPECT_NE(refused.err.find("memprep: the listing 'out-model/kmnf3.out' would overwrite "
                             "out-model/kmnf3.out, the source file of out-model/model.ctl: it is "
                             "not written\n"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(read_file(dir.path / "out-model" / "kmnf3.out"), source);
}

}  // namespace
}  // namespace memprep::test
