#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class SimDeviceTest : public ::testing::Test {
  protected:
    void TearDown() override { RestoreSimInputDefaults(); }

    static std::string NameOf(uint32_t device) {
        WAVEINCAPS caps;
        EXPECT_EQ(waveInGetDevCapsA(device, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
        return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
    }
};

// Listed in order; the first input is named after its test signal, the others keep their
// names. Settings out of range are refused and change nothing, and so are rates outside
// 8 to 96 kHz.
TEST_F(SimDeviceTest, ListedInOrderNamedAfterTheirSignalAndRefuseWhatIsOutOfRange) {
    const uint32_t sine = SimInputDeviceId(SimSignal::Sine);
    const char* defaults[] = {"Sine 1 kHz (simulated)", "440 Hz + 2 kHz (simulated)",
                              "White noise (simulated)", "Silence (simulated)"};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(SimInputDeviceId(SimSignal(i)), sine + i);
        EXPECT_EQ(NameOf(sine + i), defaults[i]);
    }
    const std::pair<TestSignal, const char*> signals[] = {
        {{SimSignal::Sine, {2500, 0, 1000, 0}}, "Sine 2.5 kHz (simulated)"},
        {{SimSignal::TwoTones, {300, 2500, 1000, 500}}, "300 Hz + 2.5 kHz (simulated)"},
    };
    for (const auto& [signal, name] : signals) {
        ASSERT_TRUE(SetTestSignal(signal));
        EXPECT_EQ(NameOf(sine), name);
        EXPECT_EQ(NameOf(sine + 1), "440 Hz + 2 kHz (simulated)");
    }
    RestoreSimInputDefaults();
    EXPECT_FALSE(ConfigureSimInput(SimSignal::Sine, {NAN, 0, 100}));
    EXPECT_FALSE(SetTestSignal({SimSignal::TwoTones, {440, 2000, 20000, 15000}}));
    EXPECT_EQ(GetTestSignal(), TestSignal{});
    for (const uint32_t rate : {7999u, 96001u}) {
        const WAVEFORMATEX format = Pcm16(rate, 2);
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, sine, &format, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    }
}

// At the highest rate taken: exact samples across blocks, and a reset returns the buffers
// queued with the whole frames they hold.
TEST_F(SimDeviceTest, TwoTonesInStereoContinueExactlyAcrossBlocksAndReset) {
    ASSERT_TRUE(ConfigureSimInput(SimSignal::TwoTones, {440, 2000, 6000, 4000}));
    const CapturedBlocks captured = CaptureFrom(
        SimInputDeviceId(SimSignal::TwoTones), Pcm16(96000, 2), 3, 2400,
        [](const CapturedBlocks& c) { return c.bytes.size() >= 4; }, 5s);
    ASSERT_GE(captured.beforeReset, 4u);
    ASSERT_GT(captured.bytes.size(), captured.beforeReset) << "reset returned nothing";
    for (size_t i = captured.beforeReset; i < captured.bytes.size(); ++i) {
        EXPECT_LT(captured.bytes[i], 9600u) << "reset returned a full buffer";
        EXPECT_EQ(captured.bytes[i] % 4, 0u) << "reset cut a frame";
    }
    std::vector<int16_t> expected;
    for (uint64_t k = 0; k < captured.samples.size() / 2; ++k) {
        const auto sample =
            int16_t(std::nearbyint(6000.0 * Sine(440, k, 96000) + 4000.0 * Sine(2000, k, 96000)));
        expected.insert(expected.end(), {sample, sample});
    }
    EXPECT_EQ(captured.samples, expected);
}

