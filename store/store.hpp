// The reflection store: the per-reflection arrays and the settings that every stage of a
// run reads and writes. Allocated once at full capacity; nothing is allocated per
// reflection. Entries are numbered from 1 (index 0 is unused), entries 1..NREF1 valid.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace memprep {

inline constexpr std::int64_t MAXREF = 100000;

#if defined(__SANITIZE_ADDRESS__)
#define MEMPREP_STORE_REDZONES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMPREP_STORE_REDZONES 1
#endif
#endif

// The memory of the store's arrays: one mapping from the system, handed out in slices. Its
// pages are zero until first touched, so a run pays only for the entries it uses, and nothing
// is cleared or value-initialised. The mapping ends with a page that cannot be touched: an
// entry beyond the last array is a fault at once.
//
// Under AddressSanitizer every slice stands between two redzones of kRedzone bytes that the
// sanitizer is told not to let anyone touch, as its own allocator does around each block: an
// entry before the first or after the last of an array is reported where it is written.
class StoreMemory {
 public:
#ifdef MEMPREP_STORE_REDZONES
  static constexpr std::size_t kRedzone = 4096;
#else
  static constexpr std::size_t kRedzone = 0;
#endif

  // Throws std::bad_alloc when the system has no memory to give.
  explicit StoreMemory(std::size_t bytes);
  ~StoreMemory();
  StoreMemory(const StoreMemory&) = delete;
  StoreMemory& operator=(const StoreMemory&) = delete;

  // The next `bytes` of the mapping, on a 64-byte boundary; std::bad_alloc past its end.
  void* take(std::size_t bytes);

  // Makes the pages of `bytes` from `at` (within the mapping) present, as zero pages written
  // to; nothing where the system cannot (before Linux 5.14). Safe beside threads that use
  // the same pages: what they hold is not changed.
  static void populate(void* at, std::size_t bytes);

  // The room `count` slices of `bytes` each take, with their redzones.
  static constexpr std::size_t room(std::size_t count, std::size_t bytes) {
    return kRedzone + count * ((bytes + 63) / 64 * 64 + kRedzone);
  }

 private:
  void* base_ = nullptr;
  std::size_t size_ = 0;  // the whole mapping, the inaccessible page included
  std::size_t room_ = 0;  // the bytes that can be handed out
  std::size_t used_ = 0;
  std::vector<std::pair<std::size_t, std::size_t>> poisoned_;  // redzones: offset, length

  // Marks `length` bytes from `offset` as a redzone (nothing without the sanitizer).
  void redzone(std::size_t offset, std::size_t length);
};

// A store array: n zeroed entries in a slice of the store's memory.
template <class T>
class StoreArray {
  static_assert(std::is_trivial_v<T>);
  static_assert(sizeof(T) == 8, "the store's memory is laid out for entries of 8 bytes");

 public:
  StoreArray(StoreMemory& memory, std::size_t n)
      : data_(static_cast<T*>(memory.take(n * sizeof(T)))), n_(n) {}
  StoreArray(const StoreArray&) = delete;
  StoreArray& operator=(const StoreArray&) = delete;

  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + n_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + n_; }
  std::size_t size() const { return n_; }

 private:
  T* data_;
  std::size_t n_;
};

// Populates the store's arrays on a second thread while a reader fills them: a page the
// reader finds present costs it no fault. Once the reader has filled its first entries it
// keeps to the arrays the reader writes (those whose first page is then present): the
// others are made present where they are first used. It works in blocks of entries, every
// chosen array's part of a block in turn, at most two blocks ahead of the entry the reader
// has reached (`reached`), and moves on to the reader's block when the reader has passed
// it. Stopped and joined when it ends.
class StorePrefetch {
 public:
  static constexpr std::size_t kBlock = 8192;  // entries: 64 KiB of each array
  static constexpr std::size_t kProbe = 16;    // entries filled before the arrays are chosen

