#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using testing::BufferRing;
using testing::CapturedBlocks;
using testing::CaptureFrom;
using testing::Chunk;
using testing::FormatBody;
using testing::Pcm16;
using testing::PcmWav;
using testing::Ramp;
using testing::Riff;
using testing::SampleBytes;
using testing::TempFile;
using testing::WaveEventWindow;

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

TEST_F(SimDeviceTest, ListedInOrderAfterTheRealDevicesUnderReadableNames) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    const std::pair<SimSignal, const char*> listed[] = {
        {SimSignal::Sine, "Sine 1 kHz (simulated)"},
        {SimSignal::TwoTones, "440 Hz + 2 kHz (simulated)"},
        {SimSignal::WhiteNoise, "White noise (simulated)"},
        {SimSignal::Silence, "Silence (simulated)"}};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(SimInputDeviceId(listed[i].first), sine + i);
        EXPECT_EQ(NameOf(sine + i), listed[i].second);
    }
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
    for (const auto& [rate, channels, result] : {std::tuple{8000u, 1, MMSYSERR_NOERROR},
                                                 {96000u, 2, MMSYSERR_NOERROR},
                                                 {7999u, 1, WAVERR_BADFORMAT},
                                                 {96001u, 2, WAVERR_BADFORMAT}}) {
        const WAVEFORMATEX format = Pcm16(rate, uint16_t(channels));
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, sine, &format, 0, 0, CALLBACK_NULL), result) << rate;
        EXPECT_EQ(handle != 0, result == MMSYSERR_NOERROR);
        waveInClose(handle);
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

// Registers `path` unpaced, reads it through `frames`-frame buffers until the short
// buffer that ends it and a while after, then removes the device.
CapturedBlocks ReadThrough(const std::string& path, const WAVEFORMATEX& format, uint32_t frames,
                           bool paced = false) {
    const WaveDeviceRegistration added = AddFileInputDevice(path, paced);
    EXPECT_TRUE(added) << added.error;
    std::optional<std::chrono::steady_clock::time_point> ended;
    const uint32_t full = frames * format.nBlockAlign;
    CapturedBlocks captured = CaptureFrom(
        added.deviceId, format, 4, frames,
        [&](const CapturedBlocks& c) {
            if (!ended && !c.bytes.empty() && c.bytes.back() < full) {
                ended = std::chrono::steady_clock::now();
            }
            // Long enough to see a buffer that should not come.
            return ended && std::chrono::steady_clock::now() - *ended > 50ms;
        },
        10s);
    EXPECT_TRUE(RemoveWaveDevice(added.key));
    return captured;
}

std::vector<int16_t> Before(const CapturedBlocks& captured) {
    size_t samples = 0;
    for (size_t i = 0; i < captured.beforeReset; ++i) {
        samples += captured.bytes[i] / 2;
    }
    return {captured.samples.begin(), captured.samples.begin() + samples};
}

// Whole buffers in order, then the short one that ends the file (empty when the file ends on
// a buffer boundary), then nothing but what the reset hands back empty.
TEST(WavFileInputTest, AFileComesBackWholeInOrderThenStops) {
    for (const size_t tail : {0, 100}) {
        const std::vector<int16_t> samples = Ramp(4 * 256 + tail);
        const std::string path = TempFile("whole.wav", PcmWav(1, 8000, samples));
        const CapturedBlocks captured = ReadThrough(path, Pcm16(8000, 1), 256);
        ASSERT_EQ(captured.beforeReset, 5u) << tail;
        EXPECT_EQ(captured.bytes,
                  (std::vector<uint32_t>{512, 512, 512, 512, uint32_t(2 * tail), 0, 0, 0, 0}));
        EXPECT_EQ(Before(captured), samples);
    }
}

TEST(WavFileInputTest, OtherChunksAndPadBytesArePassedOver) {
    const std::vector<int16_t> samples = Ramp(300, 11);
    const std::string path = TempFile(
        "chunks.wav",
        Riff(Chunk("LIST", "INFOx") + Chunk("fmt ", FormatBody(1, 1, 11025, 16)) +
             Chunk("junk", "abc") + Chunk("data", SampleBytes(samples)) + Chunk("id3 ", "tail!")));
    const CapturedBlocks captured = ReadThrough(path, Pcm16(11025, 1), 128);
    EXPECT_EQ(Before(captured), samples);
}

