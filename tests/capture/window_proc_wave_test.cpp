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

FRESH_TEST(WindowProcWave, PausedBufferIsOnlyCountedAndTimed) {
    PipelineHost host;
    host.StartCapture({});
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().BlockRecords(1).BlockNumber, 1);
    EXPECT_EQ(host.input.QueuedCount(), 4u);  // handed straight back
    host.engine->Pause();
    const double before = state::State().LastBlockTime;
    host.Deliver(TestBlock(2, 1000));
    EXPECT_EQ(state::State().BlocksDone, 2);
    EXPECT_GT(state::State().LastBlockTime, before);
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    EXPECT_EQ(state::State().BlockRecords(2).BlockNumber, 0);
}

FRESH_TEST(WindowProcWave, LoopMethod3LeavesRequeueingToNextBuffer) {
    PipelineHost host;
    host.StartCapture({.loopMethod = 3});
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().BlockRecords(1).Left(999), TestBlock(1, 1000)[999]);
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    host.input.Fill(TestBlock(2, 500));  // buffer 2 comes back half full
    platform::DoEvents();
    NextBuffer(0);  // 2 came back partly filled: skipped
    const uint32_t timer = state::State().TimerId;
    EXPECT_NE(timer, 0u);  // the timer window is hooked: the analysis timer starts
    NextBuffer(0);         // 3 and 4 are still queued: offered, refused
    NextBuffer(0);
    EXPECT_EQ(host.input.QueuedCount(), 2u);
    EXPECT_EQ(state::State().CurrentBuffer, 4);
    NextBuffer(0);  // 1: full, queued again
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    EXPECT_EQ(state::State().TimerId, timer);
}

FRESH_TEST(WindowProcWave, TwentyFirstNestedCallIsDropped) {
    PipelineHost host;
    host.StartCapture({});
    state::State().CallbackDepth = 19;
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().BlocksDone, 1);
    EXPECT_EQ(state::State().CallbackDepth, 19);
    state::State().CallbackDepth = 20;
    host.Deliver(TestBlock(2, 1000));
    EXPECT_EQ(state::State().BlocksDone, 1);
    EXPECT_EQ(state::State().CallbackDepth, 20);
}

FRESH_TEST(WindowProcWave, BlockDuringAnalysisIsCountedMissedButStillCopied) {
    PipelineHost host;
    host.StartCapture({.analysisOff = false});
    state::State().AnalysisBusy = true;
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().MissedCount, 1);
    EXPECT_EQ(state::State().BlockRecords(1).BlockNumber, 1);
    state::State().AnalysisBusy = false;
    host.Deliver(TestBlock(2, 1000));
    EXPECT_EQ(state::State().MissedCount, 1);
    EXPECT_EQ(state::State().LastAnalyzedBlock, 2);
    EXPECT_EQ(state::State().WaveL(0), TestBlock(2, 1000)[0]);
}

FRESH_TEST(WindowProcWave, ChangedDeviceListStopsCaptureQuietly) {
    PipelineHost host;
    host.StartCapture({});
    platform::ManualWaveInput pluggedIn("Plugged in");
    int delivered = 0;
    while (host.Deliver(TestBlock(delivered + 1, 1000)))
        ++delivered;
    EXPECT_EQ(delivered, 4);  // the queued buffers, none handed back
    EXPECT_EQ(state::State().BlocksDone, 4);
    EXPECT_EQ(state::State().BlockRecords(4).BlockNumber, 4);
}

FRESH_TEST(WindowProcWave, ErrorRemovesTheHookAndGreysTheLamp) {
    PipelineHost host;
    host.StartCapture({});
    state::State().BlockRecords(2).Left.Erase();
    host.Deliver(TestBlock(1, 1000));
    host.Deliver(TestBlock(2, 1000));  // CopyBuffer fails on the broken record
    EXPECT_EQ(state::State().SubclassMark, kHooksRemoved);
    EXPECT_EQ(state::State().OldWaveProc, nullptr);
    EXPECT_EQ(host.lamp.BackColor(), platform::RGB(127, 127, 127));
    host.Deliver(TestBlock(3, 1000));
    EXPECT_EQ(state::State().BlocksDone, 2);  // messages reach the plain window now
}

