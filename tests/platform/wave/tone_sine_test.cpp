#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "aurelix/platform/wave/tone_sine.h"

namespace aurelix::platform::wave_driver {
namespace {

struct Stretch {
    double frequency;
    uint32_t rate;
    uint64_t first;  // frames first .. first + count - 1, in order
    uint64_t count;
};

// The table gives the formula's double bit for bit: whole and fractional frequencies,
// 0, multiples of the rate, the highest allowed, runs across the end of the exact range
// (f k reaching 2^53) and jumps between far-apart frames.
TEST(ToneSine, EqualsTheFormulaBitForBit) {
    const uint64_t exactEnd1MHz = ((uint64_t(1) << 53) - 1) / 1000000;
    const std::vector<Stretch> stretches = {
        {1000, 44100, 0, 200000},
        {440, 48000, 0, 100000},
        {2000, 48000, 123456789, 50000},
        {997, 96000, 0, 200000},
        {0, 8000, 0, 1000},
        {96000, 48000, 0, 1000},
        {12.5, 44100, 0, 20000},
        {440.25, 8000, 1000000, 20000},
        {1000000, 96000, exactEnd1MHz - 5000, 10000},
        {1000000, 96000, 0, 100000},
    };
    for (const Stretch& s : stretches) {
        ToneSine tone(s.frequency, s.rate);
        for (uint64_t k = s.first; k < s.first + s.count; ++k) {
            const double expected = ToneSine::Formula(s.frequency, k, s.rate);
            ASSERT_EQ(std::bit_cast<uint64_t>(tone.At(k)), std::bit_cast<uint64_t>(expected))
                << s.frequency << " Hz at " << s.rate << " Hz, frame " << k;
        }
        // Back to the start after the run: the table serves frames out of order too.
        for (uint64_t k : {s.first, s.first + 7, s.first + 3}) {
            EXPECT_EQ(std::bit_cast<uint64_t>(tone.At(k)),
                      std::bit_cast<uint64_t>(ToneSine::Formula(s.frequency, k, s.rate)));
        }
    }
}

}  // namespace
}  // namespace aurelix::platform::wave_driver
