#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::analysis {

// Frequency in Hz (at EngineState::SampleRate) from the first 1000 zero crossings of the
// block, two crossings per period, after dropping crossings closer than half the mean
// spacing to the one before. Every pair of neighbours that touches or spans 0 counts.
// `positions` receives the kept crossing indexes at 1..k (reallocated 0..k) once at least
// two crossings were found. Positions are 16-bit: a crossing above 32767 raises Overflow.
double ZeroCrossFrequency(const platform::BoundedArray<int16_t>& samples,
                          platform::BoundedArray<int16_t>& positions);

}  // namespace aurelix::analysis
