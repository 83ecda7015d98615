// Output fields that must hold their value. A number that does not fit its field would be
// written as asterisks, and a non-finite one as Infinity or NaN; neither is of use to a MEM
// program, so either stops the run before anything is put in place, naming the value, the
// field, the output and where the value came from.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "io/errors.hpp"
#include "io/fields.hpp"
#include "store/run.hpp"

namespace memprep {

// Where a value came from and what to look at, for the message.
struct ValueOrigin {
  std::string where;  // "FILE:LINE" or "FILE"
  std::string what;   // "lambda1", "reflection 2 2 0: Io"
  std::string hint;   // what to check, or empty
};

// The origin of a setting the outputs print, by its name in messages ("lambda1", "NX", "the
// cell length a", "the number of reflections", ...), from the run's record of where each
// setting was read.
ValueOrigin setting_origin(const Run& run, std::string_view name);

// The origin of a value of reflection i: its source line and h k l.
ValueOrigin reflection_origin(const Run& run, std::size_t i, std::string_view name);

// The failure for a value that does not fit its field: `kind` is the descriptor's letters
// ("I", "F", "G", "1PG"), d is not shown for I.
[[noreturn]] void value_does_not_fit(const ValueOrigin& origin, double value, std::string_view kind,
                                     int w, int d, std::string_view output);

// Appends checked fields to a line of `output` ("the MEM data set", "the companion file").
// `origin(name)` gives the ValueOrigin of a value called `name`; it is called only when the
// value does not fit.
class CheckedLine {
 public:
  CheckedLine(std::string& line, std::string_view output) : line_(line), output_(output) {}

  template <class Origin>
  void I(std::int64_t v, int w, std::string_view name, Origin&& origin) {
    const std::size_t at = line_.size();
    put_I(line_, v, w);
    if (starred(at)) value_does_not_fit(origin(name), static_cast<double>(v), "I", w, 0, output_);
  }
  template <class Origin>
  void F(double v, int w, int d, std::string_view name, Origin&& origin) {
    const std::size_t at = line_.size();
    put_F(line_, v, w, d);
    if (!std::isfinite(v) || starred(at)) value_does_not_fit(origin(name), v, "F", w, d, output_);
  }
  // Gw.d, under the scale factor 1P when `scale` is 1.
  template <class Origin>
  void G(double v, int w, int d, int scale, std::string_view name, Origin&& origin) {
    const std::size_t at = line_.size();
    put_G(line_, v, w, d, scale);
    if (!std::isfinite(v) || starred(at))
      value_does_not_fit(origin(name), v, scale ? "1PG" : "G", w, d, output_);
  }

 private:
  // A field that does not fit is all asterisks, and a field that fits never begins with one:
  // the field's first column tells.
  bool starred(std::size_t from) const { return from < line_.size() && line_[from] == '*'; }

  std::string& line_;
  std::string_view output_;
};

}  // namespace memprep
