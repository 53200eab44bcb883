#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

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
using aurelix::testing::ErrorNumberOf;
using aurelix::testing::PlacedControl;
using aurelix::testing::TempFolder;
using Names = std::vector<std::string>;

FRESH_TEST(AurelProperties, ANewControlStartsFromItsDefaultsAndOwnsTheTimer) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    EXPECT_EQ(
        std::tuple(aurel.SPS(), aurel.Bips(), aurel.Channels(), aurel.Samples(), aurel.Analysis(),
                   aurel.Buffers(), aurel.TimerInterval(), aurel.LoopMethod()),
        std::tuple(44100, 16, 1, 1024, 3, 1, 1, 0));
    EXPECT_EQ(aurel.Sequence(), platform::Variant(int16_t{0}));
    EXPECT_TRUE(state::State().HostedByControl);
    EXPECT_EQ(state::State().Timer, &aurel.Timer1());
}

FRESH_TEST(AurelProperties, BlockSizeAndAnalysisRulesRaiseChangedSamples) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.Analysis(0);
    placed.events.log.clear();
    aurel.Samples(0);
    EXPECT_EQ(aurel.Samples(), 1);  // raised to 1 before the rule: no event
    aurel.Samples(1000);
    EXPECT_EQ(aurel.Samples(), 1000);
    aurel.Analysis(0);
    EXPECT_TRUE(placed.events.log.empty());
    aurel.Analysis(3);
    EXPECT_EQ(aurel.Samples(), 1024);
    aurel.Samples(1000);
    EXPECT_EQ(aurel.Samples(), 1024);
    EXPECT_EQ(placed.events.log, (Names{"ChangedSamples 1000", "ChangedSamples 1000"}));
    EXPECT_EQ(std::tuple(state::State().BlockSamples, state::State().AnalysisFlags),
              std::tuple(1024, 3));
    EXPECT_EQ(placed.container.ChangedNames(),
              (Names{"Analysis", "Samples", "Samples", "Analysis", "Analysis", "Samples"}));
}

FRESH_TEST(AurelProperties, SettersWithImmediateEffectOnTheSharedState) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.SPS(8000);
    aurel.LoopMethod(3);
    aurel.Threshold(5.0f);
    aurel.TimerInterval(40);
    auto& state = state::State();
    EXPECT_EQ(std::tuple(state.SampleRate, state.LoopMode, state.ThresholdLevel),
              std::tuple(8000, 3, 1600));
    EXPECT_EQ(aurel.Timer1().Interval(), 40);
    state.ThresholdLevel = 800;  // reading replaces the stored value
    EXPECT_EQ(aurel.Threshold(), 2.5f);
    EXPECT_EQ(placed.container.ChangedNames(),
              (Names{"SpS", "LoopMethod", "Threshold", "TimerInterval"}));
}

FRESH_TEST(AurelProperties, RefusedWritesRaiseByModeAndChangeNothing) {
    PlacedControl placed(/*userMode=*/false);
    Aurel& aurel = placed.aurel;
    const std::function<void()> runTimeOnly[] = {
        [&] { aurel.Device(2); }, [&] { aurel.Recording(true); }, [&] { aurel.MissedCount(3); }};
    const std::function<void()> neverWritten[] = {
        [&] { aurel.Playing(true); }, [&] { aurel.FilePointer(9); }, [&] { aurel.Devices(9); },
        [&] { aurel.SamplingTime(1.0); }};
    // Design time: both kinds give 387; run time: only the never-written ones, with 382.
    for (const auto& write : runTimeOnly) {
        EXPECT_EQ(ErrorNumberOf(write), 387);
    }
    for (const auto& write : neverWritten) {
        EXPECT_EQ(ErrorNumberOf(write), 387);
    }
    EXPECT_EQ(aurel.Device(), 0);
    EXPECT_FALSE(aurel.Recording());
    EXPECT_TRUE(placed.container.ChangedNames().empty());
    placed.container.SetUserMode(true);
    for (const auto& write : neverWritten) {
        EXPECT_EQ(ErrorNumberOf(write), 382);
    }
    EXPECT_EQ(aurelix::testing::ErrorTextOf(neverWritten[0]), "Set not supported at runtime");
    for (const auto& write : runTimeOnly) {
        EXPECT_EQ(ErrorNumberOf(write), 0);
    }
    EXPECT_EQ(std::tuple(aurel.Device(), aurel.MissedCount(), state::State().MissedCount),
              std::tuple(2, 3, 3));
}

