#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

extern char** environ;

// libpulse, behind ALSA's pulse plugin, hands its objects between its own threads in ways
// the thread sanitizer cannot see; its reports are about that library, not this one.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libpulse\n";
}

// Real sound through ALSA and the sound server that scripts/audio-rig-start.sh starts.
namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using testing::BufferRing;
using testing::CapturedBlocks;
using testing::CaptureFrom;
using testing::Pcm16;
using testing::WaveEventWindow;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlock = 1024;
constexpr double kBinWidth = double(kRate) / kBlock;

// A program this test started; stopped (by its own pid) when it goes out of scope.
class ChildProcess {
  public:
    // Runs `argv` with its output going to `output` (or nowhere).
    ChildProcess(const std::vector<std::string>& argv, const std::string& output = "/dev/null") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ != 0; }
    void Stop() {
        if (pid_ != 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

  private:
    pid_t pid_ = 0;
};

bool ServerAnswers() {
    return std::system("pactl info >/dev/null 2>&1") == 0;
}

// Skips the test unless the sound server answers and ALSA devices are listed.
#define REQUIRE_SOUND_SERVER()                                                          \
    do {                                                                                \
        if (!ServerAnswers()) {                                                         \
            GTEST_SKIP() << "no sound server answers (run scripts/audio-rig-start.sh)"; \
        }                                                                               \
        RescanWaveDevices();                                                            \
        if (SimInputDeviceId(SimSignal::Sine) == 0) {                                   \
            GTEST_SKIP() << "ALSA lists no device (built without ALSA, or no default)"; \
        }                                                                               \
    } while (false)

// The frequency of the strongest bin of a 1024-sample block, by a plain DFT.
double StrongestFrequency(const int16_t* block) {
    double best = 0;
    size_t bestBin = 0;
    for (size_t bin = 1; bin < kBlock / 2; ++bin) {
        double re = 0, im = 0;
        for (size_t n = 0; n < kBlock; ++n) {
            const double angle = 2 * std::numbers::pi * double(bin * n % kBlock) / kBlock;
            re += block[n] * std::cos(angle);
            im -= block[n] * std::sin(angle);
        }
        if (re * re + im * im > best) {
            best = re * re + im * im;
            bestBin = bin;
        }
    }
    return double(bestBin) * kBinWidth;
}

double Rms(const int16_t* block) {
    double squares = 0;
    for (size_t n = 0; n < kBlock; ++n) {
        squares += double(block[n]) * block[n];
    }
    return std::sqrt(squares / kBlock);
}

// Starts of the 1024-sample blocks of `samples` that carry sound.
std::vector<size_t> LoudBlocks(const std::vector<int16_t>& samples) {
    std::vector<size_t> loud;
    for (size_t at = 0; at + kBlock <= samples.size(); at += kBlock) {
        if (Rms(samples.data() + at) > 1000) {
            loud.push_back(at);
        }
    }
    return loud;
}

// The strongest frequency of every loud block, checked against `hertz` for a few of them
// from the middle of the sound.
void ExpectTone(const std::vector<int16_t>& samples, double hertz, size_t fewestLoudBlocks) {
    const std::vector<size_t> loud = LoudBlocks(samples);
    ASSERT_GE(loud.size(), fewestLoudBlocks) << "the tone was not heard long enough";
    for (size_t i = loud.size() / 2 - 2; i < loud.size() / 2 + 3; ++i) {
        EXPECT_NEAR(StrongestFrequency(samples.data() + loud[i]), hertz, kBinWidth)
            << "block at sample " << loud[i];
    }
}

std::string TempPath(const std::string& name) {
    return std::filesystem::path(::testing::TempDir()) / name;
}

TEST(AlsaRigTest, CapturesAToneThatIsPlayedIntoTheSink) {
    REQUIRE_SOUND_SERVER();
    WAVEINCAPS caps;  // the system default is device 0, before the simulated ones
    ASSERT_EQ(waveInGetDevCapsA(0, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "System default (ALSA)");
    const std::string tone = TempPath("rig-tone-1000.wav");
    ASSERT_EQ(
        std::system(("sox -n -r 44100 -c 2 -b 16 " + tone + " synth 4 sine 1000 vol 0.5").c_str()),
        0);
    ChildProcess player({"paplay", tone});
    ASSERT_TRUE(player.Started());

    // 86 blocks are 2 s; the tone has to fill at least 40 of them.
    const CapturedBlocks captured = CaptureFrom(
        0, Pcm16(kRate, 1), 4, kBlock,
        [](const CapturedBlocks& c) { return LoudBlocks(c.samples).size() >= 40; }, 6s);
    player.Stop();
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);
    EXPECT_TRUE(captured.overruns.has_value()) << "the open handle reported no overrun count";
    ExpectTone(captured.samples, 1000, 40);
}

TEST(AlsaRigTest, PlaybackIsHeardOnTheMonitor) {
    REQUIRE_SOUND_SERVER();
    const std::string recorded = TempPath("rig-monitor.s16");
    ChildProcess recorder(
        {"parec", "--raw", "--format=s16le", "--rate=44100", "--channels=1", "--latency-msec=20"},
        recorded);
    ASSERT_TRUE(recorder.Started());
    // Recording has begun once the file grows.
    auto recordedBytes = [&] {
        std::error_code missing;
        const auto size = std::filesystem::file_size(recorded, missing);
        return missing ? 0 : size;
    };
    const auto waitUntil = std::chrono::steady_clock::now() + 5s;
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
            samples[i] = int16_t(16384 * std::sin(2 * std::numbers::pi * 1500 * double(k) / kRate));
        }
        EXPECT_EQ(waveOutWrite(handle, header, kWaveHdrSize), MMSYSERR_NOERROR);
    };
    window.onEvent = [&](const testing::WaveEvent& event) {
        if (event.message == MM_WOM_DONE && k < total) {
            play(event.header);
        }
    };
    for (size_t i = 0; i < ring.Count(); ++i) {
        ASSERT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        play(ring.Header(i));
    }
    const size_t buffers = (total + 2047) / 2048;
    ASSERT_TRUE(window.WaitFor(MM_WOM_DONE, buffers, 10s));
    EXPECT_TRUE(WaveOutUnderruns(handle).has_value());
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);  // plays out what is left
    std::this_thread::sleep_for(300ms);
    recorder.Stop();

    const std::string bytes = testing::FileBytes(recorded);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    // 1.5 s is 64 blocks; allow for the edges.
    ExpectTone(samples, 1500, 55);
}

}  // namespace
}  // namespace aurelix::platform
