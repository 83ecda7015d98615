#include <array>
#include <optional>
#include <string>

#include "readers/readers.hpp"
#include "store/control_file.hpp"
#include "store/fields.hpp"

namespace memprep {

namespace {

constexpr std::size_t kBankLineWidth = 150;
constexpr int kMaxBanks = 25;

}  // namespace

double read_bank_angle(Run& run, std::int64_t nbank, std::int64_t& nbanks) {
  // The 2theta of banks 1 to 25, in degrees; a bank not given on the line keeps 0.
  std::array<double, kMaxBanks + 1> bank2th{};

  std::string line;
  read_control_line(run, line, kBankLineWidth, "the bank-angle line");
  run.ctl.located("the bank-angle line", [&] {
    // The end of the line ends the list as a slash would: banks not given keep 0.
    ListInput in(line, []() -> std::optional<std::string_view> { return "/"; });
    for (int i = 1; i <= kMaxBanks; ++i) in.next(bank2th[i]);
  });

  // The bank count is the highest bank with a non-zero angle; zeros below it do not count.
  nbanks = 0;
  for (int i = kMaxBanks; i >= 1; --i)
    if (bank2th[i] != 0) {
      nbanks = i;
      break;
    }

  if (nbank < 1 || nbank > nbanks) {
    std::string msg = "Invalid histogram number:";
    put_I(msg, nbank, 4);
    throw Stop(msg);
  }
  return bank2th[static_cast<std::size_t>(nbank)];
}

}  // namespace memprep
