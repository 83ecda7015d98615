// The overlap groups of an earlier MEM data set: read from the rest of the source and
// appended to the MEM data set as its "# NREF2" section. Groups whose G'o' is 0.0 are
// left out with their members; everything else is copied as the source lists it.
//
// Group lines, each read in its first 62 columns:
//   "{" in column 1          opens a group (the rest of the line is not read)
//   "}" in column 1          closes it: the brace as a word, then G'o' and SUM
//   anything else            a member: h k l M, counted to the current group
// A member line after a closing line still belongs to the current group: the group just
// closed, or the one before it when the group just closed was left out.
#include <cstdint>
#include <string>
#include <vector>

#include "readers/mem_data_set.hpp"
#include "store/fields.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

constexpr std::size_t kGroupWidth = 62;

struct Group {
  double Go = 0;   // G'o'
  double Sum = 0;  // SUM
  std::int64_t NMem = 0;
  std::int64_t open_line = 0;  // source line of the opening line
  bool closed = false;
};

}  // namespace

void copy_overlap_groups(Run& run) {
  Store& s = run.store;
  TextSource& src = run.src;

  // The record after the end of the reflection list is passed over. A source that ends
  // before it has no groups.
  std::string_view word;
  if (!read_word(src, word)) return;

  // Members go into the store after the single reflections; MRef holds their M values.
  std::vector<std::int64_t> MRef(static_cast<std::size_t>(MAXREF) + 1);
  std::vector<Group> groups;  // the groups kept so far; the last is the current group
  std::int64_t IREF = s.NREF1;

  // Free-format read of the current line; every value must be there.
  auto read_line = [&](const char* what, auto&& read_all) {
    try {
      ListInput in(src.rec());
      if (!read_all(in)) throw FieldError("value " + std::to_string(in.item()) + " is missing");
    } catch (const FieldError& e) {
      src.fail(std::string(what) + ": " + e.what());
    }
  };

  while (src.next(kGroupWidth)) {
    const std::string& rec = src.rec();
    if (starts(rec, "{")) {
      if (!groups.empty() && !groups.back().closed)
        src.fail("a group opens here while the group opened on line " +
                 std::to_string(groups.back().open_line) + " has no closing line (\"}\")");
      groups.push_back(Group{0, 0, 0, src.line(), false});
      continue;
    }
    if (is_blank(rec))
      src.fail(
          "blank line in the overlap-group section, where every line opens or closes a "
          "group or holds a member (h k l M)");
    if (groups.empty())
      src.fail(std::string(starts(rec, "}") ? "a closing line" : "a member line") +
               " stands outside any group: no opening line (\"{\") before it, or every "
               "group before it has G'o' = 0 and is left out");
    Group& g = groups.back();
    if (starts(rec, "}")) {
      read_line("closing line: expected \"}\" G'o' SUM in columns 1-62", [&](ListInput& in) {
        std::string brace;
        return in.next_word(brace) && in.next(g.Go) && in.next(g.Sum);
      });
      g.closed = true;
      if (g.Go == 0.0) {
        IREF -= g.NMem;
        groups.pop_back();
      }
    } else {
      if (IREF >= MAXREF) throw Stop(capacity_message());
      std::int64_t n = IREF + 1;
      read_line("member line: expected h k l M in columns 1-62", [&](ListInput& in) {
        return in.next(s.H[n]) && in.next(s.K[n]) && in.next(s.L[n]) && in.next(MRef[n]);
      });
      IREF = n;
      ++g.NMem;
    }
  }
  if (!groups.empty() && !groups.back().closed)
    throw IoFailure(src.name(), groups.back().open_line,
                    "the group opened on this line has no closing line (\"}\") before the "
                    "end of the file");

  if (groups.empty()) return;

  OutputFile& out = run.mem;
  std::string line;
  out.write_line("# NREF2");
  line.clear();
  put_I(line, static_cast<std::int64_t>(groups.size()), 5);
  out.write_line(line);
  out.write_line(" #  h    k    l           G'o'            SUM        M");

  IREF = s.NREF1;
  for (const Group& g : groups) {
    line.clear();
    put_I(line, g.NMem, 5);
    out.write_line(line);
    for (std::int64_t m = 1; m <= g.NMem; ++m) {
      ++IREF;
      line.clear();
      put_I(line, s.H[IREF], 5);
      put_I(line, s.K[IREF], 5);
      put_I(line, s.L[IREF], 5);
      if (m == 1) {
        put_F(line, g.Go, 15, 4);
        put_F(line, g.Sum, 15, 4);
      } else {
        put_X(line, 30);
      }
      put_I(line, MRef[IREF], 9);
      out.write_line(line);
    }
  }
}

}  // namespace memprep
