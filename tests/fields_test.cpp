// The field notation (store/fields): every output descriptor the writers use, fixed-column
// input by Fortran's rules, and free-format (list-directed) input.
//
// The cases gfortran decides come from tests/fortran/field_cases.txt, written by gfortran
// 12 with the same edit descriptors (the programs in tests/fortran write each value and
// read each text; tests/fortran/regenerate makes the file). The tests here read it; the
// cases where memprep reads otherwise deliberately (NaN and Inf in input, a real beyond
// the largest double, a slash after a record end in free format) are tests of their own,
// as are the messages, which are memprep's.
#include "io/fields.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "io/errors.hpp"
#include "io/fields_decimal.hpp"

namespace memprep {
namespace {

// ---- The cases gfortran decides -------------------------------------------------------

// One line of field_cases.txt: kind ("write", "read" or "list"), what (an edit descriptor,
// or the items of a list read), input and expected as the file gives them.
struct FieldCase {
  int line;
  std::string kind, what, input, expected;
};

// The text of a field in double quotes, with \t, \n, \" and \\ for a tab, a record end, a
// quote and a backslash.
std::string unquoted(std::string_view s) {
  std::string t;
  if (s.size() < 2 || s.front() != '"' || s.back() != '"')
    return "(not quoted: " + std::string(s) + ")";
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] != '\\') {
      t += s[i];
      continue;
    }
    char c = s[++i];
    t += c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return t;
}

// The quoted texts of a field, in order ("a" "b c" "").
std::vector<std::string> quoted_texts(std::string_view s) {
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t end = i + 1;
    while (end < s.size() && s[end] != '"') end += s[end] == '\\' ? 2 : 1;
    texts.push_back(unquoted(s.substr(i, end + 1 - i)));
    i = end + 2;
  }
  return texts;
}

const std::vector<FieldCase>& field_cases() {
  static const std::vector<FieldCase> cases = [] {
    std::vector<FieldCase> v;
    std::ifstream in(MEMPREP_FIELD_CASES);
    std::string s;
    for (int n = 1; std::getline(in, s); ++n) {
      if (s.empty() || s[0] == '#') continue;
      FieldCase c{n, {}, {}, {}, {}};
      std::string* part[] = {&c.kind, &c.what, &c.input, &c.expected};
      std::size_t from = 0;
      for (int i = 0; i < 4 && from <= s.size(); ++i) {
        std::size_t tab = i < 3 ? s.find('\t', from) : s.size();
        if (tab == std::string::npos) tab = s.size() + 1;  // a field missing: ends the line
        *part[i] = s.substr(from, std::min(tab, s.size()) - from);
        from = tab + 1;
      }
      if (c.expected.empty() || (c.kind != "write" && c.kind != "read" && c.kind != "list"))
        ADD_FAILURE() << MEMPREP_FIELD_CASES << ":" << n << ": not a case: " << s;
      v.push_back(c);
    }
    return v;
  }();
  return cases;
}

// Runs check on every case of the kind; fails when the file holds none.
void for_cases(std::string_view kind, const std::function<void(const FieldCase&)>& check) {
  int n = 0;
  for (const FieldCase& c : field_cases()) {
    if (c.kind != kind) continue;
    SCOPED_TRACE("field_cases.txt:" + std::to_string(c.line) + ": " + c.what + " " + c.input);
    check(c);
    ++n;
  }
  EXPECT_GT(n, 50) << "too few '" << kind << "' cases in " << MEMPREP_FIELD_CASES;
}

double number(std::string_view s) {
  double v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  EXPECT_TRUE(r.ec == std::errc() && r.ptr == s.data() + s.size()) << "'" << s << "'";
  return v;
}

std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

// An edit descriptor: [kP]Fw.d, Ew.d, Gw.d or Iw.
struct Descriptor {
  char kind;
  int w, d, scale;
};

Descriptor descriptor(std::string_view s) {
  Descriptor f{'?', 0, 0, 0};
  if (std::size_t p = s.find('P'); p != std::string_view::npos) {
    f.scale = std::stoi(std::string(s.substr(0, p)));
    s.remove_prefix(p + 1);
  }
  f.kind = s[0];
  s.remove_prefix(1);
  std::size_t dot = s.find('.');
  f.w = std::stoi(std::string(s.substr(0, dot)));
  if (dot != std::string_view::npos) f.d = std::stoi(std::string(s.substr(dot + 1)));
  return f;
}

