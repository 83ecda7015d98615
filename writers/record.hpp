// An output record written from one format list: the fields of the line in the order of
// the file, each a descriptor, a value and where the value came from, as a Fortran FORMAT
// statement and its list would give them.
//
// A number that does not fit its field would be written as asterisks, and a non-finite one
// as Infinity or NaN; neither is of use to a MEM program, so either stops the run before
// anything is put in place, naming the value, the field, the output and where the value came
// from. An uncertainty that its field would show as zero gives its reflection or group an
// infinite weight, and is refused the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "io/fields_direct.hpp"
#include "io/output_file.hpp"
#include "store/run.hpp"

namespace memprep {

// Where a written value came from. Small, as every field carries one.
struct Origin {
  enum class Kind : std::uint8_t {
    constant,     // a fixed value of the layout
    setting,      // a setting: where the run read it (run.origin), else the source
    reflection,   // a value of the reflection in entry `index`
    group,        // a value of overlap group number `index`, whose first member is `entry`
    reflections,  // the number of reflections
    groups,       // the number of overlap groups
  };
  Kind kind = Kind::constant;
  Setting setting = Setting::source;
  std::uint32_t index = 0, entry = 0;  // a store entry or group number (at most MAXREF)

  static constexpr Origin of(Setting s) { return {Kind::setting, s, 0, 0}; }
  static constexpr Origin reflection(std::size_t i) {
    return {Kind::reflection, {}, static_cast<std::uint32_t>(i), 0};
  }
  static constexpr Origin group(std::size_t number, std::size_t first) {
    return {Kind::group, {}, static_cast<std::uint32_t>(number), static_cast<std::uint32_t>(first)};
  }
  static constexpr Origin count_of_reflections() { return {Kind::reflections, {}, 0, 0}; }
  static constexpr Origin count_of_groups() { return {Kind::groups, {}, 0, 0}; }
};

// A field as the messages describe it: its descriptor, value, name and origin.
struct Field {
  enum class Edit : std::uint8_t { I, F, G, PG };  // PG: 1P,Gw.d
  Edit edit = Edit::I;
  std::uint8_t w = 0, d = 0;
  Origin origin = {};
  union {
    std::int64_t integer = 0;  // I
    double real;               // F, G, PG
  };
  const char* name = "";  // the value in messages ("lambda1", "sigma(|Fo|)")
};

// The fields of a format list, a type for each descriptor, so that a record's list is known
// when the writer is compiled and each field is written in its place without a dispatch.
// `name` and `origin` are read only when the value is refused.
struct IField {
  std::int64_t value;
  int w;
  const char* name;
  Origin origin;
};
struct FField {
  double value;
  int w, d;
  const char* name;
  Origin origin;
  bool uncertainty;  // it must not be written as zero
};
struct GField {  // Gw.d, or 1P,Gw.d under the scale factor 1
  double value;
  int w, d, scale;
  const char* name;
  Origin origin;
};
struct XField {
  int n;
};
struct AField {  // text, which must outlive the record
  std::string_view text;
};

inline IField I(std::int64_t v, int w, const char* name = "", Origin origin = {}) {
  return {v, w, name, origin};
}
inline FField F(double v, int w, int d, const char* name = "", Origin origin = {}) {
  return {v, w, d, name, origin, false};
}
inline GField G(double v, int w, int d, const char* name, Origin origin) {
  return {v, w, d, 0, name, origin};
}
inline GField PG(double v, int w, int d, const char* name, Origin origin) {
  return {v, w, d, 1, name, origin};
}
inline XField X(int n) {
  return {n};
}
inline AField A(std::string_view text) {
  return {text};
}
// An uncertainty: the field, refused when it is written as zero.
inline FField uncertainty(FField f) {
  f.uncertainty = true;
  return f;
}

namespace record {

inline std::size_t width(IField f) {
  return static_cast<std::size_t>(f.w);
}
inline std::size_t width(FField f) {
  return static_cast<std::size_t>(f.w);
}
inline std::size_t width(GField f) {
  return static_cast<std::size_t>(f.w);
}
inline std::size_t width(XField f) {
  return static_cast<std::size_t>(f.n > 0 ? f.n : 0);
}
inline std::size_t width(AField f) {
  return f.text.size();
}

// The field as the messages describe it, its value still to be set.
inline Field described(Field::Edit edit, int w, int d, Origin origin, const char* name) {
  Field f;
  f.edit = edit;
  f.w = static_cast<std::uint8_t>(w);
  f.d = static_cast<std::uint8_t>(d);
  f.origin = origin;
  f.name = name;
  return f;
}
inline Field describe(IField f) {
  Field d = described(Field::Edit::I, f.w, 0, f.origin, f.name);
  d.integer = f.value;
  return d;
}
inline Field describe(FField f) {
  Field d = described(Field::Edit::F, f.w, f.d, f.origin, f.name);
  d.real = f.value;
  return d;
}
inline Field describe(GField f) {
  Field d = described(f.scale == 1 ? Field::Edit::PG : Field::Edit::G, f.w, f.d, f.origin, f.name);
  d.real = f.value;
  return d;
}

// The field by the general path, for what the direct path does not take: refused when it
// does not fit or is not finite.
void put_general(const Run& run, std::string_view output, char* at, const Field& f);
// The refusal of an uncertainty whose field `written` shows zero.
[[noreturn]] void written_as_zero(const Run& run, const Field& f, std::string_view written);

// A field shows a value other than zero when one of its digits is.
inline bool shows_nonzero(const char* field, int w) {
  for (int i = 0; i < w; ++i)
    if (field[i] >= '1' && field[i] <= '9') return true;
  return false;
}

// Each writes its field at `at` and returns where the next begins.
[[gnu::always_inline]] inline char* put(const Run& run, std::string_view output, char* at,
                                        IField f) {
  if (!direct::I(at, f.value, f.w)) [[unlikely]]
    put_general(run, output, at, describe(f));
  return at + width(f);
}
[[gnu::always_inline]] inline char* put(const Run& run, std::string_view output, char* at,
                                        FField f) {
  if (!direct::F(at, f.value, f.w, f.d)) [[unlikely]]
    put_general(run, output, at, describe(f));
  if (f.uncertainty && !shows_nonzero(at, f.w)) [[unlikely]]
    written_as_zero(run, describe(f), std::string_view(at, width(f)));
  return at + width(f);
}
[[gnu::always_inline]] inline char* put(const Run& run, std::string_view output, char* at,
                                        GField f) {
  if (!direct::G(at, f.value, f.w, f.d, f.scale)) [[unlikely]]
    put_general(run, output, at, describe(f));
  return at + width(f);
}
[[gnu::always_inline]] inline char* put(const Run&, std::string_view, char* at, XField f) {
  std::memset(at, ' ', width(f));
  return at + width(f);
}
[[gnu::always_inline]] inline char* put(const Run&, std::string_view, char* at, AField f) {
  if (!f.text.empty()) std::memcpy(at, f.text.data(), f.text.size());
  return at + width(f);
}

}  // namespace record

// Appends the fields to `line` and checks them, without writing the line.
template <class... Fields>
void put_fields(const Run& run, std::string_view output, std::string& line, Fields... fields) {
  const std::size_t at = line.size();
  line.resize(at + (record::width(fields) + ... + 0));
  char* p = line.data() + at;
  ((p = record::put(run, output, p, fields)), ...);
}

// Writes the record of `fields` on `out` ("the MEM data set", "the companion file" in
// messages), built in place in the file's buffer or in a chunk's text (io/ordered_output.hpp).
template <class Out, class... Fields>
[[gnu::always_inline]] inline void write_record(const Run& run, Out& out, std::string_view output,
                                                Fields... fields) {
  const std::size_t n = (record::width(fields) + ... + 1);  // and the line end
  if (n > Out::kRoom) [[unlikely]] {
    std::string line;
    put_fields(run, output, line, fields...);
    out.write_line(line);
    return;
  }
  char* const line = out.room(n);
  char* p = line;
  ((p = record::put(run, output, p, fields)), ...);
  *p = '\n';
  out.advance(n);
}

}  // namespace memprep
