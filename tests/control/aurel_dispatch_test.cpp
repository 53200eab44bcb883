#include "aurelix/control/aurel_dispatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::control {
namespace {

using aurelix::testing::CaughtError;
using aurelix::testing::OnFreshThread;
using platform::BoundedArray;
using platform::Variant;

TEST(AurelDispatch, DispatchIdsAreThoseHostsBindTo) {
    const std::pair<const char*, int32_t> ids[] = {
        {"SPS", 0x6803001F},           {"Bips", 0x6803001E},
        {"Channels", 0x6803001D},      {"Samples", 0x6803001C},
        {"DataPointer", 0x6803001B},   {"LoopMethod", 0x6803001A},
        {"Threshold", 0x68030019},     {"TimerInterval", 0x68030018},
        {"Analysis", 0x68030017},      {"SamplingTime", 0x68030016},
        {"WaveData", 0x68030015},      {"Spectrum", 0x68030014},
        {"RawData", 0x68030013},       {"Status", 0x68030012},
        {"FileName", 0x68030011},      {"MaxRecordingTime", 0x68030010},
        {"Recording", 0x6803000F},     {"Peaks", 0x6803000E},
        {"DeviceHandle", 0x6803000D},  {"DeviceName", 0x6803000C},
        {"Buffers", 0x6803000B},       {"Device", 0x6803000A},
        {"FilePointer", 0x68030009},   {"Playing", 0x68030008},
        {"BlockCount", 0x68030007},    {"MissedCount", 0x68030006},
        {"MaxAmplitudeL", 0x68030005}, {"MaxAmplitudeR", 0x68030004},
        {"MaxFrequencyL", 0x68030003}, {"MaxFrequencyR", 0x68030002},
        {"Sequence", 0x68030001},      {"Devices", 0x68030000},
        {"Init", 0x60030037},          {"Start", 0x60030026},
        {"Pause", 0x60030038},         {"Reset", 0x60030039},
        {"SetOneShot", 0x60030025},    {"SetConstants", 0x60030024},
        {"Version", 0x60030028},       {"DoFFT", 0x60030023},
        {"AddTrigger", 0x60030020},    {"AnalysisTime", 0x60030021},
        {"ExportData", 0x60030022}};
    for (const auto& [name, id] : ids) {
        EXPECT_EQ(GetIDOfName(name), id) << name;
    }
    EXPECT_EQ(GetIDOfName("maxfrequencyl"), 0x68030003);
    EXPECT_EQ(CaughtError([] { GetIDOfName("Frequency"); })->Number(), 438);

    const auto events = AurelEventInfos();
    const char* names[] = {"DoneRecordig",     "ChangedSamples",      "Complete",
                           "MissedBuffer",     "WaveDeviceOpened",    "WaveDeviceClosed",
                           "FrequencyTrigger", "FrequencyTriggersOff"};
    ASSERT_EQ(events.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(events[i].name, names[i]);
        EXPECT_EQ(events[i].dispatchId, i + 1);
    }
}

FRESH_TEST(AurelDispatch, InvokeReadsWritesAndFillsArraysByReference) {
    platform::SimpleContainer container;
    Aurel aurel(container);
    aurel.InitProperties();
    Variant value[] = {Variant("8000")};
    Invoke(aurel, "sps", MemberKind::PropertyLet, value);
    EXPECT_EQ(aurel.SPS(), 8000);
    EXPECT_EQ(Invoke(aurel, 0x6803001F, MemberKind::PropertyGet, {}).ToLong(), 8000);
    EXPECT_EQ(Invoke(aurel, "Version", MemberKind::Method, {}).ToString(), "1.0.52");

    BoundedArray<int16_t> samples(0, 15);
    for (int i = 0; i < 16; ++i) {
        samples(i) = static_cast<int16_t>(std::lround(1000 * std::sin(2 * M_PI * 3 * i / 16)));
    }
    Variant fft[] = {Variant(samples), Variant()};
    EXPECT_EQ(Invoke(aurel, "DoFFT", MemberKind::Method, fft).ToLong(), 3);
    const auto& spectrum = fft[1].Array<float>();
    ASSERT_EQ(spectrum.Upper(), 7);
    EXPECT_NEAR(spectrum(3), 500.0f, 1.0f);
    EXPECT_EQ(aurel.Samples(), 16);

    state::State().WaveL.ReDim(0, 2);
    state::State().WaveL(1) = 77;
    Variant wave[] = {Variant(), Variant(1)};
    EXPECT_EQ(Invoke(aurel, "WaveData", MemberKind::PropertyGet, wave).ToLong(), 3);
    EXPECT_EQ(wave[0].Array<int16_t>()(1), 77);
}

FRESH_TEST(AurelDispatch, InvokeRefusesWhatTheMemberDoesNotTake) {
    platform::SimpleContainer container;
    Aurel aurel(container);
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

TEST(AurelDispatch, EventSinkHandsOverIdsAndArguments) {
    std::vector<std::string> seen;
    DispatchEventSink sink([&](const EventInfo& event, std::span<Variant> arguments) {
        std::string line = std::string(event.name) + "#" + std::to_string(event.dispatchId);
        for (auto& argument : arguments) {
            line += " " + (argument.IsArray()
                               ? "[" + std::to_string(argument.Array<int32_t>().Count()) + "]"
                               : argument.ToString());
        }
        if (event.dispatchId == 7) {
            arguments[1].Array<int32_t>()(0) = 99;
        }
        seen.push_back(line);
    });
    BoundedArray<int32_t> triggers(0, 1);
    sink.Complete(7, 3, 0.25);
    sink.FrequencyTrigger(2, triggers);
    sink.FrequencyTriggersOff();
    EXPECT_EQ(seen, (std::vector<std::string>{"Complete#3 7 3 0.25", "FrequencyTrigger#7 2 [2]",
                                              "FrequencyTriggersOff#8"}));
    EXPECT_EQ(triggers(0), 99);
}

}  // namespace
}  // namespace aurelix::control
