#include <gtest/gtest.h>

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
    RestoreSimInputDefaults();
    constexpr uint32_t kFrames = 1024;
    constexpr double kRate = 44100;
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::Sine), Pcm16(44100, 1), 4, kFrames,
        [](const CapturedBlocks& c) {
            return std::chrono::steady_clock::now() - c.startedAt >= 10s;
        },
        15s);
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);
    const size_t full = captured.beforeReset;
    ASSERT_GE(full, 430u);
    EXPECT_LE(full, 431u);
    for (size_t i = 0; i < full; ++i) {
        ASSERT_EQ(captured.bytes[i], kFrames * 2) << "block " << i << " came back short";
    }
    const std::chrono::duration<double> span = captured.arrivals[full - 1] - captured.arrivals[0];
    EXPECT_NEAR(span.count() / double(full - 1), kFrames / kRate, 0.01 * kFrames / kRate);
    for (uint64_t k = 0; k < captured.samples.size(); ++k) {
        ASSERT_EQ(captured.samples[k], int16_t(std::nearbyint(16384 * Sine(1000, k, kRate))))
            << "sample " << k;
    }
}

// Plays in real time, and a reset hands back what is still written without waiting.
TEST(NullOutputTest, ConsumesInRealTimeAndResetsAtOnce) {
    BufferRing ring(5, 160, 1);  // 5 x 20 ms at 8000 Hz
    EXPECT_GE(PlayAll(NullOutputId(), Pcm16(8000, 1), ring), 95ms);

    WaveEventWindow window;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    HWAVEOUT handle = 0;
    ASSERT_EQ(waveOutOpen(&handle, NullOutputId(), &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    BufferRing seconds(3, 8000, 1);
    for (size_t i = 0; i < seconds.Count(); ++i) {
        ASSERT_EQ(waveOutPrepareHeader(handle, seconds.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(handle, seconds.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms) << "reset waited for playback";
    DoEvents();
    EXPECT_EQ(window.Count(MM_WOM_DONE), 3u);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
}

TEST(WavFileInputTest, APacedFileTakesItsPlayingTime) {
    const std::vector<int16_t> samples = Ramp(800);
    const std::string path = TempFile("paced.wav", PcmWav(1, 8000, samples));
    const CapturedBlocks captured = ReadThrough(path, Pcm16(8000, 1), 100, true);
    ASSERT_EQ(captured.beforeReset, 9u);
    EXPECT_EQ(captured.SamplesBeforeReset(), samples);
    // 800 frames at 8000 Hz last 100 ms; the first buffer is due 12.5 ms after the start.
    EXPECT_GE(captured.arrivals[7] - captured.startedAt, 95ms);
    EXPECT_GE(captured.arrivals[0] - captured.startedAt, 12ms);
}

}  // namespace
}  // namespace aurelix::platform
