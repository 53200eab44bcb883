#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "platform/wave/sim_realtime_check.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using testing::CapturedBlocks;
using testing::CaptureFrom;
using testing::Pcm16;

class SimDeviceTest : public ::testing::Test {
  protected:
    void TearDown() override { RestoreSimInputDefaults(); }

    static std::string NameOf(uint32_t device) {
        WAVEINCAPS caps;
        EXPECT_EQ(waveInGetDevCapsA(device, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
    static std::function<bool(const CapturedBlocks&)> Blocks(size_t count) {
        return [count](const CapturedBlocks& c) { return c.bytes.size() >= count; };
    }
};

// 43 blocks are due in one second (44.1 kHz, 1024 frames).
TEST_F(SimDeviceTest, OneSecondOfSineArrivesInRealTimeAndExact) {
    testing::CheckSineRealtime(1s, 0.03, 42, 44);
}

TEST_F(SimDeviceTest, ListedInOrderUnderReadableNames) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    EXPECT_EQ(SimInputDeviceId(SimSignal::TwoTones), sine + 1);
    EXPECT_EQ(SimInputDeviceId(SimSignal::WhiteNoise), sine + 2);
    EXPECT_EQ(SimInputDeviceId(SimSignal::Silence), sine + 3);
    EXPECT_EQ(NameOf(sine), "Sine 1 kHz (simulated)");
    EXPECT_EQ(NameOf(sine + 1), "440 Hz + 2 kHz (simulated)");
    EXPECT_EQ(NameOf(sine + 2), "White noise (simulated)");
    EXPECT_EQ(NameOf(sine + 3), "Silence (simulated)");
    // Only real devices come before the simulated ones.
    for (uint32_t id = 0; id < sine; ++id) {
        EXPECT_EQ(NameOf(id).find("(simulated)"), std::string::npos);
    }

    ASSERT_TRUE(ConfigureSimInput(SimSignal::Sine, {440, 0, 1000}));
    EXPECT_EQ(NameOf(sine), "Sine 440 Hz (simulated)");
    ASSERT_TRUE(ConfigureSimInput(SimSignal::Sine, {2500, 0, 1000}));
    EXPECT_EQ(NameOf(sine), "Sine 2.5 kHz (simulated)");
}

TEST_F(SimDeviceTest, ConfigurationOutOfRangeIsRefusedAndChangesNothing) {
    const SimSignalSettings before = GetSimInput(SimSignal::Sine);
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {1000, 0, 40000}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {-5, 0, 100}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {NAN, 0, 100}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::TwoTones, {440, 2000, 20000, 15000}));
    EXPECT_FALSE(SetTestSignal({SimSignal::TwoTones, {440, 2000, 20000, 15000}}));
    EXPECT_EQ(GetTestSignal(), TestSignal{});
    EXPECT_EQ(GetSimInput(SimSignal::Sine), before);
    EXPECT_EQ(before, DefaultSimSettings(SimSignal::Sine));
}

TEST_F(SimDeviceTest, AcceptsEightToNinetySixKilohertzMonoOrStereo) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    for (uint32_t rate : {8000u, 96000u}) {
        for (uint16_t channels : {1, 2}) {
            const WAVEFORMATEX format = Pcm16(rate, channels);
            HWAVEIN handle = 0;
            ASSERT_EQ(waveInOpen(&handle, sine, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR)
                << rate << " Hz, " << channels << " channels";
            EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
        }
    }
    for (uint32_t rate : {7999u, 96001u}) {
        const WAVEFORMATEX format = Pcm16(rate, 1);
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, sine, &format, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
        EXPECT_EQ(handle, 0u);
    }
}

TEST_F(SimDeviceTest, TwoTonesInStereoContinueExactlyAcrossBlocksAndReset) {
    ASSERT_TRUE(ConfigureSimInput(SimSignal::TwoTones, {440, 2000, 6000, 4000}));
    const CapturedBlocks captured =
        CaptureFrom(SimInputDeviceId(SimSignal::TwoTones), Pcm16(8000, 2), 3, 200, Blocks(4), 5s);
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);
    ASSERT_GE(captured.beforeReset, 4u);
    ASSERT_GT(captured.bytes.size(), captured.beforeReset) << "reset returned nothing";
    for (size_t i = captured.beforeReset; i < captured.bytes.size(); ++i) {
        EXPECT_LT(captured.bytes[i], 800u) << "reset returned a full buffer";
        EXPECT_EQ(captured.bytes[i] % 4, 0u) << "reset cut a frame";
    }
    auto phase = [](double f, uint64_t k) {
        return 2.0 * std::numbers::pi * std::fmod(f * double(k), 8000.0) / 8000.0;
    };
    ASSERT_EQ(captured.samples.size() % 2, 0u);
    for (uint64_t k = 0; k < captured.samples.size() / 2; ++k) {
        const auto expected = int16_t(
            std::nearbyint(6000.0 * std::sin(phase(440, k)) + 4000.0 * std::sin(phase(2000, k))));
        ASSERT_EQ(captured.samples[2 * k], expected) << "frame " << k;
        ASSERT_EQ(captured.samples[2 * k + 1], expected) << "frame " << k;
    }
}

