// The fuzz targets, one per input path; FUZZ_TARGET_NAME selects which one this binary is.
#include <cstddef>
#include <cstdint>

#include "fuzz/harness.hpp"

namespace memprep::fuzz {
namespace {

#define FUZZ_IS(name) (__builtin_strcmp(FUZZ_TARGET_NAME, name) == 0)

Target make_target() {
  if (FUZZ_IS("control")) {
    // The control file of every kind, over fixed valid sources of each kind.
    Target t{{"run.ctl"},
             {},
             {SourceKind::list_file, SourceKind::fullprof_output, SourceKind::fos_file,
              SourceKind::earlier_mem_data_set}};
    for (const char* name : {"sample.lst", "neutron.lst", "tof.lst", "sample.out", "sample.amp",
                             "tof.out", "tof.amp", "sample.fos", "sample.zmemin"})
      t.fixed.emplace_back(name, fixed_source(name));
    return t;
  }
  if (FUZZ_IS("list")) return {{"run.ctl", "sample.lst"}, {}, {SourceKind::list_file}};
  if (FUZZ_IS("fullprof"))
    return {{"run.ctl", "sample.out", "sample.amp"}, {}, {SourceKind::fullprof_output}};
  if (FUZZ_IS("fos")) return {{"run.ctl", "sample.fos"}, {}, {SourceKind::fos_file}};
  if (FUZZ_IS("zmem"))
    return {{"run.ctl", "sample.zmemin"}, {}, {SourceKind::earlier_mem_data_set}};
  __builtin_trap();
}

}  // namespace
}  // namespace memprep::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const memprep::fuzz::Target target = memprep::fuzz::make_target();
  return memprep::fuzz::run_one(target, data, size);
}