std::string field_error(const std::function<void()>& f) {
  try {
    f();
  } catch (const FieldError& e) {
    return e.what();
  }
  return "(no error)";
}

// ---- Output ---------------------------------------------------------------------------

TEST(FieldOutput, ValuesAsGfortranWritesThem) {
  for_cases("write", [](const FieldCase& c) {
    const Descriptor f = descriptor(c.what);
    std::string out;
    switch (f.kind) {
      case 'I':
        put_I(out, std::stoll(c.input), f.w);
        break;
      case 'F':
        put_F(out, number(c.input), f.w, f.d);
        break;
      case 'E':
        put_E(out, number(c.input), f.w, f.d, f.scale);
        break;
      default:
        put_G(out, number(c.input), f.w, f.d, f.scale);
        break;
    }
    EXPECT_EQ(out, unquoted(c.expected));
  });
}

TEST(FieldOutput, FieldsAppendToTheLine) {
  std::string line = "ab";
  put_I(line, 5, 3);
  put_X(line, 2);
  put_A(line, "xy");
  put_A(line, "long text", 4);
  put_A(line, "r", 3);
  put_F(line, 1.5, 5, 1);
  EXPECT_EQ(line, "ab  5  xylong  r  1.5");
  std::string none;
  put_X(none, 0);
  put_A(none, "abc", 0);
  EXPECT_EQ(none, "");
}

// ---- Fixed-column input -----------------------------------------------------------------

std::string padded(std::string s, int w) {
  s.resize(static_cast<std::size_t>(w), ' ');
  return s;
}

TEST(FieldInput, TextsAsGfortranReadsThem) {
  for_cases("read", [](const FieldCase& c) {
    const Descriptor f = descriptor(c.what);
    const std::string text = padded(unquoted(c.input), f.w);
    if (c.expected == "error") {
      if (f.kind == 'I')
        EXPECT_THROW(parse_I(text), FieldError);
      else
        EXPECT_THROW(parse_F(text, f.d, f.scale), FieldError);
    } else if (f.kind == 'I') {
      EXPECT_EQ(parse_I(text), std::stoll(c.expected));
    } else {
      EXPECT_EQ(bits(parse_F(text, f.d, f.scale)), bits(number(c.expected)));
    }
  });
}

TEST(FieldInput, NaNInfinityAndRealsBeyondTheLargestDoubleAreRefusedDeliberately) {
  // gfortran reads NaN or Infinity for these; a damaged number stops the run instead.
  EXPECT_THROW(parse_F(padded("NaN", 8), 5), FieldError);
  EXPECT_THROW(parse_F(padded("Inf", 8), 5), FieldError);
  EXPECT_THROW(parse_F(padded("-Infinity", 10), 5), FieldError);
  EXPECT_THROW(parse_F(padded("1e400", 8), 5), FieldError);
  EXPECT_THROW(parse_F(padded("1e9999", 10), 3), FieldError);
}

TEST(FieldInput, ErrorsNameTheColumnsAndQuoteTheText) {
  std::string rec(73, ' ');
  rec += "   x12.5   ";
  EXPECT_EQ(field_error([&] { get_F(rec, 74, 84, 4); }), "columns 74-84: 'x12.5' is not a number");
  EXPECT_EQ(field_error([&] { get_F("  NaN", 1, 5, 2); }), "columns 1-5: 'NaN' is not a number");
  EXPECT_EQ(field_error([&] { get_F("1e400", 1, 5, 2); }),
            "columns 1-5: '1e400' is too large for a real number");
  EXPECT_EQ(field_error([&] { get_I("  1.5", 1, 5); }), "columns 1-5: '1.5' is not an integer");
  EXPECT_EQ(field_error([&] { get_I("99999999999999999999", 1, 20); }),
            "columns 1-20: '99999999999999999999' does not fit in a 64-bit integer");
  EXPECT_EQ(field_error([&] { get_I(std::string_view("1\0002", 3), 1, 3); }),
            "columns 1-3: '1\\x002' is not an integer");
}