FRESH_TEST(WindowProcTimer, ErrorRemovesTheTimerHookAndMutesTheWaveHook) {
    PipelineHost host;
    host.StartCapture({});
    state::State().Sequence.Erase();  // the analysis fails on its history
    platform::SendMessageA(state::State().TimerWindow, kTimerTickMessage, kTimerTickWord, 0);
    EXPECT_EQ(state::State().SubclassMark, kHooksRemoved);
    EXPECT_EQ(state::State().OldTimerProc, nullptr);
    EXPECT_NE(state::State().OldWaveProc, nullptr);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().BlocksDone, 0);
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
    ASSERT_NE(state::State().TimerId, 0u);
    analyses = 0;
    platform::RunMessageLoop([&] { return analyses >= 3; }, std::chrono::seconds(5));
    EXPECT_GE(analyses, 3);
    EXPECT_EQ(where, std::this_thread::get_id());
    state::State().AnalysisBusy = true;
    analyses = 0;
    platform::RunMessageLoop(nullptr, std::chrono::milliseconds(100));
    EXPECT_EQ(analyses, 0);
}

FRESH_TEST(Subclassing, SecondInstallIsRefusedAndKeepsTheFirstHook) {
    PipelineHost host;
    host.StartCapture({});
    const auto hook = state::State().OldWaveProc;
    const auto error = CaughtError([] { SubClassWaveIn(1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 1001);
    EXPECT_EQ(error->Description(),
              "Sub SubClassWaveIn in Aurelix\r\nFunction SubClassWaveIn in "
              "Aurelix\r\nSubclassing is already active!");
    EXPECT_EQ(state::State().OldWaveProc, hook);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(state::State().BlocksDone, 1);
}

std::string CapsName(uint32_t device) {
    platform::WAVEINCAPS caps;
    EXPECT_EQ(platform::waveInGetDevCapsA(device, &caps, platform::kWaveInCapsSize),
              platform::MMSYSERR_NOERROR);
    return std::string(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
}

TEST(GetWavDevicesTest, ListsEveryInputDeviceInDeviceOrder) {
    ManualWaveInput alpha("Alpha");
    ManualWaveInput beta("Beta");
    platform::BoundedArray<std::string> names(0, 99);
    names(99) = "left over";

    const int32_t count = GetWavDevices(names);
    ASSERT_EQ(count, int32_t(platform::waveInGetNumDevs()));
    EXPECT_EQ(names.Lower(), 0);
    EXPECT_EQ(names.Upper(), count - 1) << "earlier contents were kept";
    for (int32_t device = 0; device < count; ++device) {
        EXPECT_EQ(names(device), CapsName(uint32_t(device)));
    }
    EXPECT_EQ(names(int32_t(*alpha.DeviceId())), "Alpha");
    EXPECT_EQ(names(int32_t(*beta.DeviceId())), "Beta");

    beta.Unplug();
    EXPECT_EQ(GetWavDevices(names), count - 1);
    EXPECT_EQ(names.Upper(), count - 2);
}

// A device that does not answer gets the name listed before it.
TEST(GetWavDevicesTest, NamesAreCutAtTheFirstNulKeptWholeAt32BytesOrTakenFromThePrevious) {
    ManualWaveInput withNul(std::string("Left\0Right", 10));
    const std::string exact = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
    ManualWaveInput whole(exact);
    ManualWaveInput longer(exact + "6789");
    ManualWaveInput before("Answers");
    ManualWaveInput silent("Never seen");
    ManualWaveInput after("Answers too");
    silent.FailCapsQuery(true);
    platform::BoundedArray<std::string> names;
    GetWavDevices(names);
    EXPECT_EQ(names(int32_t(*withNul.DeviceId())), "Left");
    EXPECT_EQ(names(int32_t(*whole.DeviceId())), exact);
    EXPECT_EQ(names(int32_t(*longer.DeviceId())), exact);
    EXPECT_EQ(names(int32_t(*silent.DeviceId())), "Answers");
    EXPECT_EQ(names(int32_t(*after.DeviceId())), "Answers too");
}

}  // namespace
}  // namespace aurelix::capture
