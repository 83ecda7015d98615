#include "store/store.hpp"

#include "store/errors.hpp"
#include "store/fields.hpp"

namespace memprep {

std::string capacity_message() {
  std::string s = " The number of reflections is greater than";
  put_I(s, MAXREF, 6);
  return s;
}

void Store::require_capacity(std::int64_t count) {
  if (count > MAXREF) throw Stop(capacity_message());
}

}  // namespace memprep