TEST(WavFileInputTest, ACutDataChunkGivesTheWholeFramesThatAreThere) {
    const std::vector<int16_t> samples = Ramp(2 * 700);
    std::string bytes = PcmWav(2, 8000, samples);
    bytes.replace(40, 4, std::string("\x10\x27\x00\x00", 4));  // declares 10000 bytes
    bytes.resize(bytes.size() - 3);                            // and cuts a frame short
    const std::string path = TempFile("cut.wav", bytes);
    const CapturedBlocks captured = ReadThrough(path, Pcm16(8000, 2), 256);
    const std::vector<int16_t> whole(samples.begin(), samples.end() - 2);
    EXPECT_EQ(Before(captured), whole);
}

TEST(WavFileInputTest, OpensOnlyInTheFilesFormatAndCanBeRemoved) {
    const std::string path = TempFile("format.wav", PcmWav(2, 16000, Ramp(64)));
    const uint32_t before = waveInGetNumDevs();
    const WaveDeviceRegistration added = AddFileInputDevice(path, false);
    ASSERT_TRUE(added) << added.error;
    EXPECT_EQ(waveInGetNumDevs(), before + 1);
    EXPECT_EQ(WaveInDeviceIndex(added.key), added.deviceId);
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCapsA(added.deviceId, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "format.wav (file)");

    for (const WAVEFORMATEX& wrong : {Pcm16(16000, 1), Pcm16(8000, 2)}) {
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, added.deviceId, &wrong, 0, 0, CALLBACK_NULL),
                  WAVERR_BADFORMAT);
    }
    EXPECT_TRUE(RemoveWaveDevice(added.key));
    EXPECT_FALSE(RemoveWaveDevice(added.key));
    EXPECT_FALSE(WaveInDeviceIndex(added.key));
    EXPECT_EQ(waveInGetNumDevs(), before);
}

TEST(WavFileInputTest, BadFilesAreRefusedWithAMessageNamingTheFile) {
    struct Case {
        std::string name;
        std::string bytes;
        std::string says;
    };
    const std::string data = Chunk("data", SampleBytes(Ramp(8)));
    const std::vector<Case> cases = {
        {"garbage.wav", "this is not a sound file at all", "not a WAV file"},
        {"empty.wav", "", "not a WAV file"},
        {"eight-bit.wav", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8)) + data), "8-bit"},
        {"float.wav", Riff(Chunk("fmt ", FormatBody(3, 1, 8000, 32)) + data), "format tag 3"},
        {"three.wav", Riff(Chunk("fmt ", FormatBody(1, 3, 8000, 16)) + data), "3 channels"},
        {"short-fmt.wav", Riff(Chunk("fmt ", "1234567890") + data), "too short"},
        {"no-data.wav", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 16))), "no \"data\" chunk"},
        {"no-fmt.wav", Riff(data), "no \"fmt \" chunk"},
    };
    const uint32_t before = waveInGetNumDevs();
    for (const Case& bad : cases) {
        const std::string path = TempFile(bad.name, bad.bytes);
        const WaveDeviceRegistration refused = AddFileInputDevice(path, false);
        EXPECT_FALSE(refused) << bad.name;
        EXPECT_EQ(refused.error.find(path), 0u) << refused.error;
        EXPECT_NE(refused.error.find(bad.says), std::string::npos) << refused.error;
    }
    const std::string missing = std::filesystem::path(::testing::TempDir()) / "missing.wav";
    const WaveDeviceRegistration refused = AddFileInputDevice(missing, false);
    EXPECT_EQ(refused.error, missing + ": cannot open (No such file or directory)");
    EXPECT_EQ(waveInGetNumDevs(), before);
}

TEST(WavFileInputTest, APacedFileTakesItsPlayingTime) {
    const std::string path = TempFile("paced.wav", PcmWav(1, 8000, Ramp(800)));
    const CapturedBlocks captured = ReadThrough(path, Pcm16(8000, 1), 100, true);
    ASSERT_EQ(captured.beforeReset, 9u);
    // 800 frames at 8000 Hz last 100 ms; the first buffer is due 12.5 ms after the start.
    EXPECT_GE(captured.arrivals[7] - captured.startedAt, 95ms);
    EXPECT_GE(captured.arrivals[0] - captured.startedAt, 12ms);
}

uint32_t NullOutputId() {
    for (uint32_t id = 0; id < waveOutGetNumDevs(); ++id) {
        WAVEOUTCAPS caps;
        if (waveOutGetDevCapsA(id, &caps, kWaveOutCapsSize) == MMSYSERR_NOERROR &&
            std::string(caps.szPname) == "Null output (discards)") {
            return id;
        }
    }
    ADD_FAILURE() << "no null output listed";
    return 0;
}

