#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::analysis {

// The reduced spectrum: every bin 1..upper of `spectrum` strictly above
// EngineState::ThresholdLevel, as peaks = {0, -bin, magnitude, -bin, magnitude, ...} in
// ascending bin order (reallocated; an empty list is {0}). Returns the number of bins
// listed. PeaksBusy is set while it runs and stays set if it fails.
int32_t GetPeaks(const platform::BoundedArray<float>& spectrum,
                 platform::BoundedArray<float>& peaks);

}  // namespace aurelix::analysis
