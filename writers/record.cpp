#include "writers/record.hpp"

#include <cmath>

#include "io/errors.hpp"
#include "io/fields.hpp"

namespace memprep {

namespace {

// Where a value came from and what to look at, for the message.
struct Place {
  std::string where;  // "FILE:LINE" or "FILE"
  std::string what;   // "lambda1", "reflection 2 2 0: Io"
  std::string hint;   // what to check, or empty
};

Place place(const Run& run, const Field& f) {
  const Origin& o = f.origin;
  const Store& s = run.store;
  Place p{where(run.SRCFILE, 0), std::string(f.name), {}};
  switch (o.kind) {
    case Origin::Kind::constant:
      break;
    case Origin::Kind::setting:
      if (!run.origin[o.setting].empty()) p.where = run.origin[o.setting];
      if (p.where.starts_with(where(run.CTLFILE, 0) + ":"))
        p.hint =
            "each control line holds one setting in a fixed order: the lines may be out of order";
      break;
    case Origin::Kind::reflection:
      p.where = run.reflection_origin(o.index);
      p.what = "reflection " + std::to_string(s.H[o.index]) + " " + std::to_string(s.K[o.index]) +
               " " + std::to_string(s.L[o.index]) + ": " + p.what;
      break;
    case Origin::Kind::group:
      // Groups formed here are named by their first member's source line.
      if (run.options.overlap_groups()) p.where = run.reflection_origin(o.entry);
      p.what = "overlap group " + std::to_string(o.index) + ": " + p.what;
      break;
    case Origin::Kind::reflections:
      p.hint = "a MEM data set holds at most 99999 reflections";
      break;
    case Origin::Kind::groups:
      p.hint = "a MEM data set holds at most 99999 overlap groups";
      break;
  }
  return p;
}

std::string descriptor(const Field& f) {
  std::string d = f.edit == Field::Edit::I   ? "I"
                  : f.edit == Field::Edit::F ? "F"
                  : f.edit == Field::Edit::G ? "G"
                                             : "1PG";
  d += std::to_string(f.w);
  if (f.edit != Field::Edit::I) d += "." + std::to_string(f.d);
  return d;
}

[[noreturn]] void does_not_fit(const Run& run, const Field& f, std::string_view output) {
  const Place p = place(run, f);
  const bool integer = f.edit == Field::Edit::I;
  const double value = integer ? static_cast<double>(f.integer) : f.real;
  std::string msg =
      p.where + ": " + p.what + " = " + (integer ? std::to_string(f.integer) : number_text(value));
  msg +=
      std::isfinite(value) ? " does not fit the field " : " is not a finite number, in the field ";
  msg += descriptor(f) + " of " + std::string(output);
  if (!p.hint.empty()) msg += "; " + p.hint;
  throw IoFailure("", 0, msg);
}

}  // namespace

namespace record {

void written_as_zero(const Run& run, const Field& f, std::string_view field) {
  const Place p = place(run, f);
  const bool group = f.origin.kind == Origin::Kind::group;
  std::string what = p.where + ": " + p.what + " = " + number_text(f.real) + " is written as " +
                     std::string(field.substr(field.find_first_not_of(' '))) + " in its field " +
                     descriptor(f) + ", a zero uncertainty";
  if (run.options.sigma == RunOptions::Sigma::counting) {
    what += "; E = " + number_text(run.store.E);
    if (!run.origin[Setting::E].empty()) what += " (" + run.origin[Setting::E] + ")";
    what += group ? " is too large for this group" : " is too large for this reflection";
  } else if (!group) {
    what += " from the table's Sigma of Iobs";
  }
  throw IoFailure("", 0, what);
}

void put_general(const Run& run, std::string_view output, char* at, const Field& f) {
  std::string text;
  switch (f.edit) {
    case Field::Edit::I:
      put_I(text, f.integer, f.w);
      break;
    case Field::Edit::F:
      put_F(text, f.real, f.w, f.d);
      break;
    case Field::Edit::G:
      put_G(text, f.real, f.w, f.d, 0);
      break;
    case Field::Edit::PG:
      put_G(text, f.real, f.w, f.d, 1);
      break;
  }
  text.resize(f.w, ' ');
  // A value that does not fit is written as asterisks over the whole field.
  const bool finite = f.edit == Field::Edit::I || std::isfinite(f.real);
  if (!finite || (!text.empty() && text[0] == '*')) does_not_fit(run, f, output);
  text.copy(at, text.size());
}

}  // namespace record

}  // namespace memprep
