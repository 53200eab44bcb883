#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "aurelix/capture/buffer_cycle.h"
#include "aurelix/capture/device_list.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/capture/window_proc_timer.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;
using platform::ManualWaveInput;
using state::State;

// What the second of two stereo blocks gets: counted and timed always (unless the call is
// nested too deep), handed back and copied only while running, analysed only when the
// analysis is free (else counted missed).
TEST(WindowProcWave, BusyAnalysisNestingAndPauseDecideWhatABlockGets) {
    struct Case {
        const char* what;
        bool analysisBusy;
        int32_t depth;
        bool paused;
        int32_t blocksDone;
        int32_t copiedBlock;  // the block number in record 2
        size_t queued;
        int32_t missed;
        int32_t analysed;
    };
    const Case cases[] = {
        {"analysis busy", true, 0, false, 2, 2, 4, 1, 1},
        {"19 nested calls", false, 19, false, 2, 2, 4, 0, 2},
        {"the 21st nested call", false, 20, false, 1, 0, 3, 0, 1},
        {"paused", false, 0, true, 2, 0, 3, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFreshThread([&] {
            PipelineHost host;
            host.StartCapture({.channels = 2, .analysisOff = false});
            host.Deliver(TestBlock(1, 2000));
            EXPECT_EQ(State().BlockRecords(1).BlockNumber, 1);
            EXPECT_EQ(State().BlockRecords(1).Right(999), TestBlock(1, 2000)[1999]);
            EXPECT_EQ(host.input.QueuedCount(), 4u);  // handed straight back
            if (c.paused)
                host.engine->Pause();
            const double before = State().LastBlockTime;
            State().AnalysisBusy = c.analysisBusy;
            State().CallbackDepth = c.depth;
            host.Deliver(TestBlock(2, 2000));
            EXPECT_EQ(State().BlocksDone, c.blocksDone);
            EXPECT_EQ(State().LastBlockTime > before, c.blocksDone == 2);
            EXPECT_EQ(State().BlockRecords(2).BlockNumber, c.copiedBlock);
            EXPECT_EQ(host.input.QueuedCount(), c.queued);
            EXPECT_EQ(State().MissedCount, c.missed);
            EXPECT_EQ(State().LastAnalyzedBlock, c.analysed);
            EXPECT_EQ(State().CallbackDepth, c.depth);
        });
    }
}

FRESH_TEST(WindowProcWave, LoopMethod3LeavesRequeueingToNextBuffer) {
    PipelineHost host;
    host.StartCapture({.loopMethod = 3});
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlockRecords(1).Left(999), TestBlock(1, 1000)[999]);
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    host.input.Fill(TestBlock(2, 500));  // buffer 2 comes back half full
    platform::DoEvents();
    NextBuffer(0);  // 2 came back partly filled: skipped
    const uint32_t timer = State().TimerId;
    EXPECT_NE(timer, 0u);  // the timer window is hooked: the analysis timer starts
    NextBuffer(0);         // 3 and 4 are still queued: offered, refused
    NextBuffer(0);
    EXPECT_EQ(host.input.QueuedCount(), 2u);
    EXPECT_EQ(State().CurrentBuffer, 4);
    NextBuffer(0);  // 1: full, queued again
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    EXPECT_EQ(State().TimerId, timer);
}

FRESH_TEST(WindowProcWave, ChangedDeviceListStopsCaptureQuietly) {
    PipelineHost host;
    host.StartCapture({});
    ManualWaveInput pluggedIn("Plugged in");
    int delivered = 0;
    while (host.Deliver(TestBlock(delivered + 1, 1000)))
        ++delivered;
    EXPECT_EQ(delivered, 4);  // the queued buffers, none handed back
    EXPECT_EQ(State().BlocksDone, 4);
    EXPECT_EQ(State().BlockRecords(4).BlockNumber, 4);
}

