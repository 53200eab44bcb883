#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <tuple>

#include "aurelix/platform/wave/tone_sine.h"

namespace aurelix::platform::wave_driver {
namespace {

// The table gives the formula's double bit for bit: whole and fractional frequencies,
// 0, multiples of the rate, the highest allowed, runs across the end of the exact range
// (f k reaching 2^53) and runs that start far from frame 0.
TEST(ToneSine, EqualsTheFormulaBitForBit) {
    const uint64_t exactEnd1MHz = ((uint64_t(1) << 53) - 1) / 1000000;
    // Frequency, rate, and frames first .. first + count - 1, in order.
    const std::tuple<double, uint32_t, uint64_t, uint64_t> stretches[] = {
        {1000, 44100, 0, 200000},    {2000, 48000, 123456789, 50000},
        {0, 8000, 0, 1000},          {96000, 48000, 0, 1000},
        {12.5, 44100, 0, 20000},     {1000000, 96000, exactEnd1MHz - 5000, 10000},
        {1000000, 96000, 0, 100000},
    };
    for (const auto& [frequency, rate, first, count] : stretches) {
        ToneSine tone(frequency, rate);
        for (uint64_t k = first; k < first + count; ++k) {
            const double expected = ToneSine::Formula(frequency, k, rate);
            ASSERT_EQ(std::bit_cast<uint64_t>(tone.At(k)), std::bit_cast<uint64_t>(expected))
                << frequency << " Hz at " << rate << " Hz, frame " << k;
        }
    }
}

}  // namespace
}  // namespace aurelix::platform::wave_driver
