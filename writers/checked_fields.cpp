#include "writers/checked_fields.hpp"

#include "io/errors.hpp"

namespace memprep {

ValueOrigin setting_origin(const Run& run, std::string_view name) {
  const SettingOrigins& o = run.origin;
  struct Row {
    std::string_view prefix;
    const std::string* where;
  };
  const Row rows[] = {
      {"the cell", &o.cell},
      {"SPG", &o.symmetry},
      {"SET", &o.symmetry},
      {"N", &o.grid},
      {"the positive", &o.amplitudes},
      {"the negative", &o.amplitudes},
      {"lambda1", &o.lambda1},
      {"the histogram", &o.hist},
      {"the bank number", &o.hist},
      {"the phase", &o.phase},
      {"2theta", &o.bank},
  };
  ValueOrigin v{where(run.SRCFILE, 0), std::string(name), {}};
  for (const Row& r : rows)
    if (name.starts_with(r.prefix) && !r.where->empty()) {
      v.where = *r.where;
      break;
    }
  if (name == "the number of reflections")
    v.hint = "a MEM data set holds at most 99999 reflections";
  else if (name == "the number of overlap groups")
    v.hint = "a MEM data set holds at most 99999 overlap groups";
  else if (v.where.starts_with(where(run.CTLFILE, 0) + ":"))
    v.hint = "each control line holds one setting in a fixed order: the lines may be out of order";
  return v;
}

ValueOrigin reflection_origin(const Run& run, std::size_t i, std::string_view name) {
  const Store& s = run.store;
  return {run.reflection_origin(i),
          "reflection " + std::to_string(s.H[i]) + " " + std::to_string(s.K[i]) + " " +
              std::to_string(s.L[i]) + ": " + std::string(name),
          {}};
}

void value_does_not_fit(const ValueOrigin& origin, double value, std::string_view kind, int w,
                        int d, std::string_view output) {
  std::string descriptor(kind);
  descriptor += std::to_string(w);
  if (kind != "I") {
    descriptor += '.';
    descriptor += std::to_string(d);
  }
  const bool integer = kind == "I";
  std::string msg =
      origin.where + ": " + origin.what + " = " +
      (integer ? std::to_string(static_cast<std::int64_t>(value)) : number_text(value));
  msg +=
      std::isfinite(value) ? " does not fit the field " : " is not a finite number, in the field ";
  msg += descriptor + " of " + std::string(output);
  if (!origin.hint.empty()) msg += "; " + origin.hint;
  throw IoFailure("", 0, msg);
}

}  // namespace memprep
