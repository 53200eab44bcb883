#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "aurelix/platform/wave/sim_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

// The devices that keep to real time, measured against the clock; slow, and only
// trustworthy on a machine that is not loaded.
namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using namespace testing;

// 10 s of 1024-frame blocks at 44100 Hz is 430.66 blocks: 430 are due by the end. Every
// sample, the ones the final reset returned included, is the generator's.
TEST(SimDeviceSoakTest, TenSecondsOfSineArriveInRealTimeAndExact) {
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::Sine), Pcm16(44100, 1), 4, 1024,
        [](const CapturedBlocks& c) {
            return std::chrono::steady_clock::now() - c.startedAt >= 10s;
        },
        15s);
    const size_t full = captured.beforeReset;
    ASSERT_GE(full, 430u);
    EXPECT_LE(full, 431u);
    EXPECT_EQ(size_t(std::count(captured.bytes.begin(), captured.bytes.begin() + full, 2048u)),
              full)
        << "a block came back short";
    const std::chrono::duration<double> span = captured.arrivals[full - 1] - captured.arrivals[0];
    EXPECT_NEAR(span.count() / double(full - 1), 1024 / 44100.0, 0.01 * 1024 / 44100.0);
    std::vector<int16_t> expected(captured.samples.size());
    for (uint64_t k = 0; k < expected.size(); ++k) {
        expected[k] = int16_t(std::nearbyint(16384 * Sine(1000, k, 44100)));
    }
    EXPECT_EQ(captured.samples, expected);
}

TEST(NullOutputTest, ConsumesInRealTime) {
    const uint32_t null = waveOutGetNumDevs() - 1;  // the last while no output is added
    BufferRing ring(5, 160, 1);                     // 5 x 20 ms
    EXPECT_GE(PlayAll(null, Pcm16(8000, 1), ring), 95ms);
}

// The whole file in 100 ms, the end buffer empty, and nothing after it for the rest of a
// second.
TEST(WavFileInputTest, APacedFileTakesItsPlayingTime) {
    const std::vector<int16_t> samples = Ramp(800);
    const WaveDeviceRegistration added =
        AddFileInputDevice(TempFile("paced.wav", PcmWav(1, 8000, samples)), true);
    const CapturedBlocks captured = CaptureFrom(
        added.deviceId, Pcm16(8000, 1), 4, 100, [](const CapturedBlocks&) { return false; }, 1s);
    EXPECT_TRUE(RemoveWaveDevice(added.key)) << added.error;
    ASSERT_EQ(captured.beforeReset, 9u);
    EXPECT_EQ(captured.samples, samples);
    // The first buffer is due 12.5 ms after the start.
    EXPECT_GE(captured.arrivals[7] - captured.startedAt, 95ms);
    EXPECT_GE(captured.arrivals[0] - captured.startedAt, 12ms);
}

}  // namespace
}  // namespace aurelix::platform
