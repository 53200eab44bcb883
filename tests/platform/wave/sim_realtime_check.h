#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "aurelix/platform/wave/sim_devices.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform::testing {

// The simulated sine as its documentation gives it.
inline int16_t ExpectedSine(double frequency, double amplitude, uint64_t k, double rate) {
    return int16_t(
        std::nearbyint(amplitude * std::sin(2.0 * std::numbers::pi *
                                            std::fmod(frequency * double(k), rate) / rate)));
}

// Runs the default sine (1 kHz at 16384) at 44100 Hz, 1024-frame blocks, 4 buffers, for
// `duration`, and checks that the blocks came at the real-time pace (mean period within
// `tolerance` of 1024 / 44100 s), that their count is within the bounds, and that every
// sample, the ones the final reset returned included, is the generator's.
inline void CheckSineRealtime(std::chrono::milliseconds duration, double tolerance,
                              size_t fewestBlocks, size_t mostBlocks) {
    RestoreSimInputDefaults();
    constexpr uint32_t kFrames = 1024;
    constexpr double kRate = 44100;
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::Sine), Pcm16(44100, 1), 4, kFrames,
        [&](const CapturedBlocks& c) {
            return std::chrono::steady_clock::now() - c.startedAt >= duration;
        },
        duration + std::chrono::seconds(5));
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);

    const size_t full = captured.beforeReset;
    for (size_t i = 0; i < full; ++i) {
        ASSERT_EQ(captured.bytes[i], kFrames * 2) << "block " << i << " came back short";
    }
    EXPECT_GE(full, fewestBlocks);
    EXPECT_LE(full, mostBlocks);
    ASSERT_GE(full, 2u);
    const double meanPeriod =
        std::chrono::duration<double>(captured.arrivals[full - 1] - captured.arrivals[0]).count() /
        double(full - 1);
    EXPECT_NEAR(meanPeriod, kFrames / kRate, tolerance * kFrames / kRate);

    size_t mismatches = 0;
    for (uint64_t k = 0; k < captured.samples.size(); ++k) {
        if (captured.samples[k] != ExpectedSine(1000, 16384, k, kRate) && mismatches++ < 5) {
            ADD_FAILURE() << "sample " << k << " is " << captured.samples[k] << ", expected "
                          << ExpectedSine(1000, 16384, k, kRate);
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace aurelix::platform::testing
