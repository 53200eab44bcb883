#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "aurelix/capture/subclassing.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/settings_store.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;
using platform::RGB;

FRESH_TEST(DeviceOpening, MessageDrivenCaptureGoesThroughStatus0_3_7_3_0) {
    PipelineHost host;
    host.Configure({}, *host.input.DeviceId());
    EXPECT_EQ(state::State().Status, 0);
    EXPECT_FALSE(host.Open().has_value());
    // Open and confirmed, nothing queued before Start; the handle is stored for a later run.
    EXPECT_EQ(std::tuple(state::State().Status, host.lamp.BackColor(), host.input.IsStarted(),
                         host.input.QueuedCount()),
              std::tuple(3, RGB(127, 0, 0), true, 0u));
    EXPECT_EQ(host.mail, std::vector<std::string>{"start"});
    const uint32_t handle = state::State().WaveHandle;
    EXPECT_EQ(host.Open(), -1001);  // not idle: refused, device left alone
    EXPECT_EQ(std::tuple(state::State().WaveHandle, state::State().Status), std::tuple(handle, 3));

    host.engine->Start();
    EXPECT_EQ(std::tuple(state::State().Status, host.input.QueuedCount()), std::tuple(7, 4u));
    const auto refreshes = host.lamp.RefreshCount();
    host.engine->Pause();
    EXPECT_EQ(std::tuple(state::State().Status, host.lamp.RefreshCount(), host.lamp.BackColor()),
              std::tuple(3, refreshes + 1, RGB(127, 0, 0)));
    host.engine->Reset();
    EXPECT_EQ(std::tuple(state::State().Status, host.input.IsOpen(), host.lamp.BackColor(),
                         host.Count("closed")),
              std::tuple(0, false, RGB(127, 127, 127), 1));
    EXPECT_EQ(std::tuple(state::State().OldWaveProc, state::State().OldTimerProc),
              std::tuple(nullptr, nullptr));
}

FRESH_TEST(DeviceOpening, TimerPacedCaptureGoesThroughStatus0_2_6_2_0) {
    PipelineHost host;
    host.Configure({.loopMethod = 0}, *host.input.DeviceId());
    host.Open();
    EXPECT_EQ(state::State().Status, 2);  // no hook, so no confirmation
    EXPECT_TRUE(host.mail.empty());
    host.engine->Start();
    EXPECT_EQ(std::tuple(state::State().Status, host.timer.Enabled(), host.timer.Interval()),
              std::tuple(6, true, 125));  // 1000 samples at 8000 Hz
    host.engine->Pause();
    EXPECT_EQ(std::tuple(state::State().Status, host.timer.Enabled(), host.lamp.BackColor()),
              std::tuple(2, false, RGB(0, 175, 0)));
    host.engine->Reset();
    EXPECT_EQ(state::State().Status, 0);
}

// An earlier run (another thread standing in for an earlier process) left the device
// open and its handle in the settings store.
TEST(DeviceOpening, StaleStoredHandleIsClosedSoTheDeviceOpens) {
    platform::ManualWaveInput device("Left open");
    platform::HWAVEIN stale = 0;
    std::thread([&] {
        platform::WAVEFORMATEX format{1, 1, 8000, 16000, 2, 16, 0};
        ASSERT_EQ(platform::waveInOpen(&stale, *device.DeviceId(), &format, 0, 0, 0), 0u);
        // As an earlier version left it: no owner, so it counts as a crashed run's.
        platform::SaveSettings("AurelyxOCX", "WaveInDevices",
                               {{"LastHandle", std::to_string(stale)}, {"LastHandleOwner", ""}});
    }).join();
    OnFreshThread([&] {
        PipelineHost host;
        host.Configure({}, *device.DeviceId());
        host.Open();
        EXPECT_EQ(state::State().Status, 3);
        EXPECT_NE(state::State().WaveHandle, stale);
        EXPECT_EQ(platform::waveInClose(stale), platform::MMSYSERR_INVALHANDLE);
    });
}

