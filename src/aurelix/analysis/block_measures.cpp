#include "aurelix/analysis/block_measures.h"

#include <algorithm>

namespace aurelix::analysis {

int16_t MaxSample(const platform::BoundedArray<int16_t>& samples, int32_t last) {
    last = std::min(last, samples.Upper());
    if (last < 0) {
        return 0;
    }
    const int16_t* values = samples.Range(0, last);
    int16_t largest = 0;
    for (int32_t i = 0; i <= last; ++i) {
        largest = std::max(largest, values[i]);
    }
    return largest;
}

int32_t MaxBin(const platform::BoundedArray<float>& spectrum, int32_t first, int32_t last) {
    if (last < first) {
        return 0;
    }
    const float* bins = spectrum.Range(first, last);
    const int32_t count = last - first + 1;
    // The largest magnitude first, in independent lanes so that it vectorises; then its
    // first bin, which is the bin a strictly-greater scan would keep.
    constexpr int32_t kLanes = 8;
    float lanes[kLanes] = {};
    int32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        for (int32_t lane = 0; lane < kLanes; ++lane) {
            const float value = bins[k + lane];
            lanes[lane] = value > lanes[lane] ? value : lanes[lane];
        }
    }
    float best = 0.0f;
    for (; k < count; ++k) {
        best = bins[k] > best ? bins[k] : best;
    }
    for (const float lane : lanes) {
        best = lane > best ? lane : best;
    }
    if (!(best > 0.0f)) {
        return 0;
    }
    return first + static_cast<int32_t>(std::find(bins, bins + count, best) - bins);
}

}  // namespace aurelix::analysis
