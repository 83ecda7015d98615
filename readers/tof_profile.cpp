// Time-of-flight reflections: intensities rescaled by the dumped histogram profile, and the
// store put in order of decreasing wavelength.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

#include "readers/list_file.hpp"

namespace memprep {

namespace {

constexpr std::size_t kWidth = 128;

// A record of the dump with "1" in column 1 is a page header, unless columns 1-6 hold a
// record number of six digits (100000 and beyond also start with "1").
bool page_header(std::string_view r) {
  if (!at(r, 1, "1")) return false;
  std::string_view number = cols(r, 1, 6);
  return !(number.size() == 6 && number.find_first_not_of("0123456789") == std::string_view::npos);
}

// The points of the block of the HISTORD-th reflection list, in the order of the dump, each
// given to point(tof, mul, div): blocks are counted by their records numbered 1.
template <class Point>
void read_profile_block(TextSource& src, std::int64_t HISTORD, Point point) {
  src.find([](std::string_view r) { return at(r, 35, "HSTDMP"); }, "the HSTDMP title", kWidth);
  src.find([](std::string_view r) { return at(r, 1, " RecNo"); }, "\" RecNo\"", kWidth);
  std::int64_t c = 0;
  while (src.next(kWidth)) {
    if (page_header(src.rec())) {
      if (!src.next(kWidth) || !src.next(kWidth)) break;
      continue;
    }
    src.require_line_end();
    if (src.I(1, 6) == 1) ++c;
    if (c > HISTORD) break;  // the next histogram's block has begun
    if (c < HISTORD) continue;
    // (F10.0,F8.0,F12.0,E16.0,F8.0,E16.0,F8.0) over columns 9-128; every field must convert.
    const double tof = src.F(9, 18, 0);
    src.F(19, 26, 0);
    src.F(27, 38, 0);
    const double mul = src.F(39, 54, 0);
    src.F(55, 62, 0);
    src.F(63, 78, 0);
    const double div = src.F(79, 86, 0);
    point(tof, mul, div);
  }
}

}  // namespace

// Each reflection is scaled by the first point at which the running maximum of the times of
// flight exceeds its own time of flight, whatever the order of the points. With the
// reflections in order of time of flight that is one pass over the points: each point
// takes the reflections below the running maximum that no earlier point took. The points
// are not kept, so a dump of any length needs no memory.
void correct_tof_intensities(Run& run, std::int64_t HISTORD) {
  Store& s = run.store;
  // A reflection whose time of flight is NaN has no point beyond it, as one beyond them all.
  std::vector<std::int64_t> by_tof;
  by_tof.reserve(static_cast<std::size_t>(std::max<std::int64_t>(s.NREF1, 0)));
  for (std::int64_t i = 1; i <= s.NREF1; ++i)
    if (!std::isnan(s.Tof[i])) by_tof.push_back(i);
  std::sort(by_tof.begin(), by_tof.end(),
            [&s](std::int64_t a, std::int64_t b) { return s.Tof[a] < s.Tof[b]; });

  std::size_t taken = 0;
  double running = 0, step = 0;  // the running maximum, and its last rise
  bool first = true;
  std::int64_t zero_divisor = 0, zero_divisor_line = 0;  // the first reflection so scaled
  read_profile_block(run.src, HISTORD, [&](double tof, double mul, double div) {
    if (!first && tof > running) step = tof - running;
    running = first ? tof : std::max(running, tof);
    first = false;
    for (; taken < by_tof.size() && s.Tof[by_tof[taken]] < running; ++taken) {
      const std::int64_t i = by_tof[taken];
      if (div == 0.0) {
        if (zero_divisor == 0 || i < zero_divisor) {
          zero_divisor = i;
          zero_divisor_line = run.src.line();
        }
        continue;
      }
      s.Io[i] = s.Io[i] * mul * 1.0e-10 / (div * 0.001);
    }
  });
  // The dump has no end mark: one that stops before the last reflection's time of flight
  // (a file cut inside it) leaves the reflections beyond it unscaled. A reflection less than
  // one step of the dump beyond its last point lies at the edge of the range measured.
  if (taken < by_tof.size() && s.Tof[by_tof[taken]] - running > step) {
    const std::int64_t i = by_tof[taken];
    run.warnings << "memprep: " << where(run.src.name(), run.src.line())
                 << ": warning: the profile dump of the histogram "
                 << (first ? std::string("holds no point")
                           : "stops at a time of flight of " + number_text(running) + " ms")
                 << ", before reflection " << s.H[i] << " " << s.K[i] << " " << s.L[i] << " at "
                 << number_text(std::round(s.Tof[i] * 1e4) / 1e4)
                 << " ms: " << by_tof.size() - taken
                 << " reflections keep their unscaled intensity; is the file complete?\n";
  }
  if (zero_divisor != 0) {
    const std::int64_t i = zero_divisor;
    throw IoFailure(run.src.name(), zero_divisor_line,
                    "columns 79-86: the profile point that scales reflection " +
                        std::to_string(s.H[i]) + " " + std::to_string(s.K[i]) + " " +
                        std::to_string(s.L[i]) + " has a divisor of 0");
  }
}

// Step i of the selection sort swaps reflection i with the first reflection after it of the
// largest wavelength there, when that wavelength is greater than reflection i's. A tournament
// tree over the positions still to be placed names that reflection at its root: each node
// holds the position of the largest wavelength below it, the lowest position among equals.
void sort_by_wavelength(Store& s) {
  const std::int64_t n = s.NREF1;
  if (n < 2) return;
  const std::size_t size = static_cast<std::size_t>(n) + 1;
  // The wavelength of the reflection now at each position, and its original position.
  std::vector<double> w(s.Wavelength.begin(), s.Wavelength.begin() + n + 1);
  std::vector<std::int64_t> from(size);
  std::iota(from.begin(), from.end(), 0);

  // The leaf of position p is tree[leaves + p]; position 0 stands for none.
  std::size_t leaves = 1;
  while (leaves < size) leaves *= 2;
  std::vector<std::int64_t> tree(2 * leaves, 0);
  // Of positions a < b, the one of the larger wavelength; a when they are equal.
  auto larger = [&w](std::int64_t a, std::int64_t b) {
    return a == 0 || (b != 0 && w[b] > w[a]) ? b : a;
  };
  // Puts holder at the leaf of position p and replays the matches above it.
  auto set_leaf = [&](std::int64_t p, std::int64_t holder) {
    std::size_t k = leaves + static_cast<std::size_t>(p);
    tree[k] = holder;
    for (k /= 2; k >= 1; k /= 2) tree[k] = larger(tree[2 * k], tree[2 * k + 1]);
  };
  for (std::int64_t p = 1; p <= n; ++p) tree[leaves + static_cast<std::size_t>(p)] = p;
  for (std::size_t k = leaves - 1; k >= 1; --k) tree[k] = larger(tree[2 * k], tree[2 * k + 1]);

  for (std::int64_t i = 1; i < n; ++i) {
    set_leaf(i, 0);  // position i is placed now: the root names the first largest after it
    const std::int64_t j = tree[1];
    if (w[j] > w[i]) {
      std::swap(w[i], w[j]);
      std::swap(from[i], from[j]);
      set_leaf(j, j);  // position j holds a smaller wavelength now
    }
  }

  // Every per-entry array, the source line included: messages about a reflection name its
  // line.
  s.reorder(from, n);
}

}  // namespace memprep
