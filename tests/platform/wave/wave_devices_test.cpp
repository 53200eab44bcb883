#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using namespace testing;

class SimDeviceTest : public ::testing::Test {
  protected:
    void TearDown() override { RestoreSimInputDefaults(); }

    static std::string NameOf(uint32_t device) {
        WAVEINCAPS caps;
        EXPECT_EQ(waveInGetDevCapsA(device, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
};

// Listed in order after the real devices; the first input is named after its test signal,
// the others keep their names. Settings out of range are refused and change nothing.
TEST_F(SimDeviceTest, ListedAfterTheRealDevicesAndNamedAfterTheirSignal) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    for (uint32_t id = 0; id < sine; ++id) {
        EXPECT_EQ(NameOf(id).find("(simulated)"), std::string::npos);
    }
    const char* defaults[] = {"Sine 1 kHz (simulated)", "440 Hz + 2 kHz (simulated)",
                              "White noise (simulated)", "Silence (simulated)"};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(SimInputDeviceId(SimSignal(i)), sine + i);
        EXPECT_EQ(NameOf(sine + i), defaults[i]);
    }
    const std::pair<TestSignal, const char*> signals[] = {
        {{SimSignal::Sine, {440, 0, 1000, 0}}, "Sine 440 Hz (simulated)"},
        {{SimSignal::Sine, {2500, 0, 1000, 0}}, "Sine 2.5 kHz (simulated)"},
        {{SimSignal::TwoTones, {300, 2500, 1000, 500}}, "300 Hz + 2.5 kHz (simulated)"},
        {{SimSignal::WhiteNoise, {0, 0, 1000, 0}}, "White noise (simulated)"},
        {{SimSignal::Silence, {}}, "Silence (simulated)"},
    };
    for (const auto& [signal, name] : signals) {
        ASSERT_TRUE(SetTestSignal(signal));
        EXPECT_EQ(NameOf(sine), name);
        EXPECT_EQ(NameOf(sine + 1), "440 Hz + 2 kHz (simulated)");
    }
    RestoreSimInputDefaults();
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {1000, 0, 40000}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {-5, 0, 100}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {NAN, 0, 100}));
    EXPECT_FALSE(ConfigureSimInput(SimSignal::TwoTones, {440, 2000, 20000, 15000}));
    EXPECT_FALSE(SetTestSignal({SimSignal::TwoTones, {440, 2000, 20000, 15000}}));
    EXPECT_EQ(GetTestSignal(), TestSignal{});
    EXPECT_EQ(GetSimInput(SimSignal::Sine), DefaultSimSettings(SimSignal::Sine));
    EXPECT_EQ(NameOf(sine), "Sine 1 kHz (simulated)");
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
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::TwoTones), Pcm16(8000, 2), 3, 200,
        [](const CapturedBlocks& c) { return c.bytes.size() >= 4; }, 5s);
    ASSERT_EQ(captured.openResult, MMSYSERR_NOERROR);
    ASSERT_GE(captured.beforeReset, 4u);
    ASSERT_GT(captured.bytes.size(), captured.beforeReset) << "reset returned nothing";
    for (size_t i = captured.beforeReset; i < captured.bytes.size(); ++i) {
        EXPECT_LT(captured.bytes[i], 800u) << "reset returned a full buffer";
        EXPECT_EQ(captured.bytes[i] % 4, 0u) << "reset cut a frame";
    }
    for (uint64_t k = 0; k < captured.samples.size() / 2; ++k) {
        const auto expected =
            int16_t(std::nearbyint(6000.0 * Sine(440, k, 8000) + 4000.0 * Sine(2000, k, 8000)));
        ASSERT_EQ(captured.samples[2 * k], expected) << "frame " << k;
        ASSERT_EQ(captured.samples[2 * k + 1], expected) << "frame " << k;
    }
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
    // Every sine buffer ends on a sample that is not 0.
    const auto& samples = captured.samples;
    const auto lastSound =
        std::find_if(samples.rbegin(), samples.rend(), [](int16_t s) { return s != 0; });
    const size_t silentFrom = size_t(samples.rend() - lastSound);
    EXPECT_EQ(silentFrom % kFrames, 0u);
    EXPECT_GE(silentFrom, changedAfter * kFrames);
    EXPECT_LE(silentFrom, (changedAfter + 2) * kFrames) << "queued buffers kept the old signal";
    for (size_t k = 0; k < samples.size(); ++k) {
        const auto expected =
            k < silentFrom ? int16_t(std::nearbyint(16384 * Sine(1000, k, 8000))) : 0;
        ASSERT_EQ(samples[k], expected) << "frame " << k;
    }
}