TEST(FieldInput, ColumnsBeyondTheRecordReadAsBlanks) {
  EXPECT_EQ(get_I("   12", 4, 8), 12);
  EXPECT_EQ(get_I("   12", 6, 10), 0);
  EXPECT_EQ(get_F("  1234", 3, 8, 3), 1.234);  // "1234  ": blanks ignored, three decimals
  EXPECT_EQ(get_F("-10-12", 1, 3, 0), -10.0);  // fields can touch
  EXPECT_EQ(get_F("-10-12", 4, 6, 0), -12.0);
  EXPECT_EQ(get_F("", 1, 10, 4), 0.0);
}

TEST(FieldInput, LongFieldsAreReadWhole) {
  std::string f(300, ' ');
  f[150] = '1';
  f[299] = '5';
  EXPECT_EQ(parse_F(f, 0, 0), 15.0);
  std::string digits = "0." + std::string(200, '0') + "1";
  EXPECT_EQ(parse_F(digits, 0, 0), 1e-201);
}

// The message of a refused field without the field's text: what is wrong with it.
std::string what_is_wrong(const std::function<void()>& f) {
  std::string e = field_error(f);
  return e.substr(e.rfind('\'') + 1);
}

// A field of up to 19 digits takes a direct conversion, a longer one the full conversion:
// twenty leading zeros must leave every value, and every refusal, as it was. The one pass
// over plain forms must give what the full scan gives, for fixed fields and free items.
TEST(FieldInput, AFieldReadsTheSameWithTwentyLeadingZeros) {
  std::mt19937_64 rng(3);
  const std::string alphabet = "0123456789     ..-+EeD/:";  // and the neighbours of the digits
  int compared = 0;
  const std::string edges[] = {
      "1E" + std::string(25, '8'),  "-1.5e-" + std::string(20, '9'), "2.5E+1234", "2.5E+12345",
      "12 " + std::string(25, '8'), std::string(30, '7') + ".5"};
  for (int i = 0; i < 20000; ++i) {
    std::string f(1 + rng() % 12, ' ');
    for (char& c : f) c = alphabet[rng() % alphabet.size()];
    if (i % 2) {  // the forms listings print
      char buf[64];
      double v = (static_cast<double>(rng() % 2000000) - 1e6) *
                 std::pow(10.0, static_cast<int>(rng() % 30) - 15);
      std::snprintf(buf, sizeof buf, i % 4 == 1 ? "%12.5E" : "%12.4f", v);
      f = buf;
    }
    if (i < static_cast<int>(std::size(edges))) f = edges[i];  // exponents too long to sum
    for (decimal::RealForm form :
         {decimal::RealForm{true, 0, 0}, decimal::RealForm{true, 3, 1}, decimal::RealForm{false}}) {
      double one_pass = 0, full = 0;
      const decimal::Status st = decimal::scan_real<true, true>(f, form, one_pass);
      ASSERT_EQ(st, (decimal::scan_real<true, false>(f, form, full))) << "'" << f << "'";
      if (st == decimal::Status::ok) {
        ASSERT_EQ(bits(one_pass), bits(full)) << "'" << f << "'";
      }
    }
    // The zeros go where the mantissa starts, after the blanks and the sign.
    std::size_t at = f.find_first_not_of(' ');
    if (at != std::string::npos && (f[at] == '-' || f[at] == '+')) ++at;
    if (at >= f.size() || !(std::isdigit(static_cast<unsigned char>(f[at])) || f[at] == '.'))
      continue;
    const std::string g = f.substr(0, at) + std::string(20, '0') + f.substr(at);
    for (int d : {0, 3}) {
      for (int scale : {0, 1}) {
        std::optional<double> plain, zeros;
        std::string plain_error = what_is_wrong([&] { plain = parse_F(f, d, scale); });
        std::string zeros_error = what_is_wrong([&] { zeros = parse_F(g, d, scale); });
        ASSERT_EQ(plain_error, zeros_error) << "'" << f << "' d=" << d << " scale=" << scale;
        if (plain) {
          ASSERT_EQ(bits(*plain), bits(*zeros)) << "'" << f << "' d=" << d << " scale=" << scale;
          ++compared;
        }
      }
    }
    std::optional<std::int64_t> plain, zeros;
    std::string plain_error = what_is_wrong([&] { plain = parse_I(f); });
    std::string zeros_error = what_is_wrong([&] { zeros = parse_I(g); });
    ASSERT_EQ(plain_error, zeros_error) << "'" << f << "'";
    ASSERT_EQ(plain, zeros) << "'" << f << "'";
  }
  EXPECT_GT(compared, 20000);
}

