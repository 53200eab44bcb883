#include "aurelix/analysis/zero_cross.h"

#include <gtest/gtest.h>

#include <vector>

#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::OnFreshThread;

// A block of +-100 whose sign flips after each index of `flips` (a crossing at each).
platform::BoundedArray<int16_t> SignFlips(int32_t n, const std::vector<int32_t>& flips) {
    platform::BoundedArray<int16_t> block(0, n - 1);
    int16_t value = 100;
    for (int32_t i = 0, next = 0; i < n; ++i) {
        block(i) = value;
        if (next < int32_t(flips.size()) && flips[size_t(next)] == i) {
            value = int16_t(-value);
            ++next;
        }
    }
    return block;
}

std::vector<int16_t> Kept(const platform::BoundedArray<int16_t>& positions) {
    return {positions.data() + 1, positions.data() + positions.Count()};
}

FRESH_TEST(ZeroCrossFrequency, DropsCrossingsCloserThanHalfTheMeanSpacing) {
    state::State().SampleRate = 11025;
    platform::BoundedArray<int16_t> positions;
    // Mean spacing 30: 11 and 111, one sample after a kept crossing, are glitches.
    const double hz = ZeroCrossFrequency(SignFlips(200, {10, 11, 60, 110, 111, 160}), positions);
    EXPECT_EQ(Kept(positions), (std::vector<int16_t>{10, 60, 110, 160}));
    EXPECT_DOUBLE_EQ(hz, 3.0 / (150.0 / 11025) / 2.0);
}

FRESH_TEST(ZeroCrossFrequency, KeepsNoCrossingAtZeroAndStopsAfterAThousand) {
    state::State().SampleRate = 8000;
    platform::BoundedArray<int16_t> positions;
    EXPECT_EQ(ZeroCrossFrequency(SignFlips(100, {0, 50}), positions), 0.0);
    EXPECT_EQ(Kept(positions), std::vector<int16_t>{50});
    // 1200 crossings at every sample, then slow ones that must not count.
    std::vector<int32_t> flips;
    for (int32_t i = 0; i < 1200; ++i)
        flips.push_back(i);
    for (int32_t i = 1300; i < 4000; i += 100)
        flips.push_back(i);
    EXPECT_DOUBLE_EQ(ZeroCrossFrequency(SignFlips(4096, flips), positions), 4000.0);
    EXPECT_EQ(positions.Upper(), 999);
}

}  // namespace
}  // namespace aurelix::analysis
