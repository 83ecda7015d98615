// The store's arrays under AddressSanitizer: an entry outside an array is reported where it
// is written, not left to land in the neighbouring array; and their pages made present
// beside a reader.
#include "store/store.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace memprep::test {
namespace {

// Writes to the entry `offset` entries from the start of `a` (negative: before entry 0).
template <class T>
[[gnu::noinline]] void write_at(StoreArray<T>& a, std::ptrdiff_t offset) {
  const auto address = reinterpret_cast<std::uintptr_t>(a.begin()) +
                       static_cast<std::uintptr_t>(offset * static_cast<std::ptrdiff_t>(sizeof(T)));
  *reinterpret_cast<volatile T*>(address) = T{1};
}

TEST(StoreDeathTest, WriteOutsideAnArrayIsCaughtBySanitizer) {
#ifndef MEMPREP_STORE_REDZONES
  GTEST_SKIP() << "the store arrays have redzones only under AddressSanitizer";
#endif
  Store s;
  const auto end = static_cast<std::ptrdiff_t>(s.H.size());
  write_at(s.H, 0);  // the first and last entries are the array's own
  write_at(s.H, end - 1);
  EXPECT_DEATH(write_at(s.H, -1), "use-after-poison");   // before the first array
  EXPECT_DEATH(write_at(s.K, -1), "use-after-poison");   // between two arrays
  EXPECT_DEATH(write_at(s.H, end), "use-after-poison");  // just past the end
  EXPECT_DEATH(write_at(s.FoR, -512), "use-after-poison");
  EXPECT_DEATH(write_at(s.FcAbs, end), "use-after-poison");  // past the last array
}

// The populating thread makes pages present beside a reader that fills them: what the reader
// wrote stays, ahead of it and behind it, in every array.
TEST(StorePrefetch, EntriesFilledWhilePagesArePopulatedKeepTheirValues) {
  Store s;
  s.expect(MAXREF + 1);
  for (std::size_t i = 1; i <= MAXREF; ++i) {
    std::size_t k = 0;
    s.for_each_array(
        [&](auto& a) { a[i] = static_cast<std::remove_reference_t<decltype(a[i])>>(i + ++k); });
    if (i % 1000 == 0) s.reached(i);
  }
  s.entries_done();
  for (std::size_t i = 1; i <= MAXREF; ++i) {
    std::size_t k = 0;
    s.for_each_array([&](auto& a) {
      ASSERT_EQ(a[i], static_cast<std::remove_reference_t<decltype(a[i])>>(i + ++k)) << i;
    });
  }
}

}  // namespace
}  // namespace memprep::test
