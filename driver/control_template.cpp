#include "driver/control_template.hpp"

#include "store/errors.hpp"

namespace memprep {

std::string control_template(const std::string& source) {
  throw IoFailure(source, 0, "control-file templates are not written yet");
}

}  // namespace memprep