// Plays every buffer of `ring` on `device` and waits until all are done; returns when the
// first write went out and when the last buffer came back.
struct Played {
    std::chrono::steady_clock::time_point firstWrite, lastDone;
};
Played PlayAll(uint32_t device, const WAVEFORMATEX& format, BufferRing& ring) {
    WaveEventWindow window;
    HWAVEOUT handle = 0;
    Played played;
    EXPECT_EQ(waveOutOpen(&handle, device, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    played.firstWrite = std::chrono::steady_clock::now();
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutWrite(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(window.WaitFor(MM_WOM_DONE, ring.Count(), 10s));
    played.lastDone = window.Events().back().at;
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(window.Events()[i + 1].header, ring.Header(i)) << "done out of order";
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    return played;
}

// In place: the headers point into the buffers.
void FillRamp(BufferRing& ring) {
    for (size_t i = 0; i < ring.Count(); ++i) {
        const std::vector<int16_t> ramp = testing::Ramp(ring.Samples(i).size(), int(i * 1000));
        std::copy(ramp.begin(), ramp.end(), ring.Samples(i).begin());
    }
}

TEST(NullOutputTest, ConsumesInRealTime) {
    BufferRing ring(5, 160, 1);  // 5 x 20 ms at 8000 Hz
    const Played played = PlayAll(NullOutputId(), Pcm16(8000, 1), ring);
    EXPECT_GE(played.lastDone - played.firstWrite, 95ms);
}

TEST(NullOutputTest, ResetReturnsWhatIsStillWritten) {
    WaveEventWindow window;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    HWAVEOUT handle = 0;
    ASSERT_EQ(waveOutOpen(&handle, NullOutputId(), &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    BufferRing ring(3, 8000, 1);  // a second each
    for (size_t i = 0; i < ring.Count(); ++i) {
        ASSERT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    const auto before = std::chrono::steady_clock::now();
    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms) << "reset waited for playback";
    DoEvents();
    EXPECT_EQ(window.Count(MM_WOM_DONE), 3u);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
}

class WavFileOutputTest : public ::testing::Test {
  protected:
    std::string path_ = std::filesystem::path(::testing::TempDir()) / "written.wav";
};

TEST_F(WavFileOutputTest, WritesAValidFileOfWhatIsPlayed) {
    const WaveDeviceRegistration added = AddFileOutputDevice(path_, false);
    ASSERT_TRUE(added) << added.error;
    BufferRing ring(3, 500, 2);
    FillRamp(ring);
    PlayAll(added.deviceId, Pcm16(16000, 2), ring);
    EXPECT_TRUE(RemoveWaveDevice(added.key));

    std::vector<int16_t> expected;
    for (size_t i = 0; i < ring.Count(); ++i) {
        expected.insert(expected.end(), ring.Samples(i).begin(), ring.Samples(i).end());
    }
    EXPECT_EQ(testing::FileBytes(path_), testing::PcmWav(2, 16000, expected));
}

TEST_F(WavFileOutputTest, OneHandleAtATimeAndEachOpenStartsAfresh) {
    const WaveDeviceRegistration added = AddFileOutputDevice(path_, false);
    ASSERT_TRUE(added) << added.error;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    BufferRing ring(1, 100, 1);
    PlayAll(added.deviceId, format, ring);
    EXPECT_EQ(testing::FileBytes(path_).size(), 44u + 200u);

    HWAVEOUT first = 0, second = 0;
    ASSERT_EQ(waveOutOpen(&first, added.deviceId, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(&second, added.deviceId, &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutClose(first), MMSYSERR_NOERROR);
    EXPECT_EQ(testing::FileBytes(path_), testing::PcmWav(1, 8000, {}));
    EXPECT_TRUE(RemoveWaveDevice(added.key));
}

TEST_F(WavFileOutputTest, AFolderThatCannotBeWrittenIsRefused) {
    const std::string nowhere = "/nonexistent-folder/out.wav";
    const WaveDeviceRegistration refused = AddFileOutputDevice(nowhere, false);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error.find(nowhere), 0u) << refused.error;
    EXPECT_FALSE(AddFileOutputDevice(::testing::TempDir(), false)) << "a folder is no file";
}

}  // namespace
}  // namespace aurelix::platform
