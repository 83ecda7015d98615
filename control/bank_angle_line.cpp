// The bank-angle line of a time-of-flight conversion: the 2theta of each detector bank.
#include <array>
#include <optional>
#include <string>

#include "control/control_file.hpp"
#include "io/fields.hpp"

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

  const std::string here = where(run.ctl.name(), run.ctl.line());
  run.origin[Setting::bank_angle] = here;
  if (nbank < 1 || nbank > nbanks) {
    std::string msg = "Invalid histogram number:";
    put_I(msg, nbank, 4);
    throw Stop(msg,
               here + ": bank " + std::to_string(nbank) +
                   " has no angle on the bank-angle line, which gives " +
                   (nbanks == 0 ? std::string("none") : "banks 1 to " + std::to_string(nbanks)) +
                   ": give the 2theta of every bank up to it, in bank order");
  }
  const double angle = bank2th[static_cast<std::size_t>(nbank)];
  if (!(angle > 0 && angle < 180))
    run.ctl.fail("the angle of bank " + std::to_string(nbank) + " is " + number_text(angle) +
                 ": the 2theta of the bank converted must lie between 0 and 180 degrees");
  return angle;
}

}  // namespace memprep
