#include "aurelix/analysis/export.h"

#include <algorithm>
#include <cmath>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis {

void CopySpectrum(const platform::BoundedArray<float>& source,
                  platform::BoundedArray<float>& target) {
    const double half = state::State().BlockSamples / 2.0;
    const int32_t upper = platform::RoundToInt32(half - 1.0);
    // Entries 0..floor(half - 1) are copied; for some odd block sizes the last one stays 0.
    const auto last = static_cast<int32_t>(std::floor(half - 1.0));
    const float* values = source.Range(0, last);
    platform::BoundedArray<float> snapshot(0, upper);
    std::copy_n(values, std::max(last + 1, 0), snapshot.data());
    target = std::move(snapshot);
}

void ExportData() {
    auto& state = state::State();
    CopySpectrum(state.SpectrumL, state.ExportSpectrum);
}

}  // namespace aurelix::analysis
