#include <gtest/gtest.h>

#include <filesystem>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
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

}  // namespace
}  // namespace aurelix::platform