// Whole buffers in order, then the short one that ends the file (empty when the file ends on
// a buffer boundary), then nothing but the three the reset hands back empty. Other chunks and
// their pad bytes are passed over; a data chunk cut short gives the whole frames there are.
// A file device is named after its file and opens only in the file's own format.
// Unpaced, buffers are filled on the thread that owns the window, in its message order (one
// turn fills, the next delivers), and one handed back while its notification runs, before
// its samples are copied out (as loop method 1 does), keeps them until the next turn.
TEST(WavFileInputTest, AFileComesBackWholeInOrderThenStops) {
    const std::vector<int16_t> ramp = Ramp(1124, 11);
    std::string cut = PcmWav(2, 8000, ramp);
    cut.replace(40, 4, std::string("\x10\x27\x00\x00", 4));  // declares 10000 bytes
    cut.resize(cut.size() - 3);                              // and cuts a frame short
    const std::tuple<const char*, std::string, WAVEFORMATEX, std::vector<int16_t>> cases[] = {
        {"whole.wav", PcmWav(1, 8000, Ramp(1024)), Pcm16(8000, 1), Ramp(1024)},
        {"tail.wav", PcmWav(1, 8000, ramp), Pcm16(8000, 1), ramp},
        {"chunks.wav",
         Riff(Chunk("LIST", "INFOx") + Chunk("fmt ", FormatBody(1, 1, 11025, 16)) +
              Chunk("junk", "abc") + Chunk("data", SampleBytes(ramp)) + Chunk("id3 ", "tail!")),
         Pcm16(11025, 1), ramp},
        {"cut.wav", cut, Pcm16(8000, 2), {ramp.begin(), ramp.end() - 2}},
    };
    for (const auto& [name, file, format, wanted] : cases) {
        SCOPED_TRACE(name);
        const WaveDeviceRegistration added = AddFileInputDevice(TempFile(name, file), false);
        WAVEINCAPS caps;
        ASSERT_EQ(waveInGetDevCapsA(added.deviceId, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
        EXPECT_EQ(caps.szPname, std::string(name) + " (file)");
        HWAVEIN handle = 0;
        for (const WAVEFORMATEX& wrong : {Pcm16(format.nSamplesPerSec + 1, format.nChannels),
                                          Pcm16(format.nSamplesPerSec, 3 - format.nChannels)}) {
            EXPECT_EQ(waveInOpen(&handle, added.deviceId, &wrong, 0, 0, CALLBACK_NULL),
                      WAVERR_BADFORMAT);
        }
        WaveEventWindow window;
        BufferRing ring(4, 128, format.nChannels);
        const uint32_t full = ring.Header(0)->dwBufferLength;
        ASSERT_EQ(
            waveInOpen(&handle, added.deviceId, &format, window.Callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
        std::vector<uint32_t> bytes;
        std::vector<int16_t> samples;
        window.onEvent = [&](const WaveEvent& event) {
            if (event.message != MM_WIM_DATA) {
                return;
            }
            if (event.bytesRecorded == full) {
                EXPECT_EQ(waveInAddBuffer(handle, event.header, kWaveHdrSize), MMSYSERR_NOERROR);
            }
            const int16_t* data = ring.Samples(ring.IndexOf(event.header)).data();
            samples.insert(samples.end(), data, data + event.bytesRecorded / 2);
            bytes.push_back(event.bytesRecorded);
        };
        QueueAll(handle, ring);
        ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
        DoEvents();
        EXPECT_EQ(window.Count(MM_WIM_DATA), 0u);
        DoEvents();
        EXPECT_EQ(window.Count(MM_WIM_DATA), 4u);
        while (bytes.empty() || bytes.back() == full) {
            ASSERT_GT(DoEvents(), 0) << "a buffer did not come back without waiting";
        }
        DoEvents();  // room for a buffer that should not come
        DoEvents();
        ResetAndClose(handle, ring);
        EXPECT_TRUE(RemoveWaveDevice(added.key));
        std::vector<uint32_t> expected(wanted.size() * 2 / full, full);
        expected.push_back(uint32_t(wanted.size() * 2 % full));
        expected.resize(expected.size() + 3, 0);
        EXPECT_EQ(bytes, expected);
        EXPECT_EQ(samples, wanted);
    }
}

// What cannot be read as a device is refused when it is added, with the file named, and
// lists nothing; what can is listed last, and unlisted when removed.
TEST(WavFileInputTest, AddingChecksTheFileAndRemovingUnlistsIt) {
    aurelix::testing::TempFolder folder;
    const std::string data = Chunk("data", SampleBytes(Ramp(8)));
    std::string wideAlign = FormatBody(1, 1, 8000, 16);
    wideAlign[12] = 4;  // block align 4 for mono
    // Name ("" for the folder itself), contents, and what the refusal says.
    const std::tuple<const char*, std::optional<std::string>, std::string> cases[] = {
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
        {"", std::nullopt, "not a regular file"},
    };
    const uint32_t before = waveInGetNumDevs();
    for (const auto& [name, bytes, says] : cases) {
        const std::string path = folder / name;
        if (bytes) {
            std::ofstream(path, std::ios::binary) << *bytes;
        }
        const WaveDeviceRegistration refused = AddFileInputDevice(path, false);
        EXPECT_FALSE(refused) << path;
        EXPECT_THAT(refused.error, AllOf(StartsWith(path + ": "), HasSubstr(says)));
    }
    const WaveDeviceRegistration largest =
        AddFileInputDevice(TempFile("largest-rate.wav", PcmWav(1, 2147483647u, {1, 2})), false);
    EXPECT_EQ(WaveInDeviceIndex(largest.key), before) << largest.error;
    EXPECT_TRUE(RemoveWaveDevice(largest.key));
    EXPECT_FALSE(RemoveWaveDevice(largest.key));
    EXPECT_FALSE(WaveInDeviceIndex(largest.key));
    EXPECT_EQ(waveInGetNumDevs(), before);
}

// One handle at a time; each open starts the file afresh, in its own format. What cannot
// be written is refused when it is added.
TEST(WavFileOutputTest, WritesAValidFileOfWhatIsPlayedAndEachOpenStartsAfresh) {
    const std::string path = std::filesystem::path(::testing::TempDir()) / "written.wav";
    const WaveDeviceRegistration added = AddFileOutputDevice(path, false);
    ASSERT_TRUE(added) << added.error;
    const std::vector<int16_t> played = Ramp(3000);
    BufferRing ring(3, 500, 2);
    for (size_t i = 0; i < ring.Count(); ++i) {
        std::copy_n(played.begin() + i * 1000, 1000, ring.Samples(i).begin());
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
    EXPECT_THAT(AddFileOutputDevice(nowhere, false).error,
                StartsWith(nowhere + ": cannot write to"));
    EXPECT_FALSE(AddFileOutputDevice(::testing::TempDir(), false)) << "a folder is no file";
}

}  // namespace
}  // namespace aurelix::platform
