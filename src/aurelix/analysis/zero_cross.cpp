#include "aurelix/analysis/zero_cross.h"

#include <algorithm>
#include <array>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis {

namespace {

constexpr int32_t kMaxCrossings = 1000;

}  // namespace

double ZeroCrossFrequency(const platform::BoundedArray<int16_t>& samples,
                          platform::BoundedArray<int16_t>& positions) {
    // found[1..count]; slot 0 unused so the indexes read as the crossing numbers.
    std::array<int16_t, kMaxCrossings + 1> found{};
    int32_t count = 0;
    const int32_t lower = samples.Lower();
    const int32_t upper = samples.Upper();
    const int16_t* values = samples.Range(lower, upper);
    for (int32_t i = lower; i < upper && count < kMaxCrossings; ++i) {
        const auto [lo, hi] = std::minmax(values[i - lower], values[i - lower + 1]);
        if (lo <= 0 && hi >= 0) {
            found[++count] = platform::CheckedInt16(i);
        }
    }
    if (count < 2) {
        return 0.0;
    }

    // A crossing closer to a kept one than half the mean spacing is noise around zero.
    const double gap = static_cast<double>(found[count] - found[1]) / (count - 1) / 2.0;
    for (int32_t j = 1; j <= count; ++j) {
        for (int32_t m = 1; m <= count - j; ++m) {
            if (found[j + m] - found[j] >= gap) {
                break;
            }
            found[j + m] = 0;
        }
    }

    const auto kept = std::count_if(found.begin() + 1, found.begin() + count + 1,
                                    [](int16_t position) { return position > 0; });
    positions.ReDim(0, static_cast<int32_t>(kept));
    int32_t k = 0;
    for (int32_t j = 1; j <= count; ++j) {
        if (found[j] > 0) {
            positions(++k) = found[j];
        }
    }
    if (k < 2) {
        return 0.0;
    }
    const double span = platform::Divide(positions(k) - positions(1), state::State().SampleRate);
    if (span == 0.0) {
        return 0.0;
    }
    return (k - 1) / span / 2.0;
}

}  // namespace aurelix::analysis
