#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using testing::BufferRing;
using testing::Pcm16;
using testing::WaveEventWindow;

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
