#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::analysis {

// The largest sample value of samples(0..last), never below 0 (so an all-negative block
// gives 0). `last` is lowered to the array's upper bound; last < 0 gives 0.
int16_t MaxSample(const platform::BoundedArray<int16_t>& samples, int32_t last);

// The first bin of spectrum(first..last) with the strictly largest magnitude; 0 when no
// bin is above 0.
int32_t MaxBin(const platform::BoundedArray<float>& spectrum, int32_t first, int32_t last);

}  // namespace aurelix::analysis
