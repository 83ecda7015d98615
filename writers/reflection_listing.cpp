// The per-reflection listing: one tab-separated line per reflection read, after a line
// naming the columns, for a look at the data before a MEM analysis (and for tools that read
// tab-separated text). Numbers have six significant digits; an empty field is a value the
// source does not give.
#include <charconv>
#include <cmath>

#include "io/errors.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

void put_number(std::string& line, double v) {
  line += '\t';
  if (std::isnan(v)) return;
  line += figures_text(v, 6);
}

}  // namespace

const char* status_words(const ListedReflection& r) {
  switch (r.status) {
    case ListedReflection::Status::written:
      return "written";
    case ListedReflection::Status::member:
      return "member of group";
    case ListedReflection::Status::left_out:
      return "left out";
    case ListedReflection::Status::group_left_out:
      return "left out with its overlap group";
  }
  return "";
}

void write_reflection_listing(const std::vector<Listing>& conversions, const LineSink& out) {
  out("control file\tsource\th\tk\tl\td\tsin(theta)/lambda\tIo\t|Fo|\tsigma(|Fo|)\tsigma rule\t"
      "status\treason");
  std::string line;
  for (const Listing& c : conversions)
    for (const ListedReflection& r : c.rows) {
      line.assign(c.control);
      line += '\t';
      line += c.source;
      for (std::int64_t index : {r.h, r.k, r.l}) {
        line += '\t';
        line += std::to_string(index);
      }
      put_number(line, r.d > 0 ? r.d : std::nan(""));
      put_number(line, r.d > 0 ? 1 / (2 * r.d) : std::nan(""));
      put_number(line, r.Io);
      put_number(line, r.FoAbs);
      put_number(line, r.SigFo);
      line += '\t';
      line += r.rule;
      line += '\t';
      line += status_words(r);
      if (r.status == ListedReflection::Status::member) {
        line += ' ';
        line += std::to_string(r.group);
      }
      line += '\t';
      line += r.reason;
      out(line);
    }
}

}  // namespace memprep
