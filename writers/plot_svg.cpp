// The plot: for each conversion a row of panels, |Fo| and sigma(|Fo|) against sin(theta)/lambda
// and, where the phases come from the model, |Fo| against |F_model| beside the line of
// equality. Reflections written on their own, members of overlap groups and reflections left
// out have markers of their own. A value axis is logarithmic when its values, all above 0,
// span more than two decades. Plain SVG 1.1, no script, no style sheet.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "io/errors.hpp"
#include "writers/writers.hpp"

namespace memprep {

namespace {

constexpr double kPanelWidth = 420, kPanelHeight = 320;
constexpr double kLeft = 72, kRight = 18, kTop = 48, kBottom = 52;  // margins of a plot area
constexpr double kHeader = 30;                                      // the legend above the rows

// A coordinate of the image, to a tenth of a point.
std::string num(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 1);
  return r.ec == std::errc() ? std::string(buf, r.ptr) : number_text(v);
}

std::string label(double v) {
  return figures_text(v, 4);
}

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters cannot stand in XML 1.0, and a name need not be UTF-8.
        out +=
            static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x80 ? '?' : c;
    }
  }
  return out;
}

// One axis: the range of the values drawn, linear or logarithmic, mapped onto [from, to].
struct Axis {
  double lo = 0, hi = 1;
  bool log = false;
  double from = 0, to = 1;

  static Axis of(const std::vector<double>& values, bool may_be_log) {
    Axis a;
    double lo = INFINITY, hi = -INFINITY;
    for (double v : values)
      if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    if (!(lo <= hi)) return a;  // nothing to draw
    // Far from the ends of the doubles, so that every decade is a number above 0.
    a.log = may_be_log && lo > 1e-300 && hi < 1e300 && hi / lo > 100;
    if (a.log) {
      a.lo = std::pow(10, std::floor(std::log10(lo)));
      a.hi = std::pow(10, std::ceil(std::log10(hi)));
    } else {
      a.lo = std::min(lo, 0.0);
      a.hi = hi > a.lo ? hi + 0.04 * (hi - a.lo) : a.lo + 1;
    }
    return a;
  }
  bool shows(double v) const { return std::isfinite(v) && (!log || v > 0); }
  double at(double v) const {
    const double t = log ? (std::log10(v) - std::log10(lo)) / (std::log10(hi) - std::log10(lo))
                         : (v - lo) / (hi - lo);
    return from + t * (to - from);
  }
  // The values of the ticks: the decades, or steps of 1, 2 or 5 times a power of ten.
  std::vector<double> ticks() const {
    std::vector<double> t;
    if (log) {
      // A tick every decade, or every few decades when they are many.
      const double decades = std::round(std::log10(hi / lo));
      const double every = std::pow(10, std::ceil(decades / 10));
      for (double v = lo; v <= hi * 1.0001; v *= every) t.push_back(v);
      return t;
    }
    const double raw = (hi - lo) / 5, p = std::pow(10, std::floor(std::log10(raw)));
    const double step = raw / p < 1.5 ? p : raw / p < 3.5 ? 2 * p : raw / p < 7.5 ? 5 * p : 10 * p;
    for (double v = std::ceil(lo / step) * step; v <= hi + 1e-9 * step; v += step)
      t.push_back(std::abs(v) < 1e-9 * step ? 0 : v);
    return t;
  }
};

struct Marker {
  const char* name;
  const char* colour;
};
constexpr Marker kWritten{"written", "#1f5fa8"}, kMember{"member of an overlap group", "#e08a00"},
    kLeftOut{"left out", "#c8102e"};

const Marker& marker_of(const ListedReflection& r) {
  switch (r.status) {
    case ListedReflection::Status::written:
      return kWritten;
    case ListedReflection::Status::member:
      return kMember;
    default:
      return kLeftOut;
  }
}

std::string mark(const Marker& m, double x, double y) {
  if (&m == &kWritten)
    return "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"2.4\" fill=\"" + m.colour +
           "\"/>";
  if (&m == &kMember)
    return "<rect x=\"" + num(x - 2.6) + "\" y=\"" + num(y - 2.6) +
           "\" width=\"5.2\" height=\"5.2\" fill=\"none\" stroke=\"" + m.colour +
           "\" stroke-width=\"1.2\"/>";
  return "<path d=\"M" + num(x - 3) + " " + num(y - 3) + "L" + num(x + 3) + " " + num(y + 3) + "M" +
         num(x - 3) + " " + num(y + 3) + "L" + num(x + 3) + " " + num(y - 3) + "\" stroke=\"" +
         m.colour + "\" stroke-width=\"1.4\"/>";
}

