// Time-of-flight reflections: intensities rescaled by the dumped histogram profile, and the
// store put in order of decreasing wavelength.
#include <algorithm>
#include <cstring>
#include <numeric>
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

// Positions 1..n of w with keys that order as the values do, sorted by key and, among
// equal keys (equal values), by position: a stable radix sort, 11 bits a pass.
std::vector<std::pair<std::uint64_t, std::int64_t>> by_ascending_key(const StoreArray<double>& w,
                                                                     std::int64_t n) {
  using Entry = std::pair<std::uint64_t, std::int64_t>;
  std::vector<Entry> a(static_cast<std::size_t>(n)), b(static_cast<std::size_t>(n));
  for (std::int64_t i = 1; i <= n; ++i) {
    std::uint64_t bits;
    const double v = w[i] + 0.0;  // -0 as 0
    std::memcpy(&bits, &v, sizeof bits);
    bits = bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63);
    a[i - 1] = {bits, i};
  }
  constexpr int kBits = 11;
  constexpr std::size_t kBuckets = std::size_t{1} << kBits;
  std::vector<std::size_t> start(kBuckets);
  for (int shift = 0; shift < 64; shift += kBits) {
    std::fill(start.begin(), start.end(), 0);
    for (const Entry& e : a) ++start[(e.first >> shift) & (kBuckets - 1)];
    if (start[(a[0].first >> shift) & (kBuckets - 1)] == a.size()) continue;  // one digit
    std::size_t sum = 0;
    for (std::size_t& c : start) sum += std::exchange(c, sum);
    for (const Entry& e : a) b[start[(e.first >> shift) & (kBuckets - 1)]++] = e;
    a.swap(b);
  }
  return a;
}

// Puts a[from[i]] at position i, for i = 1..n.
template <class T>
void permute(StoreArray<T>& a, const std::vector<std::int64_t>& from, std::int64_t n,
             std::vector<T>& scratch) {
  scratch.resize(static_cast<std::size_t>(n) + 1);
  for (std::int64_t i = 1; i <= n; ++i) scratch[i] = a[from[i]];
  std::copy(scratch.begin() + 1, scratch.begin() + n + 1, a.begin() + 1);
}

}  // namespace

void correct_tof_intensities(Run& run, std::int64_t HISTORD) {
  Store& s = run.store;
  const Profile p = read_profile_block(run.src, HISTORD);
  if (s.NREF1 <= 0 || p.HstTof.empty()) return;

  // The first point whose time of flight exceeds t is the first point at which the running
  // maximum of the times of flight exceeds t, whatever the order of the points.
  std::vector<double> running(p.HstTof.size());
  std::partial_sum(p.HstTof.begin(), p.HstTof.end(), running.begin(),
                   [](double a, double b) { return std::max(a, b); });

  for (std::int64_t i = 1; i <= s.NREF1; ++i) {
    const auto beyond = std::upper_bound(running.begin(), running.end(), s.Tof[i]);
    if (beyond == running.end()) continue;  // no point beyond: unchanged
    const std::size_t j = static_cast<std::size_t>(beyond - running.begin());
    if (p.HstDiv[j] == 0.0)
      throw IoFailure(run.src.name(), p.line[j],
                      "columns 79-86: the profile point that scales reflection " +
                          std::to_string(s.H[i]) + " " + std::to_string(s.K[i]) + " " +
                          std::to_string(s.L[i]) + " has a divisor of 0");
    s.Io[i] = s.Io[i] * p.HstMul[j] * 1.0e-10 / (p.HstDiv[j] * 0.001);
  }
}

// Step i of the selection sort looks for the largest wavelength after position i. Let M be
// the largest wavelength at positions i..n. If reflection i has it, nothing after i is
// greater and i stays; otherwise every reflection of wavelength M lies after i and the
// lowest-placed one comes to i, while reflection i takes its place. A group of equal
// wavelengths gains places only while a greater wavelength remains, so when it becomes the
// largest its places can be sorted once and taken in increasing order.
void sort_by_wavelength(Store& s) {
  const std::int64_t n = s.NREF1;
  if (n < 2) return;
  const std::size_t size = static_cast<std::size_t>(n) + 1;

  // The groups of equal wavelength, ascending; within a group, its positions ascending.
  std::vector<std::pair<std::uint64_t, std::int64_t>> by_value = by_ascending_key(s.Wavelength, n);
  std::vector<std::int64_t> group(size);  // group of the reflection now at each position
  std::vector<std::int64_t> first_of{0};  // first entry of each group in by_value
  for (std::int64_t k = 0; k < n; ++k) {
    if (k > 0 && by_value[k].first != by_value[k - 1].first) first_of.push_back(k);
    group[by_value[k].second] = static_cast<std::int64_t>(first_of.size()) - 1;
  }
  const std::int64_t groups = static_cast<std::int64_t>(first_of.size());
  first_of.push_back(n);

  std::vector<std::int64_t> remaining(groups);  // reflections of each group at positions i..n
  for (std::int64_t g = 0; g < groups; ++g) remaining[g] = first_of[g + 1] - first_of[g];
  // Places a group gains through swaps, as lists chained from gained_head.
  std::vector<std::int64_t> gained_head(groups, -1), gained_next, gained_pos;
  std::vector<std::int64_t> from(size);  // original position of the reflection now at each
  for (std::int64_t i = 0; i <= n; ++i) from[i] = i;

  std::int64_t M = groups;
  std::vector<std::int64_t> places;  // positions of group M, ascending
  std::size_t next_place = 0;
  for (std::int64_t i = 1; i < n; ++i) {
    if (M == groups || remaining[M] == 0) {
      do --M;
      while (remaining[M] == 0);
      places.clear();
      for (std::int64_t k = first_of[M]; k < first_of[M + 1]; ++k)
        places.push_back(by_value[k].second);
      bool gained = false;
      for (std::int64_t e = gained_head[M]; e >= 0; e = gained_next[e]) {
        places.push_back(gained_pos[e]);
        gained = true;
      }
      if (gained) std::sort(places.begin(), places.end());
      next_place = 0;
    }
    --remaining[M];  // position i ends with a reflection of group M
    const std::int64_t u = group[i];
    if (u == M) continue;
    std::int64_t j;
    do j = places[next_place++];
    while (j <= i || group[j] != M);
    group[i] = M;
    group[j] = u;
    gained_next.push_back(gained_head[u]);
    gained_pos.push_back(j);
    gained_head[u] = static_cast<std::int64_t>(gained_pos.size()) - 1;
    std::swap(from[i], from[j]);
  }

  std::vector<std::int64_t> ints;
  permute(s.H, from, n, ints);
  permute(s.K, from, n, ints);
  permute(s.L, from, n, ints);
  std::vector<double> reals;
  for (auto* a : {&s.Dspacing, &s.FoR, &s.FoI, &s.FoAbs, &s.Io, &s.Wavelength, &s.Tof})
    permute(*a, from, n, reals);
}

}  // namespace memprep
