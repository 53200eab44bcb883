#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

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
