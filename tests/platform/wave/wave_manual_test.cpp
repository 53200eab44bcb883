#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/window.h"
#include "platform/wave/wave_test_support.h"

namespace aurelix::platform {
namespace {

using namespace testing;
using Samples = std::vector<int16_t>;
using Returns = std::vector<std::pair<size_t, uint32_t>>;

// Which buffers of `ring` came back with `message`, in order, with their byte counts; each
// for `handle`, marked done and no longer queued.
Returns Returned(const WaveEventWindow& window, const BufferRing& ring, UINT message,
                 uint32_t handle) {
    Returns returned;
    for (const WaveEvent& event : window.events) {
        if (event.message == message) {
            EXPECT_EQ(event.handle, handle);
            EXPECT_EQ(event.flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
            returned.emplace_back(ring.IndexOf(event.header), event.bytesRecorded);
        }
    }
    return returned;
}

// A manual input opened mono at 8000 Hz with a recording window.
class ManualCaptureTest : public ::testing::Test {
  protected:
    HWAVEIN Open() {
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, *device_.DeviceId(), &format_, window_.Callback(), 0,
                             CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        return handle;
    }
    // Prepares every buffer of `ring` and queues those of `order`, in that order.
    static void Queue(HWAVEIN handle, BufferRing& ring, std::initializer_list<size_t> order) {
        for (size_t i = 0; i < ring.Count(); ++i) {
            ASSERT_EQ(waveInPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        }
        for (size_t i : order) {
            ASSERT_EQ(waveInAddBuffer(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        }
    }

    ManualWaveInput device_{"Manual input"};
    WaveEventWindow window_;
    const WAVEFORMATEX format_ = Pcm16(8000, 1);
};

// Buffers come back in the order they were queued, filled as far as the samples go and cut
// to their length; a reset hands back the rest empty, still in queue order, and the device
// stays quiet until started again. An unplugged device keeps serving the handle open on it.
TEST_F(ManualCaptureTest, BuffersComeBackInQueueOrderAndResetReturnsTheRest) {
    const HWAVEIN handle = Open();
    BufferRing ring(5, 4, 1);
    Queue(handle, ring, {2, 0, 4, 3, 1});
    EXPECT_FALSE(device_.Fill(Samples{9, 9, 9, 9})) << "filled before waveInStart";
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    device_.Unplug();
    EXPECT_TRUE(device_.Fill(Samples{1, 2, 3, 4}));
    EXPECT_TRUE(device_.Fill(Samples{5, 6}));
    EXPECT_TRUE(device_.Fill(Samples{7, 8, 9, 10, 11, 12}));
    DoEvents();
    EXPECT_EQ(window_.Count(MM_WIM_DATA), 3u);
    EXPECT_EQ(WaveInOverruns(handle), 0u);
    EXPECT_EQ(ring.Samples(2), (Samples{1, 2, 3, 4}));
    EXPECT_EQ(ring.Samples(0)[1], 6);
    EXPECT_EQ(ring.Samples(4), (Samples{7, 8, 9, 10})) << "not cut to the buffer";

    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    DoEvents();
    EXPECT_EQ(Returned(window_, ring, MM_WIM_DATA, handle),
              (Returns{{2, 8}, {0, 4}, {4, 8}, {3, 0}, {1, 0}}));
    ASSERT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), MMSYSERR_NOERROR);
    EXPECT_FALSE(device_.Fill(Samples{1, 1})) << "a reset device filled before waveInStart";
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(device_.Fill(Samples{1, 1}));
    EXPECT_FALSE(device_.Fill(Samples{13})) << "nothing is queued";
    ResetAndClose(handle, ring);
    EXPECT_EQ(window_.Messages().back(), MM_WIM_CLOSE);
}

// Refused opens leave nothing open; only prepared buffers are queued, each once; a handle
// with buffers queued does not close; a closed, stale or playback handle is refused.
TEST_F(ManualCaptureTest, MisuseIsRefusedAndChangesNothing) {
    const uint32_t id = *device_.DeviceId();
    auto open = [&](uint32_t deviceId, const WAVEFORMATEX& format, uintptr_t callback,
                    uint32_t flags) {
        HWAVEIN handle = 12345;
        const MMRESULT result = waveInOpen(&handle, deviceId, &format, callback, 0, flags);
        EXPECT_EQ(handle, 0u) << "result " << result;
        return result;
    };
    const uintptr_t window = window_.Callback();
    EXPECT_EQ(open(waveInGetNumDevs(), format_, window, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    const WAVEFORMATEX eightBit = {WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0},
                       floatTag = {3, 1, 8000, 16000, 2, 16, 0},
                       badAlign = {WAVE_FORMAT_PCM, 1, 8000, 16000, 4, 16, 0};
    for (const WAVEFORMATEX& format : {eightBit, Pcm16(8000, 3), floatTag, badAlign, Pcm16(0, 1)}) {
        EXPECT_EQ(open(id, format, window, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    }
    EXPECT_EQ(open(id, format_, window, 0x30000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(open(id, format_, window + 1000, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    const HWAVEIN handle = Open();
    EXPECT_EQ(open(id, format_, window, CALLBACK_WINDOW), MMSYSERR_ALLOCATED);

    BufferRing ring(2, 4, 1);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_UNPREPARED);
    Queue(handle, ring, {0});
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInPrepareHeader(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(1), kWaveHdrSize - 1), MMSYSERR_INVALPARAM);
    ring.Header(1)->dwBufferLength = 1;  // less than one frame
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(1), kWaveHdrSize), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_INVALHANDLE) << "a capture handle is no playback one";

    EXPECT_EQ(device_.QueuedCount(), 1u) << "a refused add was queued";
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInUnprepareHeader(handle, ring.Header(0), kWaveHdrSize), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    for (HWAVEIN stale : {handle, 0u, handle ^ 0x5A5A5A5Au}) {
        EXPECT_EQ(waveInClose(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInStart(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInAddBuffer(stale, ring.Header(0), kWaveHdrSize), MMSYSERR_INVALHANDLE);
    }
    DoEvents();
    EXPECT_EQ(window_.Messages(), (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE}));
}

// A handle stored by an earlier run must not name a device of this one: handles do not
// repeat within a process, and two processes hand out different ones.
TEST(WaveHandleTest, HandlesNeverRepeatWithinOrAcrossProcesses) {
    ManualWaveInput device;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    auto openAndClose = [&] {
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, *device.DeviceId(), &format, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR);
        waveInClose(handle);
        return handle;
    };
    EXPECT_NE(openAndClose(), openAndClose());
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // each child is a fresh process
    const std::string path = ::testing::TempDir() + "/aurelix-handle";
    HWAVEIN first[2] = {};
    for (HWAVEIN& handle : first) {
        EXPECT_EXIT((std::ofstream(path) << openAndClose() << std::flush, std::_Exit(0)),
                    ::testing::ExitedWithCode(0), "");
        std::ifstream(path) >> handle;
    }
    EXPECT_NE(first[0], first[1]) << "two processes handed out the same handle";
}

// Devices are listed while they exist, one plugged again last, under names cut to 32 bytes.
TEST(WaveDeviceListTest, DevicesComeAndGoAndAreNamedInTheirCaps) {
    const uint32_t before = waveInGetNumDevs();
    const std::string exact(32, 'x');
    ManualWaveInput a(exact + "tail");
    a.Unplug();
    EXPECT_EQ(waveInGetNumDevs(), before);
    EXPECT_FALSE(a.DeviceId());

    ManualWaveInput b(exact), shortName("Short");
    a.Plug();
    a.Plug();
    EXPECT_EQ(waveInGetNumDevs(), before + 3) << "plugging twice listed it twice";
    EXPECT_EQ(b.DeviceId(), before);
    EXPECT_EQ(a.DeviceId(), before + 2) << "a plugged device is listed last";
    WAVEINCAPS caps;
    ASSERT_EQ(waveInGetDevCapsA(before + 2, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname, sizeof caps.szPname), exact);
    ASSERT_EQ(waveInGetDevCapsA(before + 1, &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Short");
    EXPECT_EQ(caps.szPname[31], '\0') << "the rest of the name field is not cleared";
    EXPECT_EQ(waveInGetDevCapsA(before + 3, &caps, kWaveInCapsSize), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, kWaveInCapsSize), MMSYSERR_INVALPARAM);
}

// Written buffers play when the test says, in order; a reset hands back the rest unplayed.
TEST(ManualPlaybackTest, WrittenBuffersCompleteInOrderWhenTheTestSays) {
    ManualWaveOutput device;
    WaveEventWindow window;
    const WAVEFORMATEX format = Pcm16(22050, 2);
    HWAVEOUT handle = 0;
    ASSERT_EQ(
        waveOutOpen(&handle, *device.DeviceId(), &format, window.Callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    BufferRing ring(3, 2, 2);
    for (size_t i = 0; i < 3; ++i) {
        ring.Samples(i)[0] = int16_t(i + 1);
        ASSERT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(device.CompleteNext());
    EXPECT_EQ(device.Played(), ring.Samples(0));
    EXPECT_EQ(waveOutClose(handle), WAVERR_STILLPLAYING);
    EXPECT_EQ(WaveOutUnderruns(handle), 0u);
    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.CompleteNext());
    EXPECT_EQ(device.Played(), ring.Samples(0)) << "reset played the dropped buffers";
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    EXPECT_FALSE(WaveOutUnderruns(handle)) << "a closed handle has no count";
    DoEvents();
    EXPECT_EQ(Returned(window, ring, MM_WOM_DONE, handle), (Returns{{0, 0}, {1, 0}, {2, 0}}));
}

}  // namespace
}  // namespace aurelix::platform