  StorePrefetch() = default;
  ~StorePrefetch() { stop(); }
  StorePrefetch(const StorePrefetch&) = delete;
  StorePrefetch& operator=(const StorePrefetch&) = delete;

  // Starts on the arrays at `arrays` (their data), `entries` of each.
  void start(std::vector<void*> arrays, std::size_t entries);
  void stop();
  // The reader has filled the entries before n.
  void reached(std::size_t n) { reached_.store(n, std::memory_order_relaxed); }

 private:
  void run();

  std::vector<void*> arrays_;
  std::size_t entries_ = 0;
  std::atomic<std::size_t> reached_{0};
  std::atomic<bool> stopped_{false};
  std::thread thread_;
};

struct Store {
  // The per-entry arrays, every one of MAXREF + 1 entries of 8 bytes, in one mapping.
  static constexpr std::size_t kArrays = 18;
  static constexpr std::size_t kEntryBytes = 8;

  Store()
      : memory_(StoreMemory::room(kArrays, (MAXREF + 1) * kEntryBytes)),
        H(memory_, MAXREF + 1),
        K(memory_, MAXREF + 1),
        L(memory_, MAXREF + 1),
        FoR(memory_, MAXREF + 1),
        FoI(memory_, MAXREF + 1),
        FoAbs(memory_, MAXREF + 1),
        Io(memory_, MAXREF + 1),
        Wavelength(memory_, MAXREF + 1),
        Dspacing(memory_, MAXREF + 1),
        Tof(memory_, MAXREF + 1),
        SigFo(memory_, MAXREF + 1),
        SrcLine(memory_, MAXREF + 1),
        MRef(memory_, MAXREF + 1),
        Pos(memory_, MAXREF + 1),
        Fwhm(memory_, MAXREF + 1),
        Icalc(memory_, MAXREF + 1),
        SigIo(memory_, MAXREF + 1),
        FcAbs(memory_, MAXREF + 1) {}

 private:
  StoreMemory memory_;  // first: the arrays below are slices of it

 public:
  // Per reflection.
  StoreArray<std::int64_t> H, K, L;
  StoreArray<double> FoR, FoI, FoAbs, Io, Wavelength, Dspacing, Tof;
  // sigma(|Fo|): as read from an earlier MEM data set, then the value the MEM data set is
  // given (assign_uncertainties).
  StoreArray<double> SigFo;
  // The source line (record, for a binary source) each reflection was read from.
  StoreArray<std::int64_t> SrcLine;

  std::int64_t NREF1 = 0;

  // Overlap groups: reflections that share one observed value G'o'. The members of all
  // groups stand after the NREF1 single reflections, group after group, with their M values
  // in MRef; NREF2 = groups.size(). Members of groups formed from the source keep every
  // value of their reflection; those read from an earlier MEM data set have h k l and M only.
  struct OverlapGroup {
    double Go = 0;   // G'o'
    double Sum = 0;  // SUM: the group's sigma(G'o') when the group was formed here
    std::int64_t NMem = 0;
  };
  std::vector<OverlapGroup> groups;
  // M of each group member; the multiplicity of each reflection where the source gives one.
  StoreArray<std::int64_t> MRef;
  // When overlap groups were formed from the source: the entries of the reflections written,
  // single reflections and group members alike, in the order the reader gave them (the
  // companion file lists every reflection on its own line). Empty otherwise: the single
  // reflections 1..NREF1 are that list.
  std::vector<std::int64_t> source_order;

  // Read only when overlap groups or the refinement's uncertainties are asked for, and used
  // up before reflections are left out: the
  // peak position (2theta in degrees or time of flight) and its FWHM, the calculated
  // intensity and the sigma of the observed one from the refinement's table, and |F|calc of
  // the auxiliary file on the scale of |Fo| (|F_model|, always, when the phases come from
  // the model).
  StoreArray<double> Pos, Fwhm, Icalc, SigIo, FcAbs;

