#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "aurelix/control/aurel.h"
#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/state/engine_state.h"
#include "control/control_test_support.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::control {
namespace {

using Names = std::vector<std::string>;
using aurelix::testing::CaughtError;
using aurelix::testing::ErrorNumberOf;
using aurelix::testing::PlacedControl;
using platform::Variant;

// A placed control hosts the engine and owns the timer. Setters apply their rules to the
// shared state, raise ChangedSamples when the block size had to change and tell the
// container, in order, what changed.
FRESH_TEST(AurelProperties, SettersApplyTheirRulesAndReportEveryChange) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    EXPECT_TRUE(state::State().HostedByControl);
    EXPECT_EQ(state::State().Timer, &aurel.Timer1());
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
    aurel.SPS(8000);
    aurel.LoopMethod(3);
    aurel.Threshold(5.0f);
    aurel.TimerInterval(40);
    auto& state = state::State();
    EXPECT_EQ(std::tuple(state.BlockSamples, state.AnalysisFlags, state.SampleRate, state.LoopMode,
                         state.ThresholdLevel, aurel.Timer1().Interval()),
              std::tuple(1024, 3, 8000, 3, 1600, 40));
    state.ThresholdLevel = 800;  // reading follows the level the analysis uses
    EXPECT_EQ(aurel.Threshold(), 2.5f);
    EXPECT_EQ(placed.container.ChangedNames(),
              (Names{"Analysis", "Samples", "Samples", "Analysis", "Analysis", "Samples", "SpS",
                     "LoopMethod", "Threshold", "TimerInterval"}));
}

