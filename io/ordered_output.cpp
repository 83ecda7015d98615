#include "io/ordered_output.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <thread>

#include "io/threads.hpp"

namespace memprep {

void ChunkText::grow(std::size_t needed) {
  std::size_t capacity = std::max<std::size_t>(capacity_ * 2, std::size_t{1} << 17);
  while (capacity < needed) capacity *= 2;
  auto data = std::make_unique<char[]>(capacity);
  if (used_ > 0) std::memcpy(data.get(), data_.get(), used_);
  data_ = std::move(data);
  capacity_ = capacity;
}

void ChunkText::write_line(std::string_view line) {
  char* p = room(line.size() + 1);
  if (!line.empty()) std::memcpy(p, line.data(), line.size());
  p[line.size()] = '\n';
  advance(line.size() + 1);
}

namespace ordered {

namespace {

// Chunks made ahead of the one being written: chunk c is made in slot c % kSlots, once the
// chunk kSlots before it has been written.
constexpr std::int64_t kSlots = 4;

struct Slot {
  ChunkText text;
  std::exception_ptr error;
  std::atomic<std::int64_t> made{-1};  // the chunk the slot holds, once it is made
};

class Chunks {
 public:
  Chunks(std::size_t count, MakeChunk make, void* context)
      : count_(count),
        chunks_(static_cast<std::int64_t>((count + kChunk - 1) / kChunk)),
        make_(make),
        context_(context) {}

  std::int64_t chunks() const { return chunks_; }

  // The second thread: takes chunks until none is left or the writing has stopped.
  void work() {
    for (;;) {
      const std::int64_t c = next_.fetch_add(1);
      if (c >= chunks_ || !make(c)) return;
    }
  }

  // The calling thread: writes the chunks in order, making one itself whenever the next to
  // write is not ready and a slot is free.
  void write_all(OutputFile& out, std::thread& worker) {
    for (std::int64_t c = 0; c < chunks_; ++c) {
      Slot& slot = slots_[c % kSlots];
      for (;;) {
        const std::int64_t made = slot.made.load(std::memory_order_acquire);
        if (made == c) break;
        std::int64_t k = next_.load();
        if (k < chunks_ && k < c + kSlots && next_.compare_exchange_strong(k, k + 1)) {
          make(k);
          continue;
        }
        slot.made.wait(made, std::memory_order_acquire);
      }
      if (slot.error) {
        stop(worker);
        std::rethrow_exception(slot.error);
      }
      out.write_text(slot.text.text());
      written_.store(c, std::memory_order_release);
      written_.notify_all();
    }
    stop(worker);
  }

  // Ends the second thread: it finishes the chunk it is making and takes no other.
  void stop(std::thread& worker) {
    if (!worker.joinable()) return;
    stopped_.store(true);
    written_.store(INT64_MAX, std::memory_order_release);
    written_.notify_all();
    worker.join();
  }

 private:
  // Makes chunk c in its slot, once the slot is free; false when the writing has stopped.
  bool make(std::int64_t c) {
    for (std::int64_t w = written_.load(std::memory_order_acquire); w < c - kSlots;
         w = written_.load(std::memory_order_acquire))
      written_.wait(w, std::memory_order_acquire);
    if (stopped_.load()) return false;
    Slot& slot = slots_[c % kSlots];
    slot.text.clear();
    slot.error = nullptr;
    const auto first = static_cast<std::size_t>(c) * kChunk;
    try {
      make_(context_, slot.text, first, std::min(count_, first + kChunk));
    } catch (...) {
      slot.error = std::current_exception();
    }
    slot.made.store(c, std::memory_order_release);
    slot.made.notify_all();
    return true;
  }

  const std::size_t count_;
  const std::int64_t chunks_;
  const MakeChunk make_;
  void* const context_;
  Slot slots_[kSlots];
  std::atomic<std::int64_t> next_{0};      // the next chunk nobody has taken
  std::atomic<std::int64_t> written_{-1};  // the last chunk written
  std::atomic<bool> stopped_{false};
};

}  // namespace

void write(OutputFile& out, std::size_t count, MakeChunk make, void* context) {
  Chunks chunks(count, make, context);
  std::thread worker;
  if (chunks.chunks() > 1 && std::thread::hardware_concurrency() > 1)
    worker = start_quiet_thread([&chunks] { chunks.work(); });
  try {
    chunks.write_all(out, worker);
  } catch (...) {
    chunks.stop(worker);
    throw;
  }
}

}  // namespace ordered

}  // namespace memprep
