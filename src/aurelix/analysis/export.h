#pragma once

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::analysis {

// Copies the BlockSamples / 2 magnitudes of `source` into `target` (reallocated
// 0..round(BlockSamples / 2 - 1)). A source with fewer entries raises Subscript out of
// range and leaves `target` as it was.
void CopySpectrum(const platform::BoundedArray<float>& source,
                  platform::BoundedArray<float>& target);

// Snapshot of the left spectrum into EngineState::ExportSpectrum.
void ExportData();

}  // namespace aurelix::analysis
