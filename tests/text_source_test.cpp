// Text sources: records, line ends, cutting to a buffer width, rewinding, and the file name
// and line number that failures carry. Every record test runs twice: on a file on disk and
// on the same text held in memory.
#include "io/text_source.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "io/errors.hpp"
#include "io/fields.hpp"

namespace memprep {
namespace {

namespace fs = std::filesystem;

class TextSourceTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "memprep_text_source_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  bool on_disk() const { return GetParam(); }

  // Opens `text` as the source "sample.out", from a file or from memory.
  void open(const std::string& text) {
    if (on_disk()) {
      fs::path p = dir_ / "sample.out";
      std::ofstream(p, std::ios::binary) << text;
      src.open(p.string());
    } else {
      src.open_text("sample.out", text);
    }
  }

  // All records, read with the given width.
  std::vector<std::string> records(std::size_t width = 512) {
    std::vector<std::string> r;
    while (src.next(width)) r.emplace_back(src.rec());
    return r;
  }

  TextSource src;
  fs::path dir_;
};

using Recs = std::vector<std::string>;

TEST_P(TextSourceTest, LinesAreRecordsWithoutTheirLineEnds) {
  open("first\nsecond\n\nfourth\n");
  EXPECT_EQ(records(), (Recs{"first", "second", "", "fourth"}));
  EXPECT_EQ(src.line(), 4);
  EXPECT_FALSE(src.next());
  EXPECT_EQ(src.rec(), "");
}

TEST_P(TextSourceTest, CarriageReturnBeforeTheLineEndIsDropped) {
  open("a\r\nb c\r\n\r\nlast\r");
  EXPECT_EQ(records(), (Recs{"a", "b c", "", "last"}));
}

TEST_P(TextSourceTest, OnlyOneCarriageReturnIsDroppedAndInnerOnesStay) {
  open("a\rb\r\r\n");
  EXPECT_EQ(records(), (Recs{"a\rb\r"}));
}

TEST_P(TextSourceTest, ALastLineWithoutNewlineIsARecord) {
  open("one\ntwo");
  EXPECT_EQ(records(), (Recs{"one", "two"}));
  EXPECT_EQ(src.line(), 2);
}

TEST_P(TextSourceTest, AnEmptyFileHasNoRecords) {
  open("");
  EXPECT_FALSE(src.next());
  EXPECT_EQ(src.line(), 0);
  try {
    src.need("reading the title");
    FAIL() << "no failure";
  } catch (const IoFailure& f) {
    EXPECT_EQ(f.file, src.name());
    EXPECT_EQ(f.condition, "end of file while reading the title");
    EXPECT_EQ(std::string(f.what()), src.name() + ": end of file while reading the title");
  }
}

TEST_P(TextSourceTest, ASingleNewlineIsOneEmptyRecord) {
  open("\n");
  EXPECT_EQ(records(), (Recs{""}));
}

TEST_P(TextSourceTest, ANulByteStaysInTheRecord) {
  open(std::string("a\0b\nc\n", 6));
  Recs r = records();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[0], std::string("a\0b", 3));
  EXPECT_EQ(r[1], "c");
}

TEST_P(TextSourceTest, AVeryLongLineIsHeldToTheLongestRecordAndTheRestPassedOver) {
  std::string longline(100000, 'x');
  longline[4095] = 'y';
  open(longline + "\nnext\nlast");
  ASSERT_TRUE(src.next(200000));
  EXPECT_EQ(src.rec().size(), TextSource::kLongestRecord);
  EXPECT_EQ(src.rec().back(), 'y');
  EXPECT_TRUE(src.overlong());
  ASSERT_TRUE(src.next());
  EXPECT_EQ(src.rec(), "next");
  EXPECT_FALSE(src.overlong());
  src.require_line_end();
  ASSERT_TRUE(src.next());
  EXPECT_EQ(src.rec(), "last");
  EXPECT_THROW(src.require_line_end(), IoFailure);  // the file ends inside its last line
  src.rewind();
  ASSERT_TRUE(src.next());  // the default buffer of 512 characters
  EXPECT_EQ(src.rec(), std::string(512, 'x'));
}