// ---- Columns --------------------------------------------------------------------------

TEST(Columns, ColumnsAreOneBasedAndInclusive) {
  EXPECT_EQ(cols("abcdef", 2, 4), "bcd");
  EXPECT_EQ(cols("abcdef", 5, 10), "ef");
  EXPECT_EQ(cols("abcdef", 7, 10), "");
  EXPECT_EQ(cols("abcdef", 4, 3), "");
  EXPECT_TRUE(at("ab  ", 3, "  "));
  EXPECT_TRUE(at("ab", 3, "   "));  // the record taken as padded with blanks
  EXPECT_FALSE(at("ab", 2, "B"));
  EXPECT_TRUE(starts(" GENLES", " GEN"));
  EXPECT_TRUE(is_blank(""));
  EXPECT_TRUE(is_blank("   "));
  EXPECT_FALSE(is_blank(" \t"));
  EXPECT_EQ(trim_right("ab  "), "ab");
  EXPECT_EQ(trim_right("   "), "");
  EXPECT_EQ(cut("abcdef", 4), "abcd");
  EXPECT_EQ(cut("ab", 4), "ab");
}

// ---- Free format --------------------------------------------------------------------------

// Records given one after another to a ListInput, as a file would.
struct Records {
  std::vector<std::string> recs;
  std::size_t next = 1;
  explicit Records(std::vector<std::string> r) : recs(std::move(r)) {}
  ListInput input() {
    return ListInput(recs.at(0), [this]() -> std::optional<std::string_view> {
      if (next >= recs.size()) return std::nullopt;
      return std::string_view(recs[next++]);
    });
  }
};

std::vector<std::int64_t> ints(ListInput in, int n) {
  std::vector<std::int64_t> v(static_cast<std::size_t>(n), -777);
  for (auto& x : v) in.next(x);
  return v;
}

using I = std::vector<std::int64_t>;

// The items of a case read from its records (one record: a read of that line alone), shown
// as field_cases.txt shows them, or "error".
std::string read_items(const std::string& items, const std::string& text) {
  std::vector<std::string> recs;
  for (std::size_t from = 0;;) {
    std::size_t nl = text.find('\n', from);
    recs.push_back(text.substr(from, nl - from));
    if (nl == std::string::npos) break;
    from = nl + 1;
  }
  Records r(recs);
  ListInput in = recs.size() == 1 ? ListInput(recs[0]) : r.input();
  std::string got;
  try {
    if (items == "F") {
      double x = -777.5;
      in.next(x);
      got = std::to_string(bits(x));
    } else if (items == "A,A,A") {
      std::vector<std::string> w(3, "KEEP");
      for (auto& s : w) in.next_word(s);
      for (auto& s : w) got += "[" + s + "]";
    } else {
      for (std::int64_t x : ints(in, items == "I,I" ? 2 : 3))
        got += (got.empty() ? "" : " ") + std::to_string(x);
    }
  } catch (const FieldError&) {
    return "error";
  }
  return got;
}

TEST(FreeFormat, ItemsAsGfortranReadsThem) {
  for_cases("list", [](const FieldCase& c) {
    std::string want = c.expected;
    if (want != "error" && c.what == "F") {
      want = std::to_string(bits(number(c.expected)));
    } else if (want != "error" && c.what == "A,A,A") {
      want.clear();
      for (const std::string& s : quoted_texts(c.expected)) want += "[" + s + "]";
    }
    EXPECT_EQ(read_items(c.what, unquoted(c.input)), want);
  });
}

