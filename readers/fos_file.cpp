// A structure-factor file of binary records. Each record is a 4-byte
// little-endian byte count, the data, and the same count again; integers are 8-byte and
// reals 8-byte IEEE doubles, both little-endian. A record may be longer than its read
// needs (the rest is passed over), never shorter.
//
// Records: 1 title (70 bytes); 2 the cell (6 reals); 3 NX NY NZ; 4 SPG, SET and VOL (two
// integers and one byte); 5 two reals, not used; 6 AMPPOS, AMPNEG; 7 NREF1; then one
// record per reflection: h, k, l and Fo(r), Fo(i), |Fo|, Io.
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "io/files.hpp"
#include "readers/readers.hpp"

namespace memprep {

namespace {

std::uint64_t load_le(const unsigned char* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// The records of the file, read one at a time through a fixed buffer.
class RecordFile {
 public:
  explicit RecordFile(const std::string& name)
      : name_(name), fd_(open_for_reading(name, Readable::regular)) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      ::close(fd_);
      throw IoFailure(name, 0, std::string("cannot open: ") + std::strerror(errno));
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~RecordFile() { ::close(fd_); }
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Reads the next record and keeps its first `needed` bytes (at most kLongest).
  const unsigned char* read(std::size_t needed) {
    ++record_;
    const std::uint64_t left = size_ - pos_;
    if (left == 0) fail("end of file: the file ends before this record");
    if (left < 4) fail("end of file inside the record's leading count");
    const std::uint64_t n = load_le(take(4), 4);
    if (n + 4 > size_ - pos_)
      fail("the record count of " + std::to_string(n) +
           " bytes reaches beyond the end of the file (truncated file or damaged count)");
    if (n < needed)
      fail("the record holds " + std::to_string(n) + " bytes, " + std::to_string(needed) +
           " are needed");
    std::memcpy(data_, take(needed), needed);
    skip(n - needed);
    const std::uint64_t trail = load_le(take(4), 4);
    if (trail != n)
      fail("damaged record: the leading count " + std::to_string(n) + " and the trailing count " +
           std::to_string(trail) + " differ");
    return data_;
  }

  [[noreturn]] void fail(const std::string& condition) const {
    throw IoFailure(name_, 0, "record " + std::to_string(record_) + ": " + condition);
  }

  static constexpr std::size_t kLongest = 70;  // the title

 private:
  // The next n bytes of the file (n at most the buffer's size), valid until the next call.
  const unsigned char* take(std::size_t n) {
    if (end_ - beg_ < n) fill(n);
    const unsigned char* p = buf_ + beg_;
    beg_ += n;
    pos_ += n;
    return p;
  }

  void skip(std::uint64_t n) {
    pos_ += n;
    if (n <= end_ - beg_) {
      beg_ += static_cast<std::size_t>(n);
      return;
    }
    n -= end_ - beg_;
    beg_ = end_ = 0;
    if (::lseek(fd_, static_cast<off_t>(n), SEEK_CUR) < 0) fail_errno("cannot read");
  }

  void fill(std::size_t n) {
    std::memmove(buf_, buf_ + beg_, end_ - beg_);
    end_ -= beg_;
    beg_ = 0;
    while (end_ < n) {
      const ssize_t got = ::read(fd_, buf_ + end_, sizeof buf_ - end_);
      if (got < 0) {
        if (errno == EINTR) continue;
        fail_errno("read error");
      }
      if (got == 0) fail("end of file inside the record");
      end_ += static_cast<std::size_t>(got);
    }
  }

  [[noreturn]] void fail_errno(const char* what) const {
    fail(std::string(what) + ": " + std::strerror(errno));
  }

  std::string name_;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  std::uint64_t pos_ = 0;  // bytes consumed so far
  std::int64_t record_ = 0;
  std::size_t beg_ = 0, end_ = 0;  // the unconsumed bytes of buf_
  unsigned char buf_[1 << 16];
  unsigned char data_[kLongest];
};

std::int64_t int_at(const unsigned char* rec, int i) {
  return static_cast<std::int64_t>(load_le(rec + 8 * i, 8));
}

[[noreturn, gnu::cold, gnu::noinline]] void not_a_real(const RecordFile& f, int i, double v) {
  f.fail("the real in bytes " + std::to_string(8 * i + 1) + "-" + std::to_string(8 * i + 8) +
         " is " + (std::isnan(v) ? "NaN" : "infinite") + ", not a number");
}

// The i-th real of the record; NaN and infinity are refused, as the text readers refuse them.
// Read for every value of the file: the message is built out of line.
[[gnu::always_inline]] inline double real_at(const RecordFile& f, const unsigned char* rec, int i) {
  const double v = std::bit_cast<double>(load_le(rec + 8 * i, 8));
  if (!std::isfinite(v)) [[unlikely]]
    not_a_real(f, i, v);
  return v;
}

// The title record: trailing NUL bytes are blanks; a line end inside it would split the
// title line of the outputs.
std::string title_of(const RecordFile& f, const unsigned char* rec) {
  std::string title(reinterpret_cast<const char*>(rec), 70);
  for (std::size_t n = title.size(); n > 0 && title[n - 1] == '\0'; --n) title[n - 1] = ' ';
  if (std::size_t at = title.find_first_of("\n\r"); at != std::string::npos)
    f.fail(std::string("the title holds a line end (") +
           (title[at] == '\n' ? "a newline" : "a carriage return") + " at byte " +
           std::to_string(at + 1) + ")");
  if (std::string fault = title_fault(title); !fault.empty()) f.fail(fault);
  return title;
}

}  // namespace

namespace {

// The control layout of a binary structure-factor file: the file gives the rest.
constexpr ControlLine kLayout[] = {
    with_guide(kSourceLine, "the structure-factor file's name (containing `.fos` or `.FOS`)"),
    kOutputLine,
    kELine,
    kIampLine,
    kLambda1Line,
};

}  // namespace

std::span<const ControlLine> fos_file_layout() {
  return kLayout;
}

void read_fos_file(Run& run) {
  Store& s = run.store;
  RecordFile f(run.SRCFILE);

  const unsigned char* rec = f.read(70);
  s.TITLE = title_of(f, rec);

  // Where record n stands, for messages about its values.
  auto record = [&](int n) { return where(run.SRCFILE, 0) + ": record " + std::to_string(n); };
  run.binary_source = true;

  rec = f.read(48);
  for (int i = 0; i < 6; ++i) s.CELL[static_cast<std::size_t>(i)] = real_at(f, rec, i);
  run.origin[Setting::cell] = record(2);
  if (std::string fault = cell_fault(s.CELL); !fault.empty()) f.fail(fault);

  rec = f.read(24);
  s.NX = int_at(rec, 0);
  s.NY = int_at(rec, 1);
  s.NZ = int_at(rec, 2);
  run.origin[Setting::grid] = record(3);
  if (std::string fault = grid_fault(s.NX, s.NY, s.NZ); !fault.empty()) f.fail(fault);

  rec = f.read(17);
  s.SPG = int_at(rec, 0);
  s.SET = int_at(rec, 1);
  s.VOL = static_cast<char>(rec[16]);
  run.origin[Setting::symmetry] = record(4);

  f.read(16);  // two reals the MEM data set does not use

  rec = f.read(16);
  s.AMPPOS = real_at(f, rec, 0);
  s.AMPNEG = real_at(f, rec, 1);
  run.origin[Setting::amplitudes] = record(6);

  rec = f.read(8);
  const std::int64_t nref = int_at(rec, 0);
  if (nref < 0) f.fail("damaged file: the number of reflections is " + std::to_string(nref));
  if (nref > MAXREF)
    throw Stop(capacity_message(), record(7) + ": the file gives " + std::to_string(nref) +
                                       " reflections, more than the store's " +
                                       std::to_string(MAXREF));
  s.NREF1 = nref;

  for (std::int64_t i = 1; i <= nref; ++i) {
    rec = f.read(56);
    s.H[i] = int_at(rec, 0);
    s.K[i] = int_at(rec, 1);
    s.L[i] = int_at(rec, 2);
    s.FoR[i] = real_at(f, rec, 3);
    s.FoI[i] = real_at(f, rec, 4);
    s.FoAbs[i] = real_at(f, rec, 5);
    s.Io[i] = real_at(f, rec, 6);
    s.SrcLine[i] = 7 + i;
    s.reached(static_cast<std::size_t>(i));
  }
}

}  // namespace memprep