TEST_F(SimDeviceTest, NoiseIsBoundedAndTheSameForEveryHandle) {
    const uint32_t noise = SimInputDeviceId(SimSignal::WhiteNoise);
    const CapturedBlocks first = CaptureFrom(noise, Pcm16(48000, 1), 2, 480, Blocks(3), 5s);
    const CapturedBlocks second = CaptureFrom(noise, Pcm16(48000, 1), 2, 480, Blocks(3), 5s);
    ASSERT_GE(first.beforeReset, 3u);
    ASSERT_GE(second.beforeReset, 3u);
    const size_t common = 3 * 480;
    ASSERT_TRUE(
        std::equal(first.samples.begin(), first.samples.begin() + common, second.samples.begin()));
    double sum = 0, squares = 0;
    for (size_t i = 0; i < common; ++i) {
        EXPECT_LE(std::abs(first.samples[i]), 8192);
        sum += first.samples[i];
        squares += double(first.samples[i]) * first.samples[i];
    }
    // Uniform on [-8192, 8192]: mean 0, standard deviation 8192 / sqrt(3) = 4730.
    EXPECT_NEAR(sum / common, 0, 400);
    EXPECT_NEAR(std::sqrt(squares / common), 4730, 300);
}

TEST_F(SimDeviceTest, SilenceIsZeros) {
    const CapturedBlocks captured =
        CaptureFrom(SimInputDeviceId(SimSignal::Silence), Pcm16(8000, 1), 2, 80, Blocks(2), 5s);
    ASSERT_GE(captured.beforeReset, 2u);
    EXPECT_EQ(std::count(captured.samples.begin(), captured.samples.end(), 0),
              std::ptrdiff_t(captured.samples.size()));
}

// The first input's name follows its test signal; the other inputs keep theirs.
TEST_F(SimDeviceTest, TheTestSignalNamesTheFirstInput) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    const std::pair<TestSignal, const char*> cases[] = {
        {{SimSignal::Sine, {440, 0, 1000, 0}}, "Sine 440 Hz (simulated)"},
        {{SimSignal::TwoTones, {300, 2500, 1000, 500}}, "300 Hz + 2.5 kHz (simulated)"},
        {{SimSignal::WhiteNoise, {0, 0, 1000, 0}}, "White noise (simulated)"},
        {{SimSignal::Silence, {}}, "Silence (simulated)"},
    };
    for (const auto& [signal, name] : cases) {
        ASSERT_TRUE(SetTestSignal(signal));
        EXPECT_EQ(GetTestSignal(), signal);
        EXPECT_EQ(NameOf(sine), name);
        EXPECT_EQ(NameOf(sine + 1), "440 Hz + 2 kHz (simulated)");
    }
    RestoreSimInputDefaults();
    EXPECT_EQ(NameOf(sine), "Sine 1 kHz (simulated)");
}

// A handle already open hears the new signal from its next buffer, frames still counted
// from the open: the sine stops on a buffer boundary, within the buffers then queued.
TEST_F(SimDeviceTest, AnOpenHandleHearsTheTestSignalFromItsNextBuffer) {
    constexpr uint32_t kFrames = 80;
    size_t changedAfter = 0;
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::Sine), Pcm16(8000, 1), 2, kFrames,
        [&](const CapturedBlocks& c) {
            if (changedAfter == 0 && c.bytes.size() >= 2) {
                changedAfter = c.bytes.size();
                EXPECT_TRUE(SetTestSignal({SimSignal::Silence, {}}));
            }
            return c.bytes.size() >= changedAfter + 4 && changedAfter > 0;
        },
        5s);
    ASSERT_GE(captured.beforeReset, changedAfter + 4);
    size_t silentFrom = 0;  // the first frame of the first silent buffer
    while (silentFrom < captured.samples.size() &&
           std::any_of(captured.samples.begin() + silentFrom,
                       captured.samples.begin() + silentFrom + kFrames,
                       [](int16_t sample) { return sample != 0; })) {
        silentFrom += kFrames;
    }
    EXPECT_GE(silentFrom, changedAfter * kFrames);
    EXPECT_LE(silentFrom, (changedAfter + 2) * kFrames) << "queued buffers kept the old signal";
    for (size_t k = 0; k < captured.samples.size(); ++k) {
        const double phase =
            2.0 * std::numbers::pi * std::fmod(1000.0 * double(k), 8000.0) / 8000.0;
        const auto expected = k < silentFrom ? int16_t(std::nearbyint(16384 * std::sin(phase))) : 0;
        ASSERT_EQ(captured.samples[k], expected) << "frame " << k;
    }
}

}  // namespace
}  // namespace aurelix::platform
