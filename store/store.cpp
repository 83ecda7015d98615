#include "store/store.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>

#ifdef MEMPREP_STORE_REDZONES
#include <sanitizer/asan_interface.h>
#endif

#include "io/errors.hpp"
#include "io/fields.hpp"
#include "io/threads.hpp"
#include "store/degrees.hpp"

namespace memprep {

StoreMemory::StoreMemory(std::size_t bytes) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  room_ = (bytes + page - 1) / page * page;
  size_ = room_ + page;
  base_ = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base_ == MAP_FAILED) throw std::bad_alloc();
  ::mprotect(static_cast<char*>(base_) + room_, page, PROT_NONE);
}

StoreMemory::~StoreMemory() {
#ifdef MEMPREP_STORE_REDZONES
  // The sanitizer keeps its marks after munmap: a later mapping at this address must not
  // inherit them.
  for (const auto& [offset, length] : poisoned_)
    ASAN_UNPOISON_MEMORY_REGION(static_cast<char*>(base_) + offset, length);
#endif
  ::munmap(base_, size_);
}

void* StoreMemory::take(std::size_t bytes) {
  const std::size_t slice = (bytes + 63) / 64 * 64;
  const std::size_t first = used_ == 0 ? kRedzone : 0;  // the redzone before the first slice
  if (first + slice + kRedzone > room_ - used_) throw std::bad_alloc();
  if (first > 0) redzone(0, first);
  const std::size_t at = used_ + first;
  redzone(at + bytes, slice - bytes + kRedzone);  // the slice's padding and the redzone after it
  used_ = at + slice + kRedzone;
  return static_cast<char*>(base_) + at;
}

void StoreMemory::redzone([[maybe_unused]] std::size_t offset,
                          [[maybe_unused]] std::size_t length) {
#ifdef MEMPREP_STORE_REDZONES
  poisoned_.emplace_back(offset, length);
  ASAN_POISON_MEMORY_REGION(static_cast<char*>(base_) + offset, length);
#endif
}

void StoreMemory::populate(void* at, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto first = reinterpret_cast<std::uintptr_t>(at) / page * page;
  const auto last = reinterpret_cast<std::uintptr_t>(at) + bytes;
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)at;
  (void)bytes;
#endif
}

void StorePrefetch::start(std::vector<void*> arrays, std::size_t entries) {
  stop();
  arrays_ = std::move(arrays);
  entries_ = entries;
  reached_ = 0;
  stopped_ = false;
  thread_ = start_quiet_thread([this] { run(); });
}