// Records are views of the bytes read: lines of every length around the longest record and
// the read buffer, across many refills, come out as a plain split of the text gives them.
TEST_P(TextSourceTest, RecordsAcrossTheReadBufferAreThoseOfAPlainSplit) {
  std::mt19937 rng(5);
  const std::size_t lengths[] = {0, 1, 79, 4095, 4096, 4097, 5000, 65535, 65536, 70000};
  const std::size_t most = TextSource::kLongestRecord;
  std::string text;
  Recs want;
  for (int i = 0; i < 400; ++i) {
    std::string line(i % 3 ? rng() % 200 : lengths[rng() % 10], ' ');
    for (char& c : line) c = static_cast<char>('a' + rng() % 26);
    if (rng() % 4 == 0) line += '\r';  // dropped only from a record held whole
    text += line + "\n";
    want.push_back(line.size() > most     ? line.substr(0, most)
                   : line.ends_with('\r') ? line.substr(0, line.size() - 1)
                                          : line);
  }
  open(text + "end");
  want.push_back("end");
  EXPECT_EQ(records(most), want);
}

TEST_P(TextSourceTest, NextCutsTheRecordToTheBufferWidth) {
  open("abcdef\nab\nabc\r\n");
  EXPECT_EQ(records(3), (Recs{"abc", "ab", "abc"}));
  src.rewind();
  EXPECT_EQ(records(0), (Recs{"", "", ""}));
}

TEST_P(TextSourceTest, RewindStartsAgainFromTheFirstRecord) {
  open("1\n2\n3\n");
  EXPECT_EQ(records(), (Recs{"1", "2", "3"}));
  src.rewind();
  EXPECT_EQ(src.line(), 0);
  EXPECT_EQ(src.rec(), "");
  ASSERT_TRUE(src.next());
  EXPECT_EQ(src.rec(), "1");
  EXPECT_EQ(src.line(), 1);
  ASSERT_TRUE(src.next());
  src.rewind();
  EXPECT_EQ(records(), (Recs{"1", "2", "3"}));
}

TEST_P(TextSourceTest, FieldFailuresNameFileLineAndColumns) {
  open("ok\n   12  x1.5\n");
  src.next();
  src.next();
  EXPECT_EQ(src.I(1, 5), 12);
  try {
    src.F(6, 11, 2);
    FAIL() << "no failure";
  } catch (const IoFailure& f) {
    EXPECT_EQ(f.line, 2);
    EXPECT_EQ(std::string(f.what()), src.name() + ":2: columns 6-11: 'x1.5' is not a number");
  }
}

TEST_P(TextSourceTest, FreeFormatReadsTakeFurtherRecordsAndLeaveTheRest) {
  open("1 2\n\n3\nnext record\n");
  std::int64_t a = 0, b = 0, c = 0;
  src.read_list_from_next("reading three values", a, b, c);
  EXPECT_EQ(a + b + c, 6);
  EXPECT_EQ(src.line(), 3);
  ASSERT_TRUE(src.next());
  EXPECT_EQ(src.rec(), "next record");
}

TEST_P(TextSourceTest, FreeFormatErrorsNameTheRecordBeingRead) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"1 2\n  \n3 x\n", ":3: reading values: value 4, column 3: 'x' is not an integer"},
      {"1\n\n1 2\n", ":3: reading values: end of file where value 4 is needed"},
  };
  for (const Row& r : rows) {
    open(r.text);
    std::int64_t v[4] = {};
    try {
      src.read_list_from_next("reading values", v[0], v[1], v[2], v[3]);
      ADD_FAILURE() << r.text << ": no failure";
    } catch (const IoFailure& f) {
      EXPECT_EQ(std::string(f.what()), src.name() + r.error);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(OnDiskAndInMemory, TextSourceTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) {
                           return i.param ? std::string("OnDisk") : std::string("InMemory");
                         });

TEST(TextSource, AMissingFileCannotBeOpened) {
  TextSource src;
  try {
    src.open("/nonexistent/memprep/sample.out");
    FAIL() << "no failure";
  } catch (const IoFailure& f) {
    EXPECT_EQ(f.line, 0);
    EXPECT_EQ(std::string(f.what()),
              "/nonexistent/memprep/sample.out: cannot open: No such file or directory");
  }
}

TEST(TextSource, ADirectoryCannotBeOpened) {
  TextSource src;
  std::string dir = fs::temp_directory_path().string();
  try {
    src.open(dir);
    FAIL() << "no failure";
  } catch (const IoFailure& f) {
    EXPECT_EQ(f.condition, "cannot open: is a directory");
  }
}

TEST(TextSource, AClosedSourceHasNoRecords) {
  TextSource src;
  EXPECT_FALSE(src.is_open());
  EXPECT_FALSE(src.next());
  src.open_text("x", "a\n");
  EXPECT_TRUE(src.is_open());
  src.close();
  EXPECT_FALSE(src.is_open());
  EXPECT_FALSE(src.next());
}

}  // namespace
}  // namespace memprep
