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
  return {};
}

std::string grid_fault(std::int64_t NX, std::int64_t NY, std::int64_t NZ) {
  if (NX >= 1 && NY >= 1 && NZ >= 1) return {};
  return "NX NY NZ = " + std::to_string(NX) + " " + std::to_string(NY) + " " + std::to_string(NZ) +
         ": the grid numbers must be 1 or more";
}

void Store::stop_at_capacity(const std::string& at) {
  throw Stop(capacity_message(),
             at.empty() ? std::string()
                        : at + ": the store holds " + std::to_string(MAXREF) +
                              " reflections, group members included, and this is one more");
}

}  // namespace memprep