// Whole buffers in order, then the short one that ends the file (empty when the file ends on
// a buffer boundary), then nothing but the four the reset hands back empty. Other chunks and
// their pad bytes are passed over; a data chunk cut short gives the whole frames there are.
TEST(WavFileInputTest, AFileComesBackWholeInOrderThenStops) {
    const std::vector<int16_t> ramp = Ramp(1124, 11);
    std::string cut = PcmWav(2, 8000, ramp);
    cut.replace(40, 4, std::string("\x10\x27\x00\x00", 4));  // declares 10000 bytes
    cut.resize(cut.size() - 3);                              // and cuts a frame short
    struct Case {
        const char* name;
        std::string bytes;
        WAVEFORMATEX format;
        std::vector<int16_t> samples;
    };
    const Case cases[] = {
        {"whole.wav", PcmWav(1, 8000, Ramp(1024)), Pcm16(8000, 1), Ramp(1024)},
        {"tail.wav", PcmWav(1, 8000, ramp), Pcm16(8000, 1), ramp},
        {"chunks.wav",
         Riff(Chunk("LIST", "INFOx") + Chunk("fmt ", FormatBody(1, 1, 11025, 16)) +
              Chunk("junk", "abc") + Chunk("data", SampleBytes(ramp)) + Chunk("id3 ", "tail!")),
         Pcm16(11025, 1), ramp},
        {"cut.wav", cut, Pcm16(8000, 2), {ramp.begin(), ramp.end() - 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CapturedBlocks captured = ReadThrough(TempFile(c.name, c.bytes), c.format, 256);
        const uint32_t full = 256 * c.format.nBlockAlign;
        const size_t bytes = c.samples.size() * 2;
        std::vector<uint32_t> expected(bytes / full, full);
        expected.push_back(uint32_t(bytes % full));
        expected.resize(expected.size() + 4, 0);
        EXPECT_EQ(captured.bytes, expected);
        EXPECT_EQ(captured.SamplesBeforeReset(), c.samples);
    }
}

// An unpaced file fills its buffers on the thread that owns the callback window, in that
// thread's message order: the first DoEvents fills every queued buffer, the second
// delivers them, with no other thread involved and no waiting. A buffer handed back
// while its notification runs (loop method 1 does so before copying the samples out)
// keeps its samples until the thread's next turn.
TEST(WavFileInputTest, UnpacedFillsInMessageOrderWithoutAnotherThread) {
    const std::vector<int16_t> samples = Ramp(10 * 64 + 5);  // the last buffer is short
    const WaveDeviceRegistration added =
        AddFileInputDevice(TempFile("owner-thread.wav", PcmWav(1, 8000, samples)), false);
    ASSERT_TRUE(added) << added.error;
    WaveEventWindow window;
    BufferRing ring(3, 64, 1);
    HWAVEIN handle = 0;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    ASSERT_EQ(waveInOpen(&handle, added.deviceId, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    std::vector<int16_t> delivered;
    bool ended = false;
    window.onEvent = [&](const WaveEvent& event) {
        if (event.message != MM_WIM_DATA)
            return;
        ended = ended || event.bytesRecorded < 64 * 2;
        if (!ended) {
            EXPECT_EQ(waveInAddBuffer(handle, event.header, kWaveHdrSize), MMSYSERR_NOERROR);
        }
        const auto& data = ring.Samples(ring.IndexOf(event.header));
        delivered.insert(delivered.end(), data.begin(), data.begin() + event.bytesRecorded / 2);
    };
    QueueAll(handle, ring);
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    DoEvents();  // the open notification and the fill
    EXPECT_EQ(window.Count(MM_WIM_DATA), 0u);
    DoEvents();
    EXPECT_EQ(window.Count(MM_WIM_DATA), 3u);
    while (!ended)
        ASSERT_GT(DoEvents(), 0) << "a buffer did not come back without waiting";
    for (const auto& event : window.Events())
        EXPECT_EQ(event.thread, std::this_thread::get_id());
    EXPECT_EQ(delivered, samples);
    ResetAndClose(handle, ring);
    EXPECT_TRUE(RemoveWaveDevice(added.key));
}

// What cannot be read as a device is refused when it is added, with the file named; what
// can is listed, opens only in its own format, and is unlisted when removed.
TEST(WavFileInputTest, AddingChecksTheFileAndRemovingUnlistsIt) {
    aurelix::testing::TempFolder folder;
    ASSERT_EQ(mkfifo((folder / "fifo.wav").c_str(), 0600), 0);
    // Held open for both ends, so that a blocking open of the fifo returns, too.
    const int heldOpen = ::open((folder / "fifo.wav").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(heldOpen, 0);
    const std::string data = Chunk("data", SampleBytes(Ramp(8)));
    std::string wideAlign = FormatBody(1, 1, 8000, 16);
    wideAlign[12] = 4;  // block align 4 for mono
    struct Case {
        const char* name;  // "" for the folder itself
        std::optional<std::string> bytes;
        std::string says;
    };
    const Case cases[] = {
        {"garbage.wav", "this is not a sound file at all", "not a WAV file"},
        {"empty.wav", "", "not a WAV file"},
        {"eight-bit.wav", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 8)) + data), "8-bit"},
        {"float.wav", Riff(Chunk("fmt ", FormatBody(3, 1, 8000, 32)) + data), "format tag 3"},
        {"three.wav", Riff(Chunk("fmt ", FormatBody(1, 3, 8000, 16)) + data), "3 channels"},
        {"align.wav", Riff(Chunk("fmt ", wideAlign) + data), "block align 4 does not fit"},
        {"short-fmt.wav", Riff(Chunk("fmt ", "1234567890") + data), "too short"},
        {"no-data.wav", Riff(Chunk("fmt ", FormatBody(1, 1, 8000, 16))), "no \"data\" chunk"},
        {"no-fmt.wav", Riff(data), "no \"fmt \" chunk"},
        {"huge-rate.wav", PcmWav(1, 2147483648u, {1, 2}),
         "sample rate 2147483648 out of range (1 to 2147483647)"},
        {"missing.wav", std::nullopt, "cannot open (No such file or directory)"},
        {"fifo.wav", std::nullopt, "not a regular file"},
        {"", std::nullopt, "not a regular file"},
    };
    const uint32_t before = waveInGetNumDevs();
    for (const Case& bad : cases) {
        const std::string path = folder / bad.name;
        if (bad.bytes) {
            std::ofstream(path, std::ios::binary) << *bad.bytes;
        }
        const WaveDeviceRegistration refused = AddFileInputDevice(path, false);
        EXPECT_FALSE(refused) << path;
        EXPECT_EQ(refused.error.find(path + ": "), 0u) << refused.error;
        EXPECT_NE(refused.error.find(bad.says), std::string::npos) << refused.error;
    }
    EXPECT_EQ(waveInGetNumDevs(), before);
    ::close(heldOpen);
    const WaveDeviceRegistration largest =
        AddFileInputDevice(TempFile("largest-rate.wav", PcmWav(1, 2147483647u, {1, 2})), false);
    EXPECT_TRUE(RemoveWaveDevice(largest.key)) << largest.error;

    const WaveDeviceRegistration added =
        AddFileInputDevice(TempFile("format.wav", PcmWav(2, 16000, Ramp(64))), false);
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

// One handle at a time; each open starts the file afresh, in its own format. What cannot
// be written is refused when it is added.
TEST(WavFileOutputTest, WritesAValidFileOfWhatIsPlayedAndEachOpenStartsAfresh) {
    const std::string path = std::filesystem::path(::testing::TempDir()) / "written.wav";
    const WaveDeviceRegistration added = AddFileOutputDevice(path, false);
    ASSERT_TRUE(added) << added.error;
    BufferRing ring(3, 500, 2);
    std::vector<int16_t> played;
    for (size_t i = 0; i < ring.Count(); ++i) {
        std::ranges::copy(Ramp(1000, int(i * 1000)), ring.Samples(i).begin());
        played.insert(played.end(), ring.Samples(i).begin(), ring.Samples(i).end());
    }
    PlayAll(added.deviceId, Pcm16(16000, 2), ring);
    EXPECT_EQ(FileBytes(path), PcmWav(2, 16000, played));

    const WAVEFORMATEX mono = Pcm16(8000, 1);
    HWAVEOUT first = 0, second = 0;
    ASSERT_EQ(waveOutOpen(&first, added.deviceId, &mono, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutOpen(&second, added.deviceId, &mono, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutClose(first), MMSYSERR_NOERROR);
    EXPECT_EQ(FileBytes(path), PcmWav(1, 8000, {}));
    EXPECT_TRUE(RemoveWaveDevice(added.key));

    const std::string nowhere = "/nonexistent-folder/out.wav";
    const WaveDeviceRegistration refused = AddFileOutputDevice(nowhere, false);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.error.find(nowhere + ": cannot write to"), 0u) << refused.error;
    EXPECT_FALSE(AddFileOutputDevice(::testing::TempDir(), false)) << "a folder is no file";
}

}  // namespace
}  // namespace aurelix::platform
