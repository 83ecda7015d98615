// What a source holds, in words, for the message when the control file asks for a pattern,
// histogram or phase that is not there.
#include <algorithm>
#include <string>
#include <vector>

#include "readers/readers.hpp"

namespace memprep {

IoFailure not_held(const std::string& file, std::string_view noun, std::vector<std::int64_t> held,
                   std::int64_t wanted, const std::string& asked_at) {
  std::sort(held.begin(), held.end());
  held.erase(std::unique(held.begin(), held.end()), held.end());
  // Appended piece by piece: "noun 1 only", "nouns 1 to 5", "nouns 1, 3 and 4".
  std::string what(noun);
  const bool range =
      held.size() > 2 && held.back() - held.front() + 1 == static_cast<std::int64_t>(held.size());
  if (held.size() > 1) what += 's';
  for (std::size_t i = 0; i < held.size(); ++i) {
    if (range && i > 0 && i + 1 < held.size()) continue;
    what += i == 0 ? " " : i + 1 < held.size() ? ", " : range ? " to " : " and ";
    what += std::to_string(held[i]);
  }
  if (held.size() == 1) what += " only";
  std::string msg = where(file, 0) + " holds " + what + "; the control file asks for " +
                    std::string(noun) + " " + std::to_string(wanted);
  if (!asked_at.empty()) msg += " (" + asked_at + ")";
  return IoFailure("", 0, msg);
}

}  // namespace memprep