// Design time refuses every write below with 387; at run time only the never-written ones
// are refused (382), and the others take effect.
FRESH_TEST(AurelProperties, RefusedWritesRaiseByModeAndChangeNothing) {
    PlacedControl placed(/*userMode=*/false);
    Aurel& aurel = placed.aurel;
    const struct {
        std::function<void()> write;
        int32_t atRunTime;
    } writes[] = {{[&] { aurel.Device(2); }, 0},          {[&] { aurel.Recording(true); }, 0},
                  {[&] { aurel.MissedCount(3); }, 0},     {[&] { aurel.Playing(true); }, 382},
                  {[&] { aurel.FilePointer(9); }, 382},   {[&] { aurel.Devices(9); }, 382},
                  {[&] { aurel.SamplingTime(1.0); }, 382}};
    for (const auto& w : writes) {
        EXPECT_EQ(ErrorNumberOf(w.write), 387);
    }
    EXPECT_EQ(std::tuple(aurel.Device(), aurel.Recording()), std::tuple(0, false));
    EXPECT_TRUE(placed.container.ChangedNames().empty());
    placed.container.SetUserMode(true);
    for (const auto& w : writes) {
        EXPECT_EQ(ErrorNumberOf(w.write), w.atRunTime);
    }
    EXPECT_EQ(aurelix::testing::ErrorTextOf(writes[3].write), "Set not supported at runtime");
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

// Only values that differ from their defaults are written. Reading runs no setter rule,
// restores the default of whatever was not written, and stores nothing at all from a bag
// with a value that does not fit.
FRESH_TEST(AurelPersistence, WritesWhatDiffersAndReadsAllOrNothing) {
    PlacedControl placed;
    placed.aurel.SPS(8000);
    placed.aurel.Threshold(2.5f);
    placed.aurel.FileName("take.wav");
    placed.aurel.Samples(0);  // 1 with the FFT bit
    platform::PropertyBag bag;
    placed.aurel.WriteProperties(bag);
    EXPECT_EQ(bag.Count(), 4u);
    EXPECT_FALSE(bag.Contains("Devices"));

    PlacedControl other;
    Aurel& loaded = other.aurel;
    loaded.BlockCount(5);
    other.container.ClearChangedNames();
    state::State().SampleRate = 0;
    loaded.ReadProperties(bag);
    EXPECT_EQ(std::tuple(loaded.SPS(), loaded.Threshold(), loaded.Samples(), loaded.Bips(),
                         loaded.BlockCount(), loaded.FileName()),
              std::tuple(8000, 2.5f, 1, 16, 0, "take.wav"));
    EXPECT_EQ(state::State().SampleRate, 0);
    EXPECT_TRUE(other.container.ChangedNames().empty());

    platform::PropertyBag saved;
    saved.WriteProperty("Samples", 0, 1024);  // comes back as 1024
    saved.WriteProperty("DataPointer", 77, 0);
    saved.WriteProperty("TimerInterval", 30, 1);
    saved.WriteProperty("Buffers", 8, 1);
    saved.WriteProperty("Devices", 9, 0);  // never read: the count found at creation stays
    loaded.ReadProperties(saved);
    EXPECT_EQ(std::tuple(loaded.Samples(), loaded.DataPointer(), loaded.Buffers(),
                         loaded.Timer1().Interval(), loaded.SPS()),
              std::tuple(1024, 77, 8, 30, 44100));
    EXPECT_NE(loaded.Devices(), 9);
    saved.WriteProperty("SpS", 1e12, 44100);
    saved.WriteProperty("Buffers", 3, 1);
    EXPECT_EQ(ErrorNumberOf([&] { loaded.ReadProperties(saved); }), 6);
    EXPECT_EQ(std::tuple(loaded.Buffers(), loaded.SPS()), std::tuple(8, 44100));
}

// Hosts bind to these numbers: properties count down from 0x6803001F in this order.
TEST(AurelDispatch, DispatchIdsAreThoseHostsBindTo) {
    std::istringstream properties(
        "SPS Bips Channels Samples DataPointer LoopMethod Threshold TimerInterval Analysis "
        "SamplingTime WaveData Spectrum RawData Status FileName MaxRecordingTime Recording Peaks "
        "DeviceHandle DeviceName Buffers Device FilePointer Playing BlockCount MissedCount "
        "MaxAmplitudeL MaxAmplitudeR MaxFrequencyL MaxFrequencyR Sequence Devices");
    int32_t id = 0x6803001F;
    for (std::string name; properties >> name; --id) {
        EXPECT_EQ(GetIDOfName(name), id) << name;
    }
    EXPECT_EQ(id, 0x6803001F - 32);
    const std::pair<const char*, int32_t> methods[] = {
        {"Init", 0x60030037},         {"Start", 0x60030026},      {"Pause", 0x60030038},
        {"Reset", 0x60030039},        {"SetOneShot", 0x60030025}, {"SetConstants", 0x60030024},
        {"Version", 0x60030028},      {"DoFFT", 0x60030023},      {"AddTrigger", 0x60030020},
        {"AnalysisTime", 0x60030021}, {"ExportData", 0x60030022}};
    for (const auto& [name, id] : methods) {
        EXPECT_EQ(GetIDOfName(name), id) << name;
    }
    EXPECT_EQ(GetIDOfName("maxfrequencyl"), 0x68030003);
    EXPECT_EQ(CaughtError([] { GetIDOfName("Frequency"); })->Number(), 438);

    const auto events = AurelEventInfos();
    std::string names;
    for (const auto& event : events) {
        names += std::string(event.name) + "#" + std::to_string(event.dispatchId) + " ";
    }
    EXPECT_EQ(names,
              "DoneRecordig#1 ChangedSamples#2 Complete#3 MissedBuffer#4 WaveDeviceOpened#5 "
              "WaveDeviceClosed#6 FrequencyTrigger#7 FrequencyTriggersOff#8 ");
}

// Invoke converts arguments, fills arrays by reference and refuses what a member does not
// take with the number a host expects.
FRESH_TEST(AurelDispatch, InvokeCallsMembersAndRefusesWhatTheyDoNotTake) {
    platform::SimpleContainer container;
    Aurel aurel(container);
    aurel.InitProperties();
    Variant value[] = {Variant("8000")};
    Invoke(aurel, "sps", MemberKind::PropertyLet, value);
    EXPECT_EQ(aurel.SPS(), 8000);
    EXPECT_EQ(Invoke(aurel, 0x6803001F, MemberKind::PropertyGet, {}).ToLong(), 8000);
    EXPECT_EQ(Invoke(aurel, "Version", MemberKind::Method, {}).ToString(), "1.0.52");

    state::State().WaveL.ReDim(0, 2);
    state::State().WaveL(1) = 77;
    Variant wave[] = {Variant(), Variant(1)};
    EXPECT_EQ(Invoke(aurel, "WaveData", MemberKind::PropertyGet, wave).ToLong(), 3);
    EXPECT_EQ(wave[0].Array<int16_t>()(1), 77);

    auto number = [&](auto&& body) { return CaughtError(body).value().Number(); };
    Variant one[] = {Variant(1)};
    EXPECT_EQ(number([&] { Invoke(aurel, "Status", MemberKind::PropertyLet, one); }), 438);
    EXPECT_EQ(number([&] { Invoke(aurel, 0x12345678, MemberKind::Method, {}); }), 438);
    EXPECT_EQ(number([&] { Invoke(aurel, "SPS", MemberKind::PropertyLet, {}); }), 450);
    Variant three[] = {Variant(1), Variant(2), Variant(3)};
    EXPECT_EQ(number([&] { Invoke(aurel, "AnalysisTime", MemberKind::Method, three); }), 450);
    Variant notArray[] = {Variant(5), Variant(1)};
    EXPECT_EQ(number([&] { Invoke(aurel, "Spectrum", MemberKind::PropertyGet, notArray); }), 13);
    Variant playing[] = {Variant(true)};
    EXPECT_EQ(number([&] { Invoke(aurel, "Playing", MemberKind::PropertyLet, playing); }), 382);
}

}  // namespace
}  // namespace aurelix::control
