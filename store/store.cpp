#include "store/store.hpp"

#include "store/errors.hpp"
#include "store/fields.hpp"

namespace memprep {

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
