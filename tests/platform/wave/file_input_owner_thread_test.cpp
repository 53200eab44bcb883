#include <gtest/gtest.h>

#include <thread>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "platform/wave/wav_bytes.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using testing::BufferRing;
using testing::Pcm16;
using testing::PcmWav;
using testing::Ramp;
using testing::TempFile;
using testing::WaveEventWindow;

// An unpaced file fills its buffers on the thread that owns the callback window, in that
// thread's message order: the first DoEvents fills every queued buffer, the second
// delivers them, with no other thread involved and no waiting. A buffer handed back
// while its notification runs (loop method 1 does so before copying the samples out)
// keeps its samples until the thread's next turn.
TEST(FileInputOwnerThread, FillsInMessageOrderWithoutAnotherThread) {
    const std::vector<int16_t> samples = Ramp(10 * 64 + 5);  // the last buffer is short
    const std::string path = TempFile("owner-thread.wav", PcmWav(1, 8000, samples));
    const WaveDeviceRegistration added = AddFileInputDevice(path, false);
    ASSERT_TRUE(added) << added.error;
    WaveEventWindow window;
    BufferRing ring(3, 64, 1);
    HWAVEIN handle = 0;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    ASSERT_EQ(waveInOpen(&handle, added.deviceId, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    std::vector<int16_t> delivered;
    bool ended = false;
    window.onEvent = [&](const testing::WaveEvent& event) {
        if (event.message != MM_WIM_DATA)
            return;
        const auto& data = ring.Samples(ring.IndexOf(event.header));
        ended = ended || event.bytesRecorded < 64 * 2;
        if (!ended) {
            EXPECT_EQ(waveInAddBuffer(handle, event.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
        delivered.insert(delivered.end(), data.begin(), data.begin() + event.bytesRecorded / 2);
    };
    for (size_t i = 0; i < ring.Count(); ++i) {
        ASSERT_EQ(waveInPrepareHeader(handle, ring.Header(i), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(handle, ring.Header(i), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
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

    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    DoEvents();
    for (size_t i = 0; i < ring.Count(); ++i)
        waveInUnprepareHeader(handle, ring.Header(i), sizeof(WAVEHDR));
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(RemoveWaveDevice(added.key));
}

}  // namespace
}  // namespace aurelix::platform