void StorePrefetch::run() {
  // The arrays the reader writes, told by their first page once it has filled a few
  // entries; a reader done before then needs no populating.
  while (reached_.load(std::memory_order_relaxed) < kProbe &&
         !stopped_.load(std::memory_order_relaxed))
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  if (stopped_.load(std::memory_order_relaxed)) return;
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  std::erase_if(arrays_, [page](void* data) {
    const auto at = reinterpret_cast<std::uintptr_t>(data) + Store::kEntryBytes;  // entry 1
    unsigned char present = 0;
    return ::mincore(reinterpret_cast<void*>(at / page * page), 1, &present) == 0 &&
           (present & 1) == 0;
  });
  const std::size_t blocks = (entries_ + kBlock - 1) / kBlock;
  for (std::size_t b = 0; b < blocks && !stopped_.load(std::memory_order_relaxed);) {
    const std::size_t reached = reached_.load(std::memory_order_relaxed);
    if ((b + 1) * kBlock <= reached) {  // the reader has passed this block
      b = reached / kBlock;
      continue;
    }
    if (b * kBlock > reached + 2 * kBlock) {  // far enough ahead
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    const std::size_t first = b * kBlock, n = std::min(kBlock, entries_ - first);
    for (void* data : arrays_)
      StoreMemory::populate(static_cast<char*>(data) + first * Store::kEntryBytes,
                            n * Store::kEntryBytes);
    ++b;
  }
}

void StorePrefetch::stop() {
  stopped_ = true;
  if (thread_.joinable()) thread_.join();
}

void Store::expect(std::size_t n) {
  std::vector<void*> arrays;
  for_each_array([&](auto& a) { arrays.push_back(a.begin()); });
  prefetch_.start(std::move(arrays), std::min<std::size_t>(n, MAXREF + 1));
}

std::string capacity_message() {
  std::string s = " The number of reflections is greater than";
  put_I(s, MAXREF, 6);
  return s;
}

std::string title_fault(std::string_view title) {
  for (std::size_t at = 0; at < title.size(); ++at) {
    const auto c = static_cast<unsigned char>(title[at]);
    if ((c < 0x20 && c != '\t') || c == 0x7f) {
      static const char* const hex = "0123456789abcdef";
      return std::string("the title holds a control byte (0x") + hex[c >> 4] + hex[c & 15] +
             " at byte " + std::to_string(at + 1) + ")";
    }
  }
  if (title.starts_with('#')) {
    constexpr std::string_view kMarkerWords[] = {"Title", "NREF1", "NREF2", "NREF3", "E", "s"};
    const std::string_view rest = trim(title.substr(1));
    const std::string_view word = rest.substr(0, rest.find_first_of(" \t"));
    for (std::string_view marker : kMarkerWords)
      if (word == marker)
        return "the title \"" + std::string(trim_right(title)) +
               "\" would read as a marker line of the MEM data set (\"#\", then \"" +
               std::string(marker) + "\")";
  }
  return {};
}

std::string cell_fault(const std::array<double, 6>& cell) {
  static const char* const names[] = {"a", "b", "c", "alpha", "beta", "gamma"};
  for (int i = 0; i < 3; ++i)
    if (!(cell[i] > 0))
      return std::string("the cell length ") + names[i] + " = " + number_text(cell[i]) +
             " must be greater than 0";
  for (int i = 3; i < 6; ++i)
    if (!(cell[i] > 0 && cell[i] < 180))
      return std::string("the cell angle ") + names[i] + " = " + number_text(cell[i]) +
             " must lie between 0 and 180 degrees";
  // V^2 = (a b c)^2 (1 - cos^2 alpha - cos^2 beta - cos^2 gamma + 2 cos alpha cos beta cos gamma):
  // the metric of the cell is positive definite only when this factor is above 0.
  const double ca = cos_sin_deg(cell[3]).cos, cb = cos_sin_deg(cell[4]).cos,
               cg = cos_sin_deg(cell[5]).cos;
  const double factor = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg;
  if (!(factor > 0))
    return "the cell angles alpha beta gamma = " + number_text(cell[3]) + " " +
           number_text(cell[4]) + " " + number_text(cell[5]) +
           " describe no cell (its volume squared would not be above 0): each angle must be "
           "less than the sum of the other two, and the three less than 360 degrees together";
  return {};
}

std::string grid_fault(std::int64_t NX, std::int64_t NY, std::int64_t NZ) {
  if (NX >= 1 && NY >= 1 && NZ >= 1) return {};
  return "NX NY NZ = " + std::to_string(NX) + " " + std::to_string(NY) + " " + std::to_string(NZ) +
         ": the grid numbers must be 1 or more";
}

void Store::reorder(const std::vector<std::int64_t>& from, std::int64_t n) {
  const auto size = static_cast<std::size_t>(n);
  // One scratch array serves them all (every entry is eight bytes): its memory is taken, and
  // its pages made, once rather than once for each array.
  const auto scratch = std::make_unique_for_overwrite<std::uint64_t[]>(size);
  for_each_array([&](auto& a) {
    for (std::size_t i = 1; i <= size; ++i)
      std::memcpy(&scratch[i - 1], &a[static_cast<std::size_t>(from[i])], sizeof(std::uint64_t));
    std::memcpy(&a[1], scratch.get(), size * sizeof(std::uint64_t));
  });
}

void d_spacings_from_cell(Store& s, std::int64_t n) {
  const double a = s.CELL[0], b = s.CELL[1], c = s.CELL[2];
  const CosSin al = cos_sin_deg(s.CELL[3]), be = cos_sin_deg(s.CELL[4]),
               ga = cos_sin_deg(s.CELL[5]);
  const double ca = al.cos, cb = be.cos, cg = ga.cos;
  const double sa = al.sin, sb = be.sin, sg = ga.sin;

  const double abc = a * b * c;
  const double v2 = abc * abc * (1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg);
  const double bcs = b * c * sa, acs = a * c * sb, abs_ = a * b * sg;
  const double A = bcs * bcs, B = acs * acs, C = abs_ * abs_;
  const double P = 2 * a * b * (c * c) * (ca * cb - cg);
  const double Q = 2 * (a * a) * b * c * (cb * cg - ca);
  const double R = 2 * a * (b * b) * c * (ca * cg - cb);

  for (std::int64_t j = 1; j <= n; ++j) {
    const auto i = static_cast<std::size_t>(j);
    const double h = static_cast<double>(s.H[i]);
    const double k = static_cast<double>(s.K[i]);
    const double l = static_cast<double>(s.L[i]);
    const double S = A * (h * h) + B * (k * k) + C * (l * l) + P * h * k + Q * k * l + R * h * l;
    s.Dspacing[i] = std::sqrt(v2 / S);
  }
}

void Store::stop_at_capacity(const std::string& at) {
  throw Stop(capacity_message(),
             at.empty() ? std::string()
                        : at + ": the store holds " + std::to_string(MAXREF) +
                              " reflections, group members included, and this is one more");
}

}  // namespace memprep
