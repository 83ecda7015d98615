// The uncertainty sigma(|Fo|) that the MEM data set gives each reflection, and the reflections
// left out because they would have none: a MEM program weights a reflection by 1/sigma², so
// an infinite or undefined sigma means no weight, and a zero sigma an infinite one.
#pragma once

#include <cstdint>

#include "store/run.hpp"

namespace memprep {

// sigma(|Fo|) of the single reflections into SigFo: |Fo| / (2 sqrt(E Io')), Io' the
// intensity as the MEM data set writes it (Io × 1e-10 unless the data are time-of-flight
// data), in this order of operations.
void assign_uncertainties(Store& s);

// Reflections left out, by reason.
struct LeftOut {
  std::int64_t io_not_positive = 0;  // E Io' zero or negative
  std::int64_t io_infinite = 0;      // E Io' infinite
  std::int64_t fo_zero = 0;          // |Fo| zero
  std::int64_t total() const { return io_not_positive + io_infinite + fo_zero; }
};

// Takes out of the store every single reflection whose SigFo is not a finite number above 0,
// keeping the order of the others (and of the group members after them), and reports them
// on run.warnings: how many, why, and the first few with h k l and their source line. A run
// with no reflection and no overlap group, before or after, stops.
LeftOut leave_out_unweighted(Run& run);

}  // namespace memprep