FRESH_TEST(AurelProperties, RecordingDefaultsTheFileNameAndSamplingTimeNeedsARate) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.Recording(true);
    EXPECT_EQ(std::filesystem::path(aurel.FileName()),
              std::filesystem::path(platform::LibraryFolder()) / "Recording.wav");
    aurel.FileName("take.wav");
    aurel.Recording(true);
    EXPECT_EQ(aurel.FileName(), "take.wav");
    aurel.Samples(4096);
    EXPECT_NEAR(aurel.SamplingTime(), 4096 * 1000.0 / 44100, 1e-9);
    aurel.SPS(0);
    EXPECT_EQ(ErrorNumberOf([&] { aurel.SamplingTime(); }), 11);
    // Device names outside the list found at creation (the simulated inputs are always
    // there) are empty.
    PlacedControl unset(true, false);
    Aurel& listed = unset.aurel;
    ASSERT_GT(listed.Devices(), 0);
    EXPECT_FALSE(listed.DeviceName(listed.Devices() - 1).empty());
    EXPECT_EQ(listed.DeviceName(listed.Devices()), "");
    EXPECT_EQ(listed.DeviceName(-1), "");
}

FRESH_TEST(AurelPersistence, OnlyValuesThatDifferFromTheirDefaultsAreStored) {
    TempFolder folder;
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.SPS(8000);
    aurel.Threshold(2.5f);
    aurel.FileName("/data/take \"1\".wav");
    aurel.Samples(0);  // 1 with the FFT bit
    platform::PropertyBag bag;
    aurel.WriteProperties(bag);
    EXPECT_EQ(bag.Count(), 4u);
    EXPECT_FALSE(bag.Contains("Devices"));
    bag.SaveToFile(folder / "form.bag");

    Aurel loaded(placed.container);
    platform::PropertyBag reread;
    reread.LoadFromFile(folder / "form.bag");
    loaded.ReadProperties(reread);
    EXPECT_EQ(std::tuple(loaded.SPS(), loaded.Threshold(), loaded.Samples(), loaded.Bips()),
              std::tuple(8000, 2.5f, 1, 16));
    EXPECT_EQ(loaded.FileName(), "/data/take \"1\".wav");
}

FRESH_TEST(AurelPersistence, ReadingRestoresDefaultsForWhatWasNotWritten) {
    TempFolder folder;
    std::ofstream(folder / "form.bag") << "Samples = 0\nDataPointer = 77\nSamplingTime = 12.5\n"
                                          "TimerInterval = 30\nDevices = 9\nBuffers = 8\n";
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.BlockCount(5);
    placed.container.ClearChangedNames();
    platform::PropertyBag bag;
    bag.LoadFromFile(folder / "form.bag");
    aurel.ReadProperties(bag);
    // A saved 0 comes back as 1024; BlockCount was not written, so it is its default again.
    EXPECT_EQ(std::tuple(aurel.Samples(), aurel.DataPointer(), aurel.BlockCount(), aurel.Buffers(),
                         aurel.Timer1().Interval()),
              std::tuple(1024, 77, 0, 8, 30));
    EXPECT_NE(aurel.Devices(), 9);            // never read: the count found at creation stays
    EXPECT_EQ(state::State().SampleRate, 0);  // reading runs no setter rule
    EXPECT_TRUE(placed.container.ChangedNames().empty());
}

FRESH_TEST(AurelPersistence, AMalformedOrOversizedBagChangesNothing) {
    TempFolder folder;
    std::ofstream(folder / "broken.bag") << "SpS = 8000\nSamples 512\n";
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    aurel.Buffers(6);
    platform::PropertyBag bag;
    bag.WriteProperty("Buffers", 6, 1);
    const auto error = CaughtError([&] { bag.LoadFromFile(folder / "broken.bag"); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->Description().find("broken.bag line 2"), std::string::npos);
    aurel.ReadProperties(bag);  // the bag kept what it held
    EXPECT_EQ(std::tuple(aurel.Buffers(), aurel.SPS()), std::tuple(6, 44100));

    platform::PropertyBag huge;
    huge.WriteProperty("SpS", 1e12, 44100);
    huge.WriteProperty("Buffers", 3, 1);
    EXPECT_EQ(ErrorNumberOf([&] { aurel.ReadProperties(huge); }), 6);
    EXPECT_EQ(aurel.Buffers(), 6);  // nothing stored from a bag that does not fit
}

}  // namespace
}  // namespace aurelix::control
