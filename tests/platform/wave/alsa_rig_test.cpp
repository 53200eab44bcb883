#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
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
constexpr double kBinWidth = double(kRate) / kBlock;

// A program this test started, in the background; closing the pipe waits for it to end.
using Background = std::unique_ptr<FILE, int (*)(FILE*)>;
Background StartInBackground(const std::string& command) {
    return Background(popen(command.c_str(), "r"), &pclose);
}

// The frequency of a 1024-sample tone, from the number of times it crosses zero.
double ToneFrequency(const int16_t* block) {
    size_t crossings = 0;
    for (size_t n = 1; n < kBlock; ++n) {
        crossings += (block[n - 1] < 0) != (block[n] < 0);
    }
    return double(crossings) * kRate / (2.0 * kBlock);
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
// middle carry `hertz`.
void ExpectTone(const std::vector<int16_t>& samples, double hertz, size_t fewestLoudBlocks) {
    const std::vector<size_t> loud = LoudBlocks(samples);
    ASSERT_GE(loud.size(), fewestLoudBlocks) << "the tone was not heard long enough";
    for (size_t i = loud.size() / 2 - 2; i < loud.size() / 2 + 3; ++i) {
        EXPECT_NEAR(ToneFrequency(samples.data() + loud[i]), hertz, kBinWidth)
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
    ASSERT_TRUE(player);

    // 86 blocks are 2 s; the tone has to fill at least 40 of them.
    const CapturedBlocks captured = CaptureFrom(
        0, Pcm16(kRate, 1), 4, kBlock,
        [](const CapturedBlocks& c) { return LoudBlocks(c.samples).size() >= 40; }, 6s);
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);
    EXPECT_TRUE(captured.overruns.has_value()) << "the open handle reported no overrun count";
    ExpectTone(captured.samples, 1000, 40);
}

TEST_F(AlsaRigTest, PlaybackIsHeardOnTheMonitor) {
    // Long enough to hear all of the 1.5 s played below, and some silence after it.
    const std::string recorded = ::testing::TempDir() + "rig-monitor.s16";
    Background recorder = StartInBackground(
        "timeout 5 parec --raw --format=s16le --rate=44100 --channels=1 --latency-msec=20 >" +
        recorded);
    ASSERT_TRUE(recorder);
    // Recording has begun once the file grows.
    auto recordedBytes = [&] {
        std::error_code missing;
        const auto size = std::filesystem::file_size(recorded, missing);
        return missing ? 0 : size;
    };
    const auto waitUntil = std::chrono::steady_clock::now() + 3s;
    while (recordedBytes() == 0 && std::chrono::steady_clock::now() < waitUntil) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(recordedBytes(), 0u) << "parec records nothing";

    // 1.5 s of 1500 Hz at half scale through our ALSA output, refilled as buffers finish.
    WaveEventWindow window;
    const WAVEFORMATEX format = Pcm16(kRate, 1);
    HWAVEOUT handle = 0;
    ASSERT_EQ(waveOutOpen(&handle, 0, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    BufferRing ring(4, 2048, 1);
    uint64_t k = 0;
    const uint64_t total = kRate * 3 / 2;
    auto play = [&](WAVEHDR* header) {
        auto* samples = reinterpret_cast<int16_t*>(header->lpData);
        for (size_t i = 0; i < 2048; ++i, ++k) {
            samples[i] = int16_t(16384 * Sine(1500, k, kRate));
        }
        EXPECT_EQ(waveOutWrite(handle, header, kWaveHdrSize), MMSYSERR_NOERROR);
    };
    window.onEvent = [&](const WaveEvent& event) {
        if (event.message == MM_WOM_DONE && k < total) {
            play(event.header);
        }
    };
    for (size_t i = 0; i < ring.Count(); ++i) {
        ASSERT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        play(ring.Header(i));
    }
    ASSERT_TRUE(window.WaitFor(MM_WOM_DONE, (total + 2047) / 2048, 10s));
    EXPECT_TRUE(WaveOutUnderruns(handle).has_value());
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);  // plays out what is left
    recorder.reset();

    const std::string bytes = FileBytes(recorded);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    // 1.5 s is 64 blocks; allow for the edges.
    ExpectTone(samples, 1500, 55);
}

}  // namespace
}  // namespace aurelix::platform