// One panel at (x0, y0): frame, ticks, axis names, the points and, for the model panel, the
// line of equality.
void panel(const LineSink& out, double x0, double y0, const std::vector<ListedReflection>& rows,
           double (*x_of)(const ListedReflection&), double (*y_of)(const ListedReflection&),
           const char* x_name, const char* y_name, bool equality) {
  std::vector<double> xs, ys;
  for (const ListedReflection& r : rows) {
    const double x = x_of(r), y = y_of(r);
    if (std::isfinite(x) && std::isfinite(y)) xs.push_back(x), ys.push_back(y);
  }
  Axis ax = Axis::of(xs, equality), ay = Axis::of(ys, true);
  if (equality) {  // both axes alike, so that the line of equality is the diagonal
    std::vector<double> both = xs;
    both.insert(both.end(), ys.begin(), ys.end());
    ax = ay = Axis::of(both, true);
  }
  const double left = x0 + kLeft, right = x0 + kPanelWidth - kRight;
  const double top = y0 + kTop, bottom = y0 + kPanelHeight - kBottom;
  ax.from = left, ax.to = right;
  ay.from = bottom, ay.to = top;

  out("<rect x=\"" + num(left) + "\" y=\"" + num(top) + "\" width=\"" + num(right - left) +
      "\" height=\"" + num(bottom - top) + "\" fill=\"none\" stroke=\"#444\"/>");
  for (double t : ax.ticks()) {
    const double x = ax.at(t);
    out("<path d=\"M" + num(x) + " " + num(bottom) + "v5\" stroke=\"#444\"/><text x=\"" + num(x) +
        "\" y=\"" + num(bottom + 18) + "\" text-anchor=\"middle\">" + label(t) + "</text>");
  }
  for (double t : ay.ticks()) {
    const double y = ay.at(t);
    out("<path d=\"M" + num(left) + " " + num(y) + "h-5\" stroke=\"#444\"/><text x=\"" +
        num(left - 8) + "\" y=\"" + num(y + 4) + "\" text-anchor=\"end\">" + label(t) + "</text>");
  }
  out("<text x=\"" + num((left + right) / 2) + "\" y=\"" + num(bottom + 38) +
      "\" text-anchor=\"middle\">" + x_name + (ax.log ? " (log)" : "") + "</text>");
  out("<text transform=\"translate(" + num(x0 + 16) + " " + num((top + bottom) / 2) +
      ") rotate(-90)\" text-anchor=\"middle\">" + y_name + (ay.log ? " (log)" : "") + "</text>");
  if (equality && !xs.empty())
    out("<path d=\"M" + num(ax.at(ax.lo)) + " " + num(ay.at(ay.lo)) + "L" + num(ax.at(ax.hi)) +
        " " + num(ay.at(ay.hi)) + "\" stroke=\"#999\" stroke-dasharray=\"4 3\"/>");
  // Left-out reflections last, so that they stay visible over the others.
  for (const Marker* m : {&kWritten, &kMember, &kLeftOut}) {
    std::string points;
    for (const ListedReflection& r : rows) {
      const double x = x_of(r), y = y_of(r);
      if (&marker_of(r) != m || !ax.shows(x) || !ay.shows(y)) continue;
      points += mark(*m, ax.at(x), ay.at(y));
      if (points.size() > 4000) out(points), points.clear();
    }
    if (!points.empty()) out(points);
  }
}

double stol(const ListedReflection& r) {
  return r.d > 0 ? 1 / (2 * r.d) : std::nan("");
}
double fo(const ListedReflection& r) {
  return r.FoAbs;
}
double sigma(const ListedReflection& r) {
  return r.SigFo;
}
double f_model(const ListedReflection& r) {
  return r.FModel;
}

}  // namespace

void write_plot_svg(const std::vector<Listing>& conversions, const LineSink& out) {
  std::size_t columns = 2;
  for (const Listing& c : conversions)
    if (c.model_phases) columns = 3;
  const double width = kPanelWidth * static_cast<double>(columns);
  const double height = kHeader + kPanelHeight * static_cast<double>(conversions.size());
  out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  out("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + num(width) +
      "\" height=\"" + num(height) + "\" viewBox=\"0 0 " + num(width) + " " + num(height) +
      "\" font-family=\"sans-serif\" font-size=\"12\">");
  out("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>");
  double x = 12;
  for (const Marker* m : {&kWritten, &kMember, &kLeftOut}) {
    out(mark(*m, x, 18) + "<text x=\"" + num(x + 8) + "\" y=\"22\">" + m->name + "</text>");
    x += 24 + 7 * static_cast<double>(std::string_view(m->name).size());
  }
  double y0 = kHeader;
  for (const Listing& c : conversions) {
    std::size_t shown[3] = {0, 0, 0};
    for (const ListedReflection& r : c.rows)
      ++shown[&marker_of(r) == &kWritten ? 0 : &marker_of(r) == &kMember ? 1 : 2];
    out("<text x=\"12\" y=\"" + num(y0 + 22) + "\" font-weight=\"bold\">" + escaped(c.control) +
        ": " + escaped(c.source) + " \xE2\x80\x94 " + escaped(c.title) + "</text>");
    out("<text x=\"12\" y=\"" + num(y0 + 38) + "\">" + std::to_string(c.rows.size()) +
        " reflections read: " + std::to_string(shown[0]) + " written, " + std::to_string(shown[1]) +
        " in overlap groups, " + std::to_string(shown[2]) + " left out</text>");
    const char* stol_name = "sin \xCE\xB8/\xCE\xBB (1/\xC3\x85)";
    panel(out, 0, y0, c.rows, stol, fo, stol_name, "|Fo|", false);
    panel(out, kPanelWidth, y0, c.rows, stol, sigma, stol_name, "\xCF\x83(|Fo|)", false);
    if (c.model_phases)
      panel(out, 2 * kPanelWidth, y0, c.rows, f_model, fo, "|F_model|", "|Fo|", true);
    y0 += kPanelHeight;
  }
  out("</svg>");
}

}  // namespace memprep
