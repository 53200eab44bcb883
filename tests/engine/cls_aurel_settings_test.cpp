#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"

namespace aurelix::engine {
namespace {

using aurelix::testing::OnFreshThread;

struct RecordedEvents : clsAurelEvents {
    void ChangedSamples(int32_t OldSamples) override { changed.push_back(OldSamples); }
    std::vector<int32_t> changed;
};

TEST(clsAurelSettings, SamplesBelowOneStoresOneWithoutEvent) {
    OnFreshThread([] {
        RecordedEvents events;
        clsAurel engine(&events);
        for (int32_t analysis : {0, 3}) {
            engine.Analysis(analysis);
            events.changed.clear();
            engine.Samples(0);
            EXPECT_EQ(engine.Samples(), 1);
            engine.Samples(-7);
            EXPECT_EQ(engine.Samples(), 1);
            EXPECT_TRUE(events.changed.empty());
            EXPECT_EQ(state::State().BlockSamples, 1);
        }
    });
}

TEST(clsAurelSettings, AnalysisOnANewEngineFitsSamplesTo1024) {
    OnFreshThread([] {
        RecordedEvents events;
        clsAurel engine(&events);
        engine.Analysis(1);
        EXPECT_EQ(engine.Samples(), 1024);
        EXPECT_EQ(events.changed, std::vector<int32_t>{0});
        EXPECT_EQ(state::State().AnalysisFlags, 1);
        EXPECT_EQ(state::State().BlockSamples, 1024);
    });
}

TEST(clsAurelSettings, FftBitForcesPowersOfTwo) {
    OnFreshThread([] {
        RecordedEvents events;
        clsAurel engine(&events);
        engine.Analysis(3);
        events.changed.clear();
        engine.Samples(1000);
        EXPECT_EQ(engine.Samples(), 1024);
        EXPECT_EQ(events.changed, std::vector<int32_t>{1000});
        engine.Samples(1024);
        EXPECT_EQ(events.changed.size(), 1u);
        EXPECT_EQ(state::State().BlockSamples, 1024);
    });
}

TEST(clsAurelSettings, SwitchingAnalysisFrom1To3RefitsSamples) {
    OnFreshThread([] {
        RecordedEvents events;
        clsAurel engine(&events);
        engine.Analysis(1);
        engine.Samples(1000);
        EXPECT_EQ(engine.Samples(), 1000);
        events.changed.clear();
        engine.Analysis(3);
        EXPECT_EQ(engine.Samples(), 1024);
        EXPECT_EQ(events.changed, std::vector<int32_t>{1000});
        EXPECT_EQ(state::State().AnalysisFlags, 3);
    });
}

TEST(clsAurelSettings, ThresholdIsKeptAsALevelIn320ths) {
    OnFreshThread([] {
        clsAurel engine;
        engine.Threshold(0.5f);
        EXPECT_EQ(state::State().ThresholdLevel, 160);
        EXPECT_EQ(engine.Threshold(), 0.5f);
        engine.Threshold(0.0078125f);  // exactly 2.5 level units: half to even
        EXPECT_EQ(state::State().ThresholdLevel, 2);
        state::State().ThresholdLevel = 1601;
        EXPECT_FLOAT_EQ(engine.Threshold(), 1601 / 320.0f);
        try {
            engine.Threshold(1e9f);
            FAIL() << "no overflow";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.Number(), 6);
        }
    });
}

TEST(clsAurelSettings, SamplingTimeFollowsTheFormatWhenTheRateIsKnown) {
    OnFreshThread([] {
        clsAurel engine;
        engine.SamplingTime(12.5);
        EXPECT_EQ(engine.SamplingTime(), 12.5);  // SPS 0: the stored value
        engine.SPS(44100);
        engine.Samples(4410);
        EXPECT_DOUBLE_EQ(engine.SamplingTime(), 100.0);
        EXPECT_EQ(state::State().SampleRate, 44100);
    });
}

TEST(clsAurelSettings, ResultPropertiesReadTheSharedStateNotWhatWasWritten) {
    OnFreshThread([] {
        clsAurel engine;
        auto& state = state::State();
        state.Status = 3;
        state.FilePosition = 45;
        state.MaxAmplitudeL = 100;
        state.MaxAmplitudeR = 200;
        state.MaxFrequencyL = 440.0;
        state.MaxFrequencyR = 880.0;
        state.Sequence.ReDim(1, 100);
        state.Sequence(100) = 9;
        engine.Status(7);
        engine.FilePointer(1);
        engine.MaxAmplitudeL(1);
        engine.MaxAmplitudeR(1);
        engine.MaxFrequencyL(1.0);
        engine.MaxFrequencyR(1.0);
        engine.Sequence(std::vector<int32_t>{1, 2});
        EXPECT_EQ(engine.Status(), 3);
        EXPECT_EQ(engine.FilePointer(), 45);
        EXPECT_EQ(engine.MaxAmplitudeL(), 100);
        EXPECT_EQ(engine.MaxAmplitudeR(), 200);
        EXPECT_EQ(engine.MaxFrequencyL(), 440.0);
        EXPECT_EQ(engine.MaxFrequencyR(), 880.0);
        EXPECT_EQ(engine.Sequence()(100), 9);
        engine.MissedCount(4);
        EXPECT_EQ(state.MissedCount, 4);
        engine.LoopMethod(3);
        EXPECT_EQ(state.LoopMode, 3);
    });
}

TEST(clsAurelSettings, RecordingDefaultsTheFileNameOnlyWhenEmpty) {
    OnFreshThread([] {
        clsAurel engine;
        engine.Recording(true);
        EXPECT_EQ(std::filesystem::path(engine.FileName()),
                  std::filesystem::path(platform::LibraryFolder()) / "Recording.wav");
        engine.FileName("/tmp/take.wav");
        engine.Recording(true);
        EXPECT_EQ(engine.FileName(), "/tmp/take.wav");
        engine.Recording(false);
        EXPECT_FALSE(engine.Recording());
    });
}

TEST(clsAurelSettings, StandaloneEngineDrivesItsOwnHostTimer) {
    OnFreshThread([] {
        {
            clsAurel engine;
            ASSERT_NE(engine.Host(), nullptr);
            EXPECT_FALSE(engine.Host()->Visible());
            EXPECT_EQ(state::State().Timer, &engine.Host()->Timer1);
            EXPECT_EQ(state::State().EngineObject, &engine);
            engine.TimerInterval(25);
            EXPECT_EQ(engine.Host()->Timer1.Interval(), 25);
            engine.Host()->Timer1.Interval(40);
            EXPECT_EQ(engine.TimerInterval(), 40);
        }
        // Unloading the host detaches its timer from the shared state.
        EXPECT_EQ(state::State().Timer, nullptr);
        EXPECT_EQ(state::State().EngineObject, nullptr);
    });
}

TEST(clsAurelSettings, HostedEngineHasNoHostAndTimerIntervalNeedsATimer) {
    OnFreshThread([] {
        state::State().HostedByControl = true;
        clsAurel engine;
        EXPECT_EQ(engine.Host(), nullptr);
        EXPECT_EQ(engine.Triggers().Upper(), 0);
        engine.TimerInterval(10);  // stored, nothing to apply it to
        try {
            (void)engine.TimerInterval();
            FAIL() << "no error";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.Number(), 91);
        }
    });
}

