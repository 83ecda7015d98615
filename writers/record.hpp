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
#include <initializer_list>
#include <string>
#include <string_view>

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

// One field of a record: 32 bytes, built and read once per field written.
struct Field {
  enum class Edit : std::uint8_t { I, F, G, PG, X, A };  // PG: 1P,Gw.d
  Edit edit = Edit::X;
  std::uint8_t w = 0, d = 0;  // nX: n; A: the text's length
  bool uncertainty = false;   // it must not be written as zero
  Origin origin = {};
  union {
    std::int64_t integer = 0;  // I
    double real;               // F, G, PG
  };
  const char* name = "";  // the value in messages ("lambda1", "sigma(|Fo|)"); A: the text
};

inline Field make_field(Field::Edit edit, int w, int d, const char* name, Origin origin) {
  Field f;
  f.edit = edit;
  f.w = static_cast<std::uint8_t>(w);
  f.d = static_cast<std::uint8_t>(d);
  f.name = name;
  f.origin = origin;
  return f;
}
inline Field I(std::int64_t v, int w, const char* name = "", Origin origin = {}) {
  Field f = make_field(Field::Edit::I, w, 0, name, origin);
  f.integer = v;
  return f;
}
inline Field F(double v, int w, int d, const char* name = "", Origin origin = {}) {
  Field f = make_field(Field::Edit::F, w, d, name, origin);
  f.real = v;
  return f;
}
inline Field G(double v, int w, int d, const char* name, Origin origin) {
  Field f = make_field(Field::Edit::G, w, d, name, origin);
  f.real = v;
  return f;
}
inline Field PG(double v, int w, int d, const char* name, Origin origin) {
  Field f = make_field(Field::Edit::PG, w, d, name, origin);
  f.real = v;
  return f;
}
inline Field X(int n) {
  return make_field(Field::Edit::X, n, 0, "", {});
}
// Text of at most 255 characters, which must outlive the record.
inline Field A(std::string_view text) {
  return make_field(Field::Edit::A, static_cast<int>(text.size()), 0, text.data(), {});
}
// An uncertainty: the field, refused when it is written as zero.
inline Field uncertainty(Field f) {
  f.uncertainty = true;
  return f;
}

// Writes the record of `fields` on `out` ("the MEM data set", "the companion file" in
// messages), with `line` as its buffer.
void write_record(const Run& run, OutputFile& out, std::string_view output, std::string& line,
                  std::initializer_list<Field> fields);

// Appends the fields to `line` and checks them, without writing the line.
void put_fields(const Run& run, std::string_view output, std::string& line,
                std::initializer_list<Field> fields);

}  // namespace memprep
