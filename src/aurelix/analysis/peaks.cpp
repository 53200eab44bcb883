#include "aurelix/analysis/peaks.h"

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis {

int32_t GetPeaks(const platform::BoundedArray<float>& spectrum,
                 platform::BoundedArray<float>& peaks) {
    auto& state = state::State();
    return platform::Trapped(state.ErrorText, "Function GetPeaks in Aurelix", [&] {
        state.PeaksBusy = true;
        const int32_t upper = spectrum.Upper();
        peaks.ReDim(0, platform::CheckedMul32(2, upper));
        const double level = state.ThresholdLevel;
        const float* bins = spectrum.Range(1, upper);
        float* list = peaks.data();
        int32_t j = 0;
        for (int32_t i = 1; i <= upper; ++i) {
            const float magnitude = bins[i - 1];
            if (static_cast<double>(magnitude) > level) {
                list[++j] = static_cast<float>(-i);
                list[++j] = magnitude;
            }
        }
        peaks.ReDimPreserve(0, j);
        state.PeaksBusy = false;
        return j / 2;
    });
}

}  // namespace aurelix::analysis