TEST(clsAurelSettings, VersionComesFromTheBuild) {
    OnFreshThread([] { EXPECT_EQ(clsAurel().Version(), "1.0.52"); });
}

TEST(clsAurelDataAccess, WaveDataCopiesTheRequestedChannel) {
    OnFreshThread([] {
        clsAurel engine;
        platform::BoundedArray<int16_t> data;
        EXPECT_EQ(engine.WaveData(data, 1), 0);  // nothing captured yet
        auto& state = state::State();
        state.WaveL.ReDim(0, 3);
        state.WaveL(2) = 11;
        state.WaveR.ReDim(0, 3);
        state.WaveR(2) = 22;
        EXPECT_EQ(engine.WaveData(data, 1), 4);
        EXPECT_EQ(data(2), 11);
        platform::BoundedArray<int16_t> host(0, 6);
        EXPECT_EQ(engine.WaveData(host, 2), 7);  // mono engine: left alone
        engine.Channels(2);
        EXPECT_EQ(engine.WaveData(host, 2), 4);
        EXPECT_EQ(host(2), 22);
    });
}

TEST(clsAurelDataAccess, SpectrumBeforeAnyAnalysisPassesTheSubscriptErrorOn) {
    OnFreshThread([] {
        clsAurel engine;
        platform::BoundedArray<float> data;
        try {
            engine.Spectrum(data, 1);
            FAIL() << "no error";
        } catch (const platform::RuntimeError& error) {
            EXPECT_EQ(error.Number(), 9);
            EXPECT_EQ(error.Description(),
                      "Property Get Spectrum in clsAurel\r\nSubscript out of range");
            EXPECT_EQ(state::State().ErrorText, "Subscript out of range");
        }
        EXPECT_EQ(engine.Spectrum(data, 2), 0);  // mono
        state::State().SpectrumL.ReDim(0, 511);
        EXPECT_EQ(engine.Spectrum(data, 1), 512);
    });
}

TEST(clsAurelDataAccess, PeaksAreDeliveredOnce) {
    OnFreshThread([] {
        clsAurel engine;
        auto& state = state::State();
        state.PeaksL.ReDim(0, 2);
        state.PeaksL(1) = -10;
        state.PeaksL(2) = 300;
        platform::BoundedArray<float> peaks;
        EXPECT_EQ(engine.Peaks(peaks, 1), 0);
        EXPECT_EQ(peaks.Upper(), 2);
        EXPECT_EQ(peaks(1), -10);
        engine.Peaks(peaks, 1);
        ASSERT_EQ(peaks.Upper(), 1);
        EXPECT_EQ(peaks(0), 0.0f);
        EXPECT_EQ(peaks(1), 0.0f);
        state.PeaksBusy = true;
        platform::BoundedArray<float> untouched(0, 5);
        engine.Peaks(untouched, 1);
        EXPECT_EQ(untouched.Upper(), 5);
    });
}

}  // namespace
}  // namespace aurelix::engine
