#include "store/store.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <new>

#include "store/errors.hpp"
#include "store/fields.hpp"

namespace memprep {

template <class T>
typename StoreArray<T>::Mapping StoreArray<T>::map_zeroed(std::size_t bytes) {
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::size_t size = (bytes + page - 1) / page * page + page;
  void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  ::mprotect(static_cast<char*>(base) + size - page, page, PROT_NONE);
  return {base, size, page};
}

template <class T>
void StoreArray<T>::unmap(const Mapping& m) {
  ::munmap(m.base, m.size);
}

template class StoreArray<std::int64_t>;
template class StoreArray<double>;

std::string capacity_message() {
  std::string s = " The number of reflections is greater than";
  put_I(s, MAXREF, 6);
  return s;
}

void Store::require_capacity(std::int64_t count) {
  if (count > MAXREF) throw Stop(capacity_message());
}

}  // namespace memprep