// A missing playback file is an error, not a new file; an existing one wins over capture.
TEST(DeviceOpening, PlaybackNeedsItsFileAndStereoBuffersSpanWholeBlocks) {
    TempFolder folder;
    std::ofstream(folder / "in.wav", std::ios::binary) << std::string(44, '\0');
    OnFreshThread([&] {
        PipelineHost host;
        platform::ManualWaveOutput output;
        host.Configure({.channels = 2, .samples = 1024, .loopMethod = 0}, *output.DeviceId());
        host.engine->FileName(folder / "missing.wav");
        const auto missing = CaughtError([&] { host.Open(2); });
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->Number(), 53);
        EXPECT_EQ(missing->Description().rfind("Function InitX in clsAurel\r\nFile not found", 0),
                  0u);
        EXPECT_FALSE(std::filesystem::exists(folder / "missing.wav"));
        host.engine->Reset();

        host.engine->FileName(folder / "in.wav");
        host.engine->Recording(false);
        host.Open(3);
        EXPECT_EQ(state::State().DeviceMode, 2);
        EXPECT_EQ(host.engine->LoopMethod(), 1);
        EXPECT_TRUE(host.engine->Playing());
        EXPECT_EQ(state::State().WaveHeaders(1).dwBufferLength, 4096u);
        EXPECT_EQ(state::State().FilePosition, 45);
        host.engine->Reset();

        // A later capture neither opens nor overwrites the played file.
        host.Configure({.channels = 2, .samples = 1024}, *host.input.DeviceId());
        host.engine->FileName(folder / "in.wav");
        host.engine->Recording(false);
        host.Open(1);
        EXPECT_EQ(state::State().WaveHeaders(1).dwBufferLength, 4096u);
        EXPECT_EQ(state::State().FileNumber, 0);
    });
    EXPECT_EQ(FileBytes(folder / "in.wav"), std::string(44, '\0'));
}

TEST(RunControl, StartSetsBacklogAndTheAnalysisTimerByRingSizeAndAnalysis) {
    struct Case {
        int32_t buffers, analysis, period, limit, min;
        bool timer;
    };
    for (const Case c :
         {Case{2, 3, 12, 2, 1, true}, Case{1, 3, 0, 1, 1, false}, Case{3, 3, 23, 2, 2, true},
          Case{5, 1, 23, 3, 2, false}, Case{5, 3, 23, 3, 2, true}}) {
        OnFreshThread([&] {
            PipelineHost host;
            host.StartCapture({.sps = 44100,
                               .samples = 1024,
                               .buffers = c.buffers,
                               .analysis = c.analysis,
                               .analysisOff = false});
            EXPECT_EQ(state::State().TimerPeriod, c.period) << c.buffers;
            EXPECT_EQ(state::State().TimerId != 0, c.timer) << c.buffers << " " << c.analysis;
            EXPECT_EQ(state::State().BacklogLimit, c.limit);
            EXPECT_EQ(state::State().BacklogMin, c.min);
            EXPECT_EQ(host.input.QueuedCount(), size_t(c.buffers));
            host.engine->Pause();
            EXPECT_EQ(state::State().TimerId, 0u);
        });
    }
}

FRESH_TEST(RunControl, ChangedDeviceListBeforeStartLeavesCaptureDryQuietly) {
    PipelineHost host;
    host.Configure({}, *host.input.DeviceId());
    host.Open();
    platform::ManualWaveInput pluggedIn("Plugged in");
    EXPECT_EQ(host.engine->Start(), 0);
    EXPECT_EQ(state::State().Status, 7);
    EXPECT_EQ(host.input.QueuedCount(), 0u);
}

FRESH_TEST(RunControl, StartErrorsArePassedOnWithTheirContext) {
    PipelineHost host;
    host.engine->LoopMethod(0);
    const auto error = CaughtError([&] { host.engine->Start(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 11);
    EXPECT_EQ(error->Description(), "Function Start in clsAurel\r\nDivision by zero");
}

TEST(RunControl, ResetGoesOnWithoutTimerLampOrFileAndTwiceIsHarmless) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "gone.wav"});
        host.Deliver(TestBlock(1, 1000));
        std::filesystem::remove(folder / "gone.wav");
        state::State().Timer = nullptr;
        state::State().Lamp = nullptr;
        EXPECT_EQ(host.engine->Pause(), 0);  // ends at the missing timer
        EXPECT_EQ(host.engine->Reset(), 0);
        EXPECT_EQ(state::State().Status, 0);
        EXPECT_EQ(state::State().FileNumber, 0);
        EXPECT_EQ(state::State().OldWaveProc, nullptr);
        EXPECT_FALSE(host.input.IsOpen());
        EXPECT_EQ(host.engine->Reset(), 0);
        EXPECT_EQ(state::State().Status, 0);
    });
}

TEST(RunControl, DestroyingTheEngineFinishesTheRecording) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "rec.wav"});
        host.Deliver(TestBlock(1, 1000));
        host.engine.reset();
        EXPECT_FALSE(host.input.IsOpen());
        EXPECT_EQ(host.Count("donerecording"), 1);
    });
    const std::string bytes = FileBytes(folder / "rec.wav");
    ASSERT_EQ(bytes.size(), 2044u);
    EXPECT_EQ(Field<int32_t>(bytes, 40), 2000);
}

}  // namespace
}  // namespace aurelix::engine