TEST(FreeFormat, ASlashAfterARecordEndEndsTheList) {
  // Deliberately as the Fortran standard has it: gfortran 12 reads the character after such
  // a slash as the value ("1" / "/5 6" gives 1 5 there, "" / "/5" gives 5).
  Records a({"1", "/5 6"});
  EXPECT_EQ(ints(a.input(), 3), (I{1, -777, -777}));
  Records b({"", "/5"});
  EXPECT_EQ(ints(b.input(), 1), (I{-777}));
}

TEST(FreeFormat, AReadLeavesTheRecordAfterItsLastValue) {
  Records r({"1.5", "next record"});
  ListInput in = r.input();
  double x = 0;
  EXPECT_TRUE(in.next(x));
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(r.next, 1u);  // the second record was not fetched
}

TEST(FreeFormat, BadItemsAreErrorsNamingTheValueAndColumn) {
  auto real_error = [](const char* rec, int n) {
    return field_error([&] {
      ListInput in(rec);
      double v = 0;
      for (int i = 0; i < n; ++i) in.next(v);
    });
  };
  auto int_error = [](const char* rec, int n) {
    return field_error([&] {
      ListInput in(rec);
      std::int64_t v = 0;
      for (int i = 0; i < n; ++i) in.next(v);
    });
  };
  EXPECT_EQ(real_error("1 2 x3", 3), "value 3, column 5: 'x3' is not a number");
  EXPECT_EQ(int_error("1 2.0", 2), "value 2, column 3: '2.0' is not an integer");
  EXPECT_EQ(int_error("1e3", 1), "value 1, column 1: '1e3' is not an integer");
  EXPECT_EQ(int_error(" 9223372036854775808", 1),
            "value 1, column 2: '9223372036854775808' does not fit in a 64-bit integer");
  EXPECT_EQ(real_error("1 2", 3), "end of record where value 3 is needed");
  EXPECT_EQ(int_error("0*5", 1), "value 1, column 1: '0*' is a zero repeat count");
  // Refused deliberately (gfortran reads NaN, Infinity, and Infinity for 1e400).
  EXPECT_EQ(real_error("NaN", 1), "value 1, column 1: 'NaN' is not a number");
  EXPECT_EQ(real_error("1,-Infinity", 2), "value 2, column 3: '-Infinity' is not a number");
  EXPECT_EQ(real_error("1e400", 1), "value 1, column 1: '1e400' is too large for a real number");
}

TEST(FreeFormat, ARepeatedValueKeepsTheTypeOfItsFirstItem) {
  ListInput in("3*7");
  std::int64_t i = 0;
  double x = 0;
  EXPECT_TRUE(in.next(i));
  EXPECT_EQ(i, 7);
  EXPECT_THROW(in.next(x), FieldError);
  ListInput nulls("2* 1.5");
  std::string w = "keep";
  EXPECT_FALSE(nulls.next(i));
  EXPECT_FALSE(nulls.next_word(w));
  EXPECT_TRUE(nulls.next(x));
  EXPECT_EQ(x, 1.5);
  EXPECT_EQ(w, "keep");
}

TEST(FreeFormat, AQuotedStringMustEndAtASeparator) {
  ListInput bad("'abc'x");
  std::string w;
  EXPECT_EQ(field_error([&] { bad.next_word(w); }),
            "value 1, column 1: 'x' follows a quoted string without a separator");
}

TEST(FreeFormat, MixedItemsOnOneLine) {
  ListInput in("    1    1    1   -59.123    0.000    6.104");
  std::int64_t h = 0, k = 0, l = 0;
  double a = 0, b = 0, c = 0;
  EXPECT_TRUE(in.next(h) && in.next(k) && in.next(l) && in.next(a) && in.next(b) && in.next(c));
  EXPECT_EQ(h + k + l, 3);
  EXPECT_EQ(a, -59.123);
  EXPECT_EQ(c, 6.104);
  EXPECT_EQ(in.item(), 6);
}

TEST(FreeFormat, RunningOutOfRecordsIsAnError) {
  Records r({"1", "", "2"});
  EXPECT_EQ(field_error([&] { ints(r.input(), 3); }), "end of file where value 3 is needed");
  Records blank({"", "  "});
  EXPECT_EQ(field_error([&] { ints(blank.input(), 1); }), "end of file where value 1 is needed");
}

}  // namespace
}  // namespace memprep
