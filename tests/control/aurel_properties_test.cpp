#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/state/engine_state.h"
#include "control/control_test_support.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::control {
namespace {

using aurelix::testing::CaughtError;
using aurelix::testing::OnFreshThread;
using aurelix::testing::RecordedAurelEvents;
using aurelix::testing::TempFolder;
using platform::SimpleContainer;
using platform::Variant;

TEST(AurelProperties, ANewControlReadsBackItsDefaults) {
    OnFreshThread([] {
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        EXPECT_EQ(aurel.SPS(), 44100);
        EXPECT_EQ(aurel.Bips(), 16);
        EXPECT_EQ(aurel.Channels(), 1);
        EXPECT_EQ(aurel.Samples(), 1024);
        EXPECT_EQ(aurel.Analysis(), 3);
        EXPECT_EQ(aurel.Buffers(), 1);
        EXPECT_EQ(aurel.TimerInterval(), 1);
        EXPECT_EQ(aurel.Devices(), 0);
        EXPECT_EQ(aurel.LoopMethod(), 0);
        EXPECT_EQ(aurel.Sequence(), Variant(int16_t{0}));
        EXPECT_TRUE(state::State().HostedByControl);
        EXPECT_EQ(state::State().Timer, &aurel.Timer1());
    });
}

TEST(AurelProperties, BlockSizeAndAnalysisRulesRaiseChangedSamples) {
    OnFreshThread([] {
        SimpleContainer container;
        RecordedAurelEvents events;
        Aurel aurel(container, &events);
        aurel.InitProperties();
        aurel.Analysis(0);
        events.log.clear();
        aurel.Samples(0);
        EXPECT_EQ(aurel.Samples(), 1);  // raised to 1 before the rule: no event
        aurel.Samples(1000);
        EXPECT_EQ(aurel.Samples(), 1000);
        aurel.Analysis(0);
        EXPECT_TRUE(events.log.empty());
        aurel.Analysis(3);
        EXPECT_EQ(aurel.Samples(), 1024);
        aurel.Samples(1000);
        EXPECT_EQ(aurel.Samples(), 1024);
        EXPECT_EQ(events.log,
                  (std::vector<std::string>{"ChangedSamples 1000", "ChangedSamples 1000"}));
        EXPECT_EQ(state::State().BlockSamples, 1024);
        EXPECT_EQ(state::State().AnalysisFlags, 3);
        EXPECT_EQ(container.ChangedNames(),
                  (std::vector<std::string>{"Analysis", "Samples", "Samples", "Analysis",
                                            "Analysis", "Samples"}));
    });
}

TEST(AurelProperties, SettersWithImmediateEffectOnTheSharedState) {
    OnFreshThread([] {
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        aurel.SPS(8000);
        aurel.LoopMethod(3);
        aurel.Threshold(5.0f);
        aurel.TimerInterval(40);
        auto& state = state::State();
        EXPECT_EQ(state.SampleRate, 8000);
        EXPECT_EQ(state.LoopMode, 3);
        EXPECT_EQ(state.ThresholdLevel, 1600);
        EXPECT_EQ(aurel.Threshold(), 5.0f);
        EXPECT_EQ(aurel.Timer1().Interval(), 40);
        state.ThresholdLevel = 800;  // reading replaces the stored value
        EXPECT_EQ(aurel.Threshold(), 2.5f);
        EXPECT_EQ(container.ChangedNames(),
                  (std::vector<std::string>{"SpS", "LoopMethod", "Threshold", "TimerInterval"}));
    });
}

TEST(AurelProperties, RefusedWritesRaiseByModeAndChangeNothing) {
    OnFreshThread([] {
        SimpleContainer container(/*userMode=*/false);
        Aurel aurel(container);
        aurel.InitProperties();
        auto number = [](auto&& body) { return CaughtError(body).value().Number(); };
        // Design time: run-time-only writes and the always-refused ones give 387.
        EXPECT_EQ(number([&] { aurel.Device(2); }), 387);
        EXPECT_EQ(number([&] { aurel.Recording(true); }), 387);
        EXPECT_EQ(number([&] { aurel.MissedCount(3); }), 387);
        EXPECT_EQ(number([&] { aurel.Playing(true); }), 387);
        EXPECT_EQ(number([&] { aurel.FilePointer(9); }), 387);
        EXPECT_EQ(number([&] { aurel.Devices(9); }), 387);
        EXPECT_EQ(number([&] { aurel.SamplingTime(1.0); }), 387);
        EXPECT_EQ(aurel.Device(), 0);
        EXPECT_FALSE(aurel.Recording());
        EXPECT_TRUE(container.ChangedNames().empty());
        // Run time: the always-refused ones give 382 with the standard text.
        container.SetUserMode(true);
        auto error = CaughtError([&] { aurel.Playing(true); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 382);
        EXPECT_EQ(error->Description(), "Set not supported at runtime");
        EXPECT_EQ(number([&] { aurel.Devices(1); }), 382);
        aurel.Device(2);
        aurel.MissedCount(3);
        EXPECT_EQ(aurel.Device(), 2);
        EXPECT_EQ(state::State().MissedCount, 3);
        EXPECT_EQ(aurel.MissedCount(), 3);
    });
}

TEST(AurelProperties, RecordingDefaultsTheFileNameAndSamplingTimeNeedsARate) {
    OnFreshThread([] {
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        aurel.Recording(true);
        EXPECT_EQ(std::filesystem::path(aurel.FileName()),
                  std::filesystem::path(platform::LibraryFolder()) / "Recording.wav");
        aurel.FileName("take.wav");
        aurel.Recording(true);
        EXPECT_EQ(aurel.FileName(), "take.wav");
        aurel.Samples(4096);
        EXPECT_NEAR(aurel.SamplingTime(), 4096 * 1000.0 / 44100, 1e-9);
        aurel.SPS(0);
        EXPECT_EQ(CaughtError([&] { aurel.SamplingTime(); })->Number(), 11);
    });
}

TEST(AurelProperties, DeviceNamesOutsideTheListAreEmpty) {
    OnFreshThread([] {
        SimpleContainer container;
        Aurel aurel(container);
        ASSERT_GT(aurel.Devices(), 0);  // the simulated inputs are always there
        EXPECT_FALSE(aurel.DeviceName(0).empty());
        EXPECT_EQ(aurel.DeviceName(aurel.Devices()), "");
        EXPECT_EQ(aurel.DeviceName(-1), "");
    });
}

TEST(AurelPersistence, OnlyValuesThatDifferFromTheirDefaultsAreStored) {
    OnFreshThread([] {
        TempFolder folder;
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        aurel.SPS(8000);
        aurel.Threshold(2.5f);
        aurel.FileName("/data/take \"1\".wav");
        aurel.Samples(0);  // 1 with the FFT bit
        platform::PropertyBag bag;
        aurel.WriteProperties(bag);
        EXPECT_EQ(bag.Count(), 4u);
        EXPECT_FALSE(bag.Contains("Bips"));
        EXPECT_FALSE(bag.Contains("Devices"));
        bag.SaveToFile(folder / "form.bag");

        Aurel loaded(container);
        platform::PropertyBag reread;
        reread.LoadFromFile(folder / "form.bag");
        loaded.ReadProperties(reread);
        EXPECT_EQ(loaded.SPS(), 8000);
        EXPECT_EQ(loaded.Threshold(), 2.5f);  // reaches the engine only at Init...
        EXPECT_EQ(loaded.FileName(), "/data/take \"1\".wav");
        EXPECT_EQ(loaded.Samples(), 1);
        EXPECT_EQ(loaded.Bips(), 16);
    });
}

TEST(AurelPersistence, ReadingRestoresDefaultsForWhatWasNotWritten) {
    OnFreshThread([] {
        TempFolder folder;
        {
            std::ofstream file(folder / "form.bag");
            file << "Samples = 0\nDataPointer = 77\nSamplingTime = 12.5\nTimerInterval = 30\n"
                    "Devices = 9\nBuffers = 8\n";
        }
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        aurel.BlockCount(5);
        container.ClearChangedNames();
        platform::PropertyBag bag;
        bag.LoadFromFile(folder / "form.bag");
        aurel.ReadProperties(bag);
        EXPECT_EQ(aurel.Samples(), 1024);  // a saved 0 comes back as 1024
        EXPECT_EQ(aurel.DataPointer(), 77);
        EXPECT_EQ(aurel.BlockCount(), 0);
        EXPECT_EQ(aurel.Buffers(), 8);
        EXPECT_NE(aurel.Devices(), 9);  // never read: the count found at creation stays
        EXPECT_EQ(aurel.Timer1().Interval(), 30);
        EXPECT_EQ(state::State().SampleRate, 0);  // reading runs no setter rule
        EXPECT_TRUE(container.ChangedNames().empty());
    });
}

TEST(AurelPersistence, AMalformedBagNamesFileAndLineAndTheControlKeepsItsValues) {
    OnFreshThread([] {
        TempFolder folder;
        {
            std::ofstream file(folder / "broken.bag");
            file << "SpS = 8000\nSamples 512\n";
        }
        SimpleContainer container;
        Aurel aurel(container);
        aurel.InitProperties();
        aurel.Buffers(6);
        platform::PropertyBag bag;
        bag.WriteProperty("Buffers", 6, 1);
        const auto error = CaughtError([&] { bag.LoadFromFile(folder / "broken.bag"); });
        ASSERT_TRUE(error);
        EXPECT_NE(error->Description().find("broken.bag"), std::string::npos);
        EXPECT_NE(error->Description().find("line 2"), std::string::npos);
        aurel.ReadProperties(bag);  // the bag kept what it held
        EXPECT_EQ(aurel.Buffers(), 6);
        EXPECT_EQ(aurel.SPS(), 44100);

        platform::PropertyBag huge;
        huge.WriteProperty("SpS", 1e12, 44100);
        huge.WriteProperty("Buffers", 3, 1);
        EXPECT_EQ(CaughtError([&] { aurel.ReadProperties(huge); })->Number(), 6);
        EXPECT_EQ(aurel.Buffers(), 6);  // nothing stored from a bag that does not fit
    });
}

}  // namespace
}  // namespace aurelix::control
