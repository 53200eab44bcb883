#include <gtest/gtest.h>

#include <fstream>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/window.h"
#include "platform/wave/wave_test_support.h"
#include "support/fresh_thread.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using Samples = std::vector<int16_t>;

// A manual input opened mono at 8000 Hz with a recording window, and a ring to queue.
class ManualCaptureTest : public ::testing::Test {
  protected:
    HWAVEIN Open() {
        const WAVEFORMATEX format = Pcm16(8000, 1);
        HWAVEIN handle = 0;
        EXPECT_EQ(waveInOpen(&handle, *device_.DeviceId(), &format, window_.Callback(), 0,
                             CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        return handle;
    }
    // Prepares every buffer of `ring` and queues those of `order`, in that order.
    void Queue(HWAVEIN handle, BufferRing& ring, std::initializer_list<size_t> order) {
        for (size_t i = 0; i < ring.Count(); ++i) {
            ASSERT_EQ(waveInPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        }
        for (size_t i : order) {
            ASSERT_EQ(waveInAddBuffer(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        }
    }
    // Which buffers came back with MM_WIM_DATA, in order, with their byte counts.
    std::vector<std::pair<size_t, uint32_t>> Returned(const BufferRing& ring) const {
        std::vector<std::pair<size_t, uint32_t>> returned;
        for (const auto& event : window_.Events()) {
            if (event.message == MM_WIM_DATA) {
                returned.emplace_back(ring.IndexOf(event.header), event.bytesRecorded);
            }
        }
        return returned;
    }

    ManualWaveInput device_{"Manual input"};
    WaveEventWindow window_;
};

// Buffers come back in the order they were queued, filled as far as the samples go and cut
// to their length; a reset hands back the rest empty, still in queue order, and the device
// stays quiet until started again.
TEST_F(ManualCaptureTest, BuffersComeBackInQueueOrderAndResetReturnsTheRest) {
    const HWAVEIN handle = Open();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(device_.LastFormat()->nSamplesPerSec, 8000u);
    BufferRing ring(5, 4, 1);
    Queue(handle, ring, {2, 0, 4, 3, 1});
    EXPECT_FALSE(device_.Fill(Samples{9, 9, 9, 9})) << "filled before waveInStart";
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(device_.QueuedCount(), 5u);
    EXPECT_TRUE(device_.Fill(Samples{1, 2, 3, 4}));
    EXPECT_TRUE(device_.Fill(Samples{5, 6}));
    EXPECT_TRUE(device_.Fill(Samples{7, 8, 9, 10, 11, 12}));
    DoEvents();
    ASSERT_EQ(window_.Messages(),
              (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_DATA, MM_WIM_DATA}));
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(window_.Events()[i].handle, handle);
        EXPECT_EQ(window_.Events()[i].flags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
    EXPECT_EQ(ring.Samples(2), (Samples{1, 2, 3, 4}));
    EXPECT_EQ(ring.Samples(0)[1], 6);
    EXPECT_EQ(ring.Samples(4), (Samples{7, 8, 9, 10})) << "not cut to the buffer";

    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(device_.QueuedCount(), 0u);
    DoEvents();
    EXPECT_EQ(Returned(ring),
              (std::vector<std::pair<size_t, uint32_t>>{{2, 8}, {0, 4}, {4, 8}, {3, 0}, {1, 0}}));
    ASSERT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), MMSYSERR_NOERROR);
    EXPECT_FALSE(device_.Fill(Samples{1, 1})) << "a reset device filled before waveInStart";
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(device_.Fill(Samples{1, 1}));
    EXPECT_FALSE(device_.Fill(Samples{13})) << "nothing is queued";

    ResetAndClose(handle, ring);
    EXPECT_EQ(window_.Messages().back(), MM_WIM_CLOSE);
    EXPECT_EQ(window_.Count(MM_WIM_CLOSE), 1u);
    EXPECT_FALSE(device_.IsOpen());
}

// Refused opens leave nothing open and post nothing; only prepared buffers are queued, each
// once; a handle with buffers queued does not close; a closed, stale or playback handle is
// refused everywhere.
TEST_F(ManualCaptureTest, MisuseIsRefusedAndChangesNothing) {
    const uint32_t id = *device_.DeviceId();
    auto refused = [&](uint32_t deviceId, const WAVEFORMATEX& format, uintptr_t callback,
                       uint32_t flags) {
        HWAVEIN handle = 12345;
        const MMRESULT result = waveInOpen(&handle, deviceId, &format, callback, 0, flags);
        EXPECT_EQ(handle, 0u) << "result " << result;
        EXPECT_FALSE(device_.IsOpen()) << "result " << result;
        return result;
    };
    const WAVEFORMATEX good = Pcm16(8000, 1);
    EXPECT_EQ(refused(waveInGetNumDevs(), good, window_.Callback(), CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);
    WAVEFORMATEX eightBit = good, floatTag = good, badAlign = good;
    eightBit.wBitsPerSample = 8;
    eightBit.nBlockAlign = 1;
    eightBit.nAvgBytesPerSec = 8000;
    floatTag.wFormatTag = 3;
    badAlign.nBlockAlign = 4;
    for (const WAVEFORMATEX& format : {eightBit, Pcm16(8000, 3), floatTag, badAlign, Pcm16(0, 1)}) {
        EXPECT_EQ(refused(id, format, window_.Callback(), CALLBACK_WINDOW), WAVERR_BADFORMAT);
    }
    EXPECT_EQ(refused(id, good, window_.Callback(), 0x30000), MMSYSERR_INVALFLAG);
    EXPECT_EQ(refused(id, good, window_.Handle() + 1000, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    const HWAVEIN handle = Open();
    HWAVEIN second = 12345;
    EXPECT_EQ(waveInOpen(&second, id, &good, window_.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_ALLOCATED);
    EXPECT_EQ(second, 0u);

    BufferRing ring(2, 4, 1);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_UNPREPARED);
    Queue(handle, ring, {0});
    EXPECT_TRUE(ring.Header(0)->dwFlags & WHDR_INQUEUE);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInPrepareHeader(handle, ring.Header(0), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInAddBuffer(handle, nullptr, kWaveHdrSize), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(1), kWaveHdrSize - 1), MMSYSERR_INVALPARAM);
    WAVEHDR empty;
    empty.lpData = ring.Header(1)->lpData;
    empty.dwBufferLength = 1;  // less than one frame
    ASSERT_EQ(waveInPrepareHeader(handle, &empty, kWaveHdrSize), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(handle, &empty, kWaveHdrSize), MMSYSERR_INVALPARAM);
    EXPECT_EQ(device_.QueuedCount(), 1u);
    EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_INVALHANDLE) << "a capture handle is no playback one";

    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(device_.Fill(Samples{1, 2, 3, 4}));
    EXPECT_FALSE(device_.Fill(Samples{1, 2, 3, 4})) << "the refused add was queued";
    DoEvents();
    EXPECT_EQ(window_.Messages(), (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA}));
    EXPECT_EQ(waveInUnprepareHeader(handle, ring.Header(0), kWaveHdrSize), MMSYSERR_NOERROR);
    EXPECT_FALSE(ring.Header(0)->dwFlags & WHDR_PREPARED);
    EXPECT_EQ(waveInAddBuffer(handle, ring.Header(0), kWaveHdrSize), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    for (HWAVEIN stale : {handle, 0u, handle ^ 0x5A5A5A5Au}) {
        EXPECT_EQ(waveInClose(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInReset(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInStart(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInPrepareHeader(stale, ring.Header(0), kWaveHdrSize), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInAddBuffer(stale, ring.Header(0), kWaveHdrSize), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInUnprepareHeader(stale, ring.Header(0), kWaveHdrSize), MMSYSERR_INVALHANDLE);
    }
    DoEvents();
    EXPECT_EQ(window_.Count(MM_WIM_CLOSE), 1u);
}

TEST_F(ManualCaptureTest, AWindowProcedureMayResetTheDevice) {
    const HWAVEIN handle = Open();
    window_.onEvent = [handle](const WaveEvent& event) {
        if (event.message == MM_WIM_DATA && event.bytesRecorded > 0) {
            EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
        }
    };
    BufferRing ring(3, 2, 1);
    QueueAll(handle, ring);
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(device_.Fill(Samples{1, 2}));
    ASSERT_TRUE(window_.WaitFor(MM_WIM_DATA, 3, 1s));
    EXPECT_EQ(device_.QueuedCount(), 0u);
    ResetAndClose(handle, ring);
}

// The first handle a fresh process opens, written to `path`.
void WriteFirstHandle(const std::string& path) {
    ManualWaveInput device;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    HWAVEIN handle = 0;
    waveInOpen(&handle, *device.DeviceId(), &format, 0, 0, CALLBACK_NULL);
    std::ofstream(path) << handle;
    std::_Exit(handle == 0 ? 1 : 0);
}

// A handle stored by an earlier run must not name a device of this one.
TEST(WaveHandleTest, HandlesNeverRepeatWithinOrAcrossProcesses) {
    ManualWaveInput device;
    const WAVEFORMATEX format = Pcm16(8000, 1);
    std::set<HWAVEIN> seen;
    for (int i = 0; i < 200; ++i) {
        HWAVEIN handle = 0;
        ASSERT_EQ(waveInOpen(&handle, *device.DeviceId(), &format, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR);
        EXPECT_TRUE(handle != 0 && seen.insert(handle).second) << "after " << i << " opens";
        ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string first = ::testing::TempDir() + "/aurelix-handle-1";
    const std::string second = ::testing::TempDir() + "/aurelix-handle-2";
    EXPECT_EXIT(WriteFirstHandle(first), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(WriteFirstHandle(second), ::testing::ExitedWithCode(0), "");
    uint32_t a = 0, b = 0;
    std::ifstream(first) >> a;
    std::ifstream(second) >> b;
    EXPECT_NE(a, b) << "two processes handed out the same first handle";
}

// Devices are listed while they exist, one plugged again last, under names cut to 32 bytes.
// A handle open on an unplugged device keeps serving it; its notifications go to the thread
// that owns the window, not to the one that opened the device and filled its buffer.
TEST(WaveDeviceListTest, DevicesComeAndGoWhileTheirHandlesStay) {
    const uint32_t before = waveInGetNumDevs();
    const std::string exact(32, 'x');
    ManualWaveInput a(exact + "tail");
    EXPECT_EQ(waveInGetNumDevs(), before + 1);
    EXPECT_EQ(a.DeviceId(), before);
    WaveEventWindow window;
    BufferRing ring(1, 2, 1);
    aurelix::testing::OnFreshThread([&] {
        const WAVEFORMATEX format = Pcm16(8000, 1);
        HWAVEIN handle = 0, other = 0;
        ASSERT_EQ(waveInOpen(&handle, before, &format, window.Callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
        a.Unplug();
        EXPECT_EQ(waveInGetNumDevs(), before);
        EXPECT_FALSE(a.DeviceId());
        EXPECT_EQ(waveInOpen(&other, before, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
        QueueAll(handle, ring);
        ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
        EXPECT_TRUE(a.Fill(Samples{3, 4}));
        EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    });
    DoEvents();
    EXPECT_EQ(window.Messages(), (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE}));
    for (const auto& event : window.Events()) {
        EXPECT_EQ(event.thread, std::this_thread::get_id()) << "not the window's thread";
    }

    ManualWaveInput b(exact), shortName("Short");
    a.Plug();
    a.Plug();
    EXPECT_EQ(waveInGetNumDevs(), before + 3) << "plugging twice listed it twice";
    EXPECT_EQ(b.DeviceId(), before);
    EXPECT_EQ(a.DeviceId(), before + 2) << "a plugged device is listed last";
    WAVEINCAPS caps;
    for (const ManualWaveInput* device : {&a, &b}) {
        ASSERT_EQ(waveInGetDevCapsA(*device->DeviceId(), &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
        EXPECT_EQ(std::string(caps.szPname, sizeof caps.szPname), exact);
    }
    ASSERT_EQ(waveInGetDevCapsA(*shortName.DeviceId(), &caps, kWaveInCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Short");
    EXPECT_EQ(caps.szPname[31], '\0') << "the rest of the name field is not cleared";
    EXPECT_EQ(waveInGetDevCapsA(waveInGetNumDevs(), &caps, kWaveInCapsSize), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, kWaveInCapsSize), MMSYSERR_INVALPARAM);
    shortName.FailCapsQuery(true);
    EXPECT_EQ(waveInGetDevCapsA(*shortName.DeviceId(), &caps, kWaveInCapsSize), MMSYSERR_NODRIVER);
    ManualWaveOutput output("Manual speaker");
    WAVEOUTCAPS outCaps;
    ASSERT_EQ(waveOutGetDevCapsA(*output.DeviceId(), &outCaps, kWaveOutCapsSize), MMSYSERR_NOERROR);
    EXPECT_STREQ(outCaps.szPname, "Manual speaker");
}

TEST(ManualPlaybackTest, WrittenBuffersCompleteInOrderWhenTheTestSays) {
    ManualWaveOutput device;
    WaveEventWindow window;
    const WAVEFORMATEX format = Pcm16(22050, 2);
    HWAVEOUT handle = 0;
    ASSERT_EQ(
        waveOutOpen(&handle, *device.DeviceId(), &format, window.Callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    EXPECT_EQ(device.LastFormat()->nChannels, 2);
    BufferRing ring(3, 2, 2);
    EXPECT_EQ(waveOutWrite(handle, ring.Header(0), kWaveHdrSize), WAVERR_UNPREPARED);
    for (size_t i = 0; i < 3; ++i) {
        std::iota(ring.Samples(i).begin(), ring.Samples(i).end(), int16_t(10 * i));
        ASSERT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutWrite(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutWrite(handle, ring.Header(1), kWaveHdrSize), WAVERR_STILLPLAYING);
    EXPECT_EQ(device.WrittenCount(), 3u);
    EXPECT_TRUE(device.CompleteNext());
    EXPECT_EQ(device.Played(), ring.Samples(0));
    EXPECT_EQ(waveOutClose(handle), WAVERR_STILLPLAYING);

    ASSERT_EQ(waveOutReset(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(device.WrittenCount(), 0u);
    EXPECT_FALSE(device.CompleteNext());
    EXPECT_EQ(device.Played(), ring.Samples(0)) << "reset played the dropped buffers";
    DoEvents();
    std::vector<size_t> done;
    for (const auto& event : window.Events()) {
        if (event.message == MM_WOM_DONE) {
            done.push_back(ring.IndexOf(event.header));
            EXPECT_TRUE(event.flags & WHDR_DONE);
            EXPECT_EQ(event.handle, handle);
        }
    }
    EXPECT_EQ(done, (std::vector<size_t>{0, 1, 2}));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_INVALHANDLE);
    DoEvents();
    EXPECT_EQ(window.Messages().front(), MM_WOM_OPEN);
    EXPECT_EQ(window.Messages().back(), MM_WOM_CLOSE);
    EXPECT_FALSE(device.IsOpen());
}

}  // namespace
}  // namespace aurelix::platform