  std::string TITLE;             // at most 70 characters; written without its trailing blanks
  std::array<double, 6> CELL{};  // a, b, c, alpha, beta, gamma
  std::int64_t SPG = 0, SET = 0;
  char VOL = ' ';
  std::int64_t NX = 0, NY = 0, NZ = 0;
  double E = 0;
  std::int64_t IAMP = 0;
  double AMPPOS = 0, AMPNEG = 0;
  double LAMBDA1 = 0;
  std::int64_t IHIST = 0, IPHASE = 0;
  std::int64_t NBANK = 0, NBANKS = 0;
  double TWOTH = 0;
  double TOFLIN = 0, TOFQUAD = 0, TOFZERO = 0;
  bool LTOF = false;

  // Stops the run with the capacity message when `count` entries (single reflections and
  // group members together) would not fit the store; at() gives "FILE:LINE" of the line that
  // would not fit.
  template <class At>
  static void require_capacity(std::int64_t count, At&& at) {
    if (count > MAXREF) stop_at_capacity(at());
  }
  static void require_capacity(std::int64_t count) {
    if (count > MAXREF) stop_at_capacity({});
  }
  // The entry of a new single reflection read from source line `src_line`: NREF1 + 1,
  // checked against the capacity.
  template <class At>
  std::size_t add_reflection(std::int64_t src_line, At&& at) {
    require_capacity(NREF1 + 1, at);
    const auto n = static_cast<std::size_t>(++NREF1);
    SrcLine[n] = src_line;
    prefetch_.reached(n);
    return n;
  }
  [[noreturn]] static void stop_at_capacity(const std::string& at);

  // Calls f(array) for every per-entry array: the one list that copying and reordering
  // entries go by.
  template <class F>
  void for_each_array(F&& f) {
    for (auto* a : {&H, &K, &L, &SrcLine, &MRef}) f(*a);
    for (auto* a : {&FoR, &FoI, &FoAbs, &Io, &Wavelength, &Dspacing, &Tof, &SigFo, &Pos, &Fwhm,
                    &Icalc, &SigIo, &FcAbs})
      f(*a);
  }

  // Copies every per-entry value of entry `from` to entry `to`.
  void copy_entry(std::size_t to, std::size_t from) {
    for_each_array([&](auto& a) { a[to] = a[from]; });
  }

  // Entries 1..n take the values of entries from[1..n] (from[0] is not used), the values
  // read for the uncertainties and the overlap groups included.
  void reorder(const std::vector<std::int64_t>& from, std::int64_t n);

  // Tells the store that about n entries are coming: their pages are made present beside the
  // reader (StorePrefetch), at most MAXREF + 1 of each array.
  void expect(std::size_t n);
  // The reader has taken its last entry: the populating stops, leaving the second core to
  // the rest of the reading, the steps and the writers.
  void entries_done() { prefetch_.stop(); }
  // The reader has filled entry n (add_reflection tells it for those that use it): the
  // populating keeps a little ahead of it.
  void reached(std::size_t n) { prefetch_.reached(n); }

 private:
  StorePrefetch prefetch_;  // last: stopped before the arrays' memory goes
};

// What is wrong with a unit cell whose lengths are not all positive or whose angles do not
// all lie strictly between 0 and 180 degrees; empty for a cell that can be right.
std::string cell_fault(const std::array<double, 6>& cell);

// What is wrong with a title for line 2 of the outputs: a control byte (a tab aside), which
// would stand in the text files, or a beginning that reads as a marker line of the MEM data
// set ("#", optional blanks, and a section name); empty for a title that can be written.
std::string title_fault(std::string_view title);

// Dspacing of entries 1..n from the cell and h k l, by the general (triclinic) expression.
void d_spacings_from_cell(Store& s, std::int64_t n);

// What is wrong with grid numbers below 1; empty when all three are 1 or more.
std::string grid_fault(std::int64_t NX, std::int64_t NY, std::int64_t NZ);

// The console line of a reader that meets more reflections than the store holds:
// " The number of reflections is greater than" followed directly by MAXREF in I6.
std::string capacity_message();

}  // namespace memprep