FRESH_TEST(WindowProcTimer, ErrorRemovesTheTimerHookAndMutesTheWaveHook) {
    PipelineHost host;
    host.StartCapture({});
    State().Sequence.Erase();  // the analysis fails on its history
    platform::SendMessageA(State().TimerWindow, kTimerTickMessage, kTimerTickWord, 0);
    EXPECT_EQ(State().SubclassMark, kHooksRemoved);
    EXPECT_EQ(State().OldTimerProc, nullptr);
    EXPECT_NE(State().OldWaveProc, nullptr);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlocksDone, 0);
}

FRESH_TEST(WindowProcTimer, TicksRunTheAnalysisOnTheOwningThreadWhileItIsNotBusy) {
    PipelineHost host;
    int analyses = 0;  // each analysis sets the lamp once
    std::thread::id where;
    host.lamp.OnRefresh([&](int32_t) {
        ++analyses;
        where = std::this_thread::get_id();
    });
    host.StartCapture(
        {.sps = 44100, .samples = 1024, .buffers = 2, .analysis = 3, .analysisOff = false});
    ASSERT_NE(State().TimerId, 0u);
    analyses = 0;
    platform::RunMessageLoop([&] { return analyses >= 3; }, std::chrono::seconds(5));
    EXPECT_GE(analyses, 3);
    EXPECT_EQ(where, std::this_thread::get_id());
    State().AnalysisBusy = true;
    analyses = 0;
    platform::RunMessageLoop(nullptr, std::chrono::milliseconds(100));
    EXPECT_EQ(analyses, 0);
}

// A second hook is refused and the first one kept; an error inside the hook removes it and
// greys the lamp.
FRESH_TEST(Subclassing, SecondInstallIsRefusedAndAnErrorRemovesTheHook) {
    PipelineHost host;
    host.StartCapture({});
    const auto hook = State().OldWaveProc;
    const auto error = CaughtError([] { SubClassWaveIn(1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 1001);
    EXPECT_EQ(error->Description(),
              "Sub SubClassWaveIn in Aurelix\r\nFunction SubClassWaveIn in "
              "Aurelix\r\nSubclassing is already active!");
    EXPECT_EQ(State().OldWaveProc, hook);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlocksDone, 1);

    State().BlockRecords(2).Left.Erase();
    host.Deliver(TestBlock(2, 1000));  // CopyBuffer fails on the broken record
    EXPECT_EQ(State().SubclassMark, kHooksRemoved);
    EXPECT_EQ(State().OldWaveProc, nullptr);
    EXPECT_EQ(host.lamp.BackColor(), platform::RGB(127, 127, 127));
    host.Deliver(TestBlock(3, 1000));
    EXPECT_EQ(State().BlocksDone, 2);  // messages reach the plain window now
}

// In device order, replacing what the list held: names cut at the first NUL, kept whole
// at 32 bytes, and for a device that does not answer the name listed before it.
TEST(GetWavDevicesTest, ListsEveryInputDeviceByItsCapsName) {
    ManualWaveInput withNul(std::string("Left\0Right", 10));
    const std::string exact = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    ManualWaveInput whole(exact);
    ManualWaveInput silent("Never seen");
    ManualWaveInput after("Answers");
    silent.FailCapsQuery(true);
    platform::BoundedArray<std::string> names(0, 99);
    names(99) = "left over";
    const int32_t count = GetWavDevices(names);
    ASSERT_EQ(count, int32_t(platform::waveInGetNumDevs()));
    EXPECT_EQ(names.Lower(), 0);
    EXPECT_EQ(names.Upper(), count - 1);
    EXPECT_EQ(names(int32_t(*withNul.DeviceId())), "Left");
    EXPECT_EQ(names(int32_t(*whole.DeviceId())), exact);
    EXPECT_EQ(names(int32_t(*silent.DeviceId())), exact);
    EXPECT_EQ(names(int32_t(*after.DeviceId())), "Answers");

    after.Unplug();
    EXPECT_EQ(GetWavDevices(names), count - 1);
    EXPECT_EQ(names.Upper(), count - 2);
}

}  // namespace
}  // namespace aurelix::capture
