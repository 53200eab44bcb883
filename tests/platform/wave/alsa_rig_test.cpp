#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

// libpulse, behind ALSA's pulse plugin, hands its objects between its own threads in ways
// the thread sanitizer cannot see; its reports are about that library, not this one.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse\n";
}

// Real sound through ALSA and the sound server that scripts/audio-rig-start.sh starts.
namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using namespace testing;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlock = 1024;

// A program this test started, in the background; closing the pipe waits for it to end.
using Background = std::unique_ptr<FILE, int (*)(FILE*)>;
Background StartInBackground(const std::string& command) {
    return Background(popen(command.c_str(), "r"), &pclose);
}

// Starts of the 1024-sample blocks of `samples` that carry sound (an RMS above 1000).
std::vector<size_t> LoudBlocks(const std::vector<int16_t>& samples) {
    std::vector<size_t> loud;
    for (size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
        double squares = 0;
        for (size_t n = at; n < at + kBlock; ++n) {
            squares += double(samples[n]) * samples[n];
        }
        if (squares > 1000.0 * 1000.0 * kBlock) {
            loud.push_back(at);
        }
    }
    return loud;
}

// That the sound lasted at least `fewestLoudBlocks` blocks, and that a few blocks from its
// middle carry `hertz`, counted by zero crossings to within a bin.
void ExpectTone(const std::vector<int16_t>& samples, double hertz, size_t fewestLoudBlocks) {
    const std::vector<size_t> loud = LoudBlocks(samples);
    ASSERT_GE(loud.size(), fewestLoudBlocks) << "the tone was not heard long enough";
    for (size_t i = loud.size() / 2 - 2; i < loud.size() / 2 + 3; ++i) {
        size_t crossings = 0;
        for (size_t n = loud[i] + 1; n < loud[i] + kBlock; ++n) {
            crossings += (samples[n - 1] < 0) != (samples[n] < 0);
        }
        EXPECT_NEAR(double(crossings) * kRate / (2.0 * kBlock), hertz, double(kRate) / kBlock)
            << "block at sample " << loud[i];
    }
}

// Skips the test unless the sound server answers and ALSA devices are listed.
class AlsaRigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::system("pactl info >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "no sound server answers (run scripts/audio-rig-start.sh)";
        }
        RescanWaveDevices();
        if (SimInputDeviceId(SimSignal::Sine) == 0) {
            GTEST_SKIP() << "ALSA lists no device (built without ALSA, or no default)";
        }
    }
};

TEST_F(AlsaRigTest, CapturesAToneThatIsPlayedIntoTheSink) {
    WAVEINCAPS caps;  // the system default is device 0, before the simulated ones
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "System default (ALSA)");
    const std::string tone = ::testing::TempDir() + "rig-tone-1000.wav";
    ASSERT_EQ(
        std::system(("sox -n -r 44100 -c 2 -b 16 " + tone + " synth 3 sine 1000 vol 0.5").c_str()),
        0);
    const Background player = StartInBackground("paplay " + tone);

    // 86 blocks are 2 s; the tone has to fill at least 40 of them.
    const CapturedBlocks captured = CaptureFrom(
        0, Pcm16(kRate, 1), 4, kBlock,
        [](const CapturedBlocks& c) { return LoudBlocks(c.samples).size() >= 40; }, 6s);
    ExpectTone(captured.samples, 1000, 40);
}

TEST_F(AlsaRigTest, PlaybackIsHeardOnTheMonitor) {
    // Long enough to hear all of the 1.5 s played below, and some silence after it.
    const std::string recorded = ::testing::TempDir() + "rig-monitor.s16";
    std::remove(recorded.c_str());  // a file left by an earlier run would look like a start
    Background recorder = StartInBackground(
        "timeout 5 parec --raw --format=s16le --rate=44100 --channels=1 --latency-msec=20 >" +
        recorded);
    // Recording has begun once the file grows.
    for (int i = 0; i < 300 && FileBytes(recorded).empty(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_FALSE(FileBytes(recorded).empty()) << "parec records nothing";

    // 1.5 s of 1500 Hz at half scale through our ALSA output; closing plays out the rest.
    BufferRing ring(33, 2048, 1);
    for (uint64_t k = 0; k < 33 * 2048; ++k) {
        ring.Samples(k / 2048)[k % 2048] = int16_t(16384 * Sine(1500, k, kRate));
    }
    PlayAll(0, Pcm16(kRate, 1), ring);
    recorder.reset();

    const std::string bytes = FileBytes(recorded);
    const auto* samples = reinterpret_cast<const int16_t*>(bytes.data());
    // 1.5 s is 64 blocks; allow for the edges.
    ExpectTone({samples, samples + bytes.size() / 2}, 1500, 55);
}

}  // namespace
}  // namespace aurelix::platform
