// Records made on two threads and written in their order: for the per-reflection lines of
// the outputs, each of which depends on its own reflection only. The items are cut into
// chunks; a second thread and the calling one each take the next chunk still to make and
// build its text in a buffer of their own, and the calling thread writes the chunks out in
// order as they become ready. The file holds the same bytes as when the records are written
// one after the other.
//
// A refusal (an exception) while a chunk is made is kept with the chunk and thrown on the
// calling thread when the writing reaches it, after the second thread has stopped: the
// first record refused in the order of the file is the one reported, as in a sequential
// run, and nothing after it is written.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "io/output_file.hpp"

namespace memprep {

// The text of one chunk, grown as its records are built in place: the room/advance of
// OutputFile, so that a record writer builds its line the same way in either.
class ChunkText {
 public:
  static constexpr std::size_t kRoom = OutputFile::kRoom;
  char* room(std::size_t n) {
    if (capacity_ - used_ < n) grow(used_ + n);
    return data_.get() + used_;
  }
  void advance(std::size_t n) { used_ += n; }
  void write_line(std::string_view line);

  void clear() { used_ = 0; }
  std::string_view text() const { return {data_.get(), used_}; }

 private:
  void grow(std::size_t needed);
  std::unique_ptr<char[]> data_;
  std::size_t capacity_ = 0, used_ = 0;
};

namespace ordered {

// Makes the text of items [first, last) in `text`.
using MakeChunk = void (*)(void* context, ChunkText& text, std::size_t first, std::size_t last);

// The items of a chunk: about 100 KiB of lines of 90 to 130 characters, so that a chunk is
// written with one or two write calls and the buffers stay small.
inline constexpr std::size_t kChunk = 1024;

void write(OutputFile& out, std::size_t count, MakeChunk make, void* context);

}  // namespace ordered

// Writes the text that make(text, item) builds for each item 0..count-1 on `out`, in the
// order of the items; make must not change anything but `text`.
template <class Make>
void write_in_order(OutputFile& out, std::size_t count, Make make) {
  auto chunk = [](void* context, ChunkText& text, std::size_t first, std::size_t last) {
    Make& m = *static_cast<Make*>(context);
    for (std::size_t item = first; item < last; ++item) m(text, item);
  };
  ordered::write(out, count, chunk, &make);
}

}  // namespace memprep
