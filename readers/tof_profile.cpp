// Time-of-flight reflections: intensities rescaled by the dumped histogram profile, and the
// store put in order of decreasing wavelength.
#include <algorithm>
#include <utility>

#include "readers/list_file.hpp"

namespace memprep {

namespace {

constexpr std::size_t kWidth = 128;

// The profile points of one HSTDMP block.
struct Profile {
  std::vector<double> HstTof, HstMul, HstDiv;
  std::vector<std::int64_t> line;  // record of each point, for messages
};

// A record of the dump with "1" in column 1 is a page header, unless columns 1-6 hold a
// record number of six digits (100000 and beyond also start with "1").
bool page_header(std::string_view r) {
  if (!at(r, 1, "1")) return false;
  std::string_view number = cols(r, 1, 6);
  return !(number.size() == 6 && number.find_first_not_of("0123456789") == std::string_view::npos);
}

// The block of the HISTORD-th reflection list: blocks are counted by their records numbered 1.
Profile read_profile_block(TextSource& src, std::int64_t HISTORD) {
  src.find([](std::string_view r) { return at(r, 35, "HSTDMP"); }, "the HSTDMP title", kWidth);
  src.find([](std::string_view r) { return at(r, 1, " RecNo"); }, "\" RecNo\"", kWidth);
  Profile p;
  std::int64_t c = 0;
  while (src.next(kWidth)) {
    if (page_header(src.rec())) {
      if (!src.next(kWidth) || !src.next(kWidth)) break;
      continue;
    }
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
    p.HstTof.push_back(tof);
    p.HstMul.push_back(mul);
    p.HstDiv.push_back(div);
    p.line.push_back(src.line());
  }
  return p;
}

// Largest value over a range of positions, the lowest position among equal values.
class MaxTree {
 public:
  explicit MaxTree(const std::vector<double>& w, std::int64_t n) {
    while (size_ < n + 1) size_ *= 2;
    node_.assign(2 * size_, Best{});
    for (std::int64_t i = 1; i <= n; ++i) node_[size_ + i] = Best{w[i], i};
    for (std::int64_t i = size_ - 1; i >= 1; --i) node_[i] = better(node_[2 * i], node_[2 * i + 1]);
  }

  void set(std::int64_t i, double v) {
    std::int64_t x = size_ + i;
    node_[x] = Best{v, i};
    for (x /= 2; x >= 1; x /= 2) node_[x] = better(node_[2 * x], node_[2 * x + 1]);
  }

  // Position of the largest value over first..last (first <= last), 0 for an empty range.
  std::int64_t best(std::int64_t first, std::int64_t last) const {
    Best b{};
    for (std::int64_t lo = first + size_, hi = last + size_ + 1; lo < hi; lo /= 2, hi /= 2) {
      if (lo & 1) b = better(b, node_[lo++]);
      if (hi & 1) b = better(b, node_[--hi]);
    }
    return b.pos;
  }

 private:
  struct Best {
    double value = 0;
    std::int64_t pos = 0;  // 0: no position
  };
  // The order is total (larger value, then lower position), so the result of a range does
  // not depend on how the range is split.
  static Best better(const Best& a, const Best& b) {
    if (a.pos == 0) return b;
    if (b.pos == 0) return a;
    if (a.value > b.value) return a;
    if (b.value > a.value) return b;
    return a.pos < b.pos ? a : b;
  }

  std::int64_t size_ = 1;
  std::vector<Best> node_;
};

}  // namespace

void correct_tof_intensities(Run& run, std::int64_t HISTORD) {
  Store& s = run.store;
  const Profile p = read_profile_block(run.src, HISTORD);
  if (s.NREF1 <= 0 || p.HstTof.empty()) return;

  // The first point whose time of flight exceeds t is the first point at which the running
  // maximum of the times of flight exceeds t, whatever the order of the points.
  std::vector<double> running(p.HstTof.size());
  double top = p.HstTof[0];
  for (std::size_t j = 0; j < running.size(); ++j) running[j] = top = std::max(top, p.HstTof[j]);

  for (std::int64_t i = 1; i <= s.NREF1; ++i) {
    auto it = std::upper_bound(running.begin(), running.end(), s.Tof[i]);
    if (it == running.end()) continue;  // beyond the last point: unchanged
    const std::size_t j = static_cast<std::size_t>(it - running.begin());
    if (p.HstDiv[j] == 0.0)
      throw IoFailure(run.src.name(), p.line[j],
                      "columns 79-86: the profile point that scales reflection " +
                          std::to_string(s.H[i]) + " " + std::to_string(s.K[i]) + " " +
                          std::to_string(s.L[i]) + " has a divisor of 0");
    s.Io[i] = s.Io[i] * p.HstMul[j] * 1.0e-10 / (p.HstDiv[j] * 0.001);
  }
}

void sort_by_wavelength(Store& s) {
  const std::int64_t n = s.NREF1;
  if (n < 2) return;
  MaxTree tree(s.Wavelength, n);
  for (std::int64_t i = 1; i < n; ++i) {
    const std::int64_t j = tree.best(i + 1, n);
    if (!(s.Wavelength[j] > s.Wavelength[i])) continue;
    std::swap(s.H[i], s.H[j]);
    std::swap(s.K[i], s.K[j]);
    std::swap(s.L[i], s.L[j]);
    std::swap(s.Dspacing[i], s.Dspacing[j]);
    std::swap(s.FoR[i], s.FoR[j]);
    std::swap(s.FoI[i], s.FoI[j]);
    std::swap(s.FoAbs[i], s.FoAbs[j]);
    std::swap(s.Io[i], s.Io[j]);
    std::swap(s.Wavelength[i], s.Wavelength[j]);
    std::swap(s.Tof[i], s.Tof[j]);
    // Position i is never looked at again; j now holds the old reflection i.
    tree.set(j, s.Wavelength[j]);
  }
}

}  // namespace memprep
