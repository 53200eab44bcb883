#include "cli/script_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "aurelix/platform/wave/sim_devices.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::cli {
namespace {

using nlohmann::json;
using Lines = std::vector<json>;

// Runs `script` on a thread of its own (a fresh engine state) and returns its output lines.
Lines RunLines(const std::string& script) {
    Lines lines;
    testing::OnFreshThread([&] {
        std::istringstream in(script);
        std::ostringstream out;
        EXPECT_EQ(RunScript(in, out), 0);
        std::istringstream written(out.str());
        for (std::string line; std::getline(written, line);) {
            lines.push_back(json::parse(line));
        }
    });
    return lines;
}

json Result(const std::string& member, const json& value) {
    return {{"type", "result"}, {"member", member}, {"value", value}};
}

json Event(const std::string& name, json arguments = json::object()) {
    arguments["type"] = "event";
    arguments["name"] = name;
    return arguments;
}

Lines Named(const Lines& lines, const std::string& type, const std::string& name) {
    Lines found;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(found), [&](const json& line) {
        return line["type"] == type && line.value(type == "event" ? "name" : "member", "") == name;
    });
    return found;
}

TEST(ScriptHost, DefaultsReadBackByName) {
    const std::pair<const char*, json> defaults[] = {
        {"SPS", 44100},          {"Bips", 16},      {"Channels", 1},      {"Samples", 1024},
        {"Analysis", 3},         {"Buffers", 1},    {"LoopMethod", 0},    {"TimerInterval", 1},
        {"Devices", 0},          {"FileName", ""},  {"Recording", false}, {"Status", 0},
        {"MaxRecordingTime", 0}, {"BlockCount", 0}, {"Sequence", 0},      {"Playing", false}};
    std::string script = "# names are found without regard to case\nget sps\n";
    Lines expected{Result("SPS", 44100)};
    for (const auto& [name, value] : defaults) {
        script += std::string("get ") + name + "\n";
        expected.push_back(Result(name, value));
    }
    EXPECT_EQ(RunLines(script), expected);
}

TEST(ScriptHost, SamplesAreFittedToTheTransformWithChangedSamples) {
    EXPECT_EQ(RunLines("set Samples 1000\nget Samples\nset Samples 512\nget Samples\n"),
              (Lines{Event("ChangedSamples", {{"OldSamples", 1000}}), Result("Samples", 1024),
                     Result("Samples", 512)}));
}

TEST(ScriptHost, UserModeDecidesWhichWritesAreRefused) {
    struct Case {
        int userMode;
        const char* write;
        int refusal;  // 0: accepted
    };
    const Case cases[] = {
        {0, "set Device 1", 387},     {0, "set Playing true", 387},   {0, "set SPS 8000", 0},
        {1, "set Playing true", 382}, {1, "set SamplingTime 5", 382}, {1, "set Device 1", 0},
        {1, "set Devices 3", 382},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.write);
        const Lines lines = RunLines("usermode " + std::to_string(c.userMode) + "\n" + c.write);
        if (c.refusal == 0) {
            EXPECT_EQ(lines, Lines{});
            continue;
        }
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0]["type"], "error");
        EXPECT_EQ(lines[0]["line"], 2);
        EXPECT_EQ(lines[0]["number"], c.refusal);
        EXPECT_EQ(lines[0]["source"], "Aurelix");
    }
}

TEST(ScriptHost, SavedPropertiesComeBackInAFreshControl) {
    testing::TempFolder folder;
    const std::string bag = json(folder / "my settings.bag").dump();
    const Lines lines = RunLines(
        "set SPS 8000\nset Threshold 7.5\nset FileName \"a # b]\"\n"
        "set DataPointer 9\nsave " +
        bag + "\nnew\nget SPS\nload " + bag +
        "\nget SPS\nget Threshold\nget FileName\nget DataPointer\n");
    EXPECT_EQ(lines, (Lines{Result("SPS", 44100), Result("SPS", 8000), Result("Threshold", 7.5),
                            Result("FileName", "a # b]"), Result("DataPointer", 0)}));
}

TEST(ScriptHost, DoFFTReturnsTheSpectrumByReference) {
    json samples = json::array();
    for (int i = 0; i < 16; ++i) {
        samples.push_back(std::lround(1000 * std::sin(2 * M_PI * 3 * i / 16)));
    }
    const Lines lines = RunLines("call DoFFT " + samples.dump() + " []\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], Event("ChangedSamples", {{"OldSamples", 16}}));
    EXPECT_EQ(lines[1]["value"], 3);
    ASSERT_EQ(lines[1]["byref"].size(), 2u);
    EXPECT_EQ(lines[1]["byref"][0], samples);
    EXPECT_NEAR(lines[1]["byref"][1][3].get<double>(), 500.0, 1.0);
}

class ScriptOnSimulatedInput : public ::testing::Test {
  protected:
    void TearDown() override { platform::RestoreSimInputDefaults(); }

    // Captures the first simulated input at 8000 Hz, 256 samples a block (31.25 Hz a bin).
    static std::string Capture(const std::string& setup, const std::string& body) {
        return "set SPS 8000\nset Samples 256\nset LoopMethod 1\nset Buffers 4\nset Device " +
               std::to_string(platform::SimInputDeviceId(platform::SimSignal::Sine)) + "\n" +
               setup + "call Init\ncall Start\n" + body + "call Reset\n";
    }
};

TEST_F(ScriptOnSimulatedInput, SignalLinesSetTheTestSignal) {
    using platform::SimSignal;
    const std::pair<const char*, platform::TestSignal> cases[] = {
        {"signal sine 440 1000", {SimSignal::Sine, {440, 0, 1000, 0}}},
        {"signal Tones 300 1000 2500 500", {SimSignal::TwoTones, {300, 2500, 1000, 500}}},
        {"signal noise 2000", {SimSignal::WhiteNoise, {0, 0, 2000, 0}}},
        {"signal silence", {SimSignal::Silence, {}}},
    };
    for (const auto& [line, signal] : cases) {
        EXPECT_EQ(RunLines(line), Lines{}) << line;
        EXPECT_EQ(platform::GetTestSignal(), signal) << line;
    }
}

TEST_F(ScriptOnSimulatedInput, TheSimulatedSineIsFoundAtItsFrequency) {
    const Lines lines = RunLines(Capture("", "pump 400\nget MaxFrequencyL\nget MaxAmplitudeL\n"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0]["name"], "WaveDeviceOpened");
    EXPECT_EQ(Named(lines, "result", "Init"), Lines{Result("Init", 0)});
    EXPECT_GE(Named(lines, "event", "Complete").size(), 2u);
    EXPECT_EQ(Named(lines, "result", "MaxFrequencyL"), Lines{Result("MaxFrequencyL", 1000.0)});
    EXPECT_EQ(Named(lines, "result", "MaxAmplitudeL"), Lines{Result("MaxAmplitudeL", 16384)});
}

TEST_F(ScriptOnSimulatedInput, SilenceMidCaptureTurnsTheTriggersOff) {
    const std::string sine = std::to_string(platform::SimInputDeviceId(platform::SimSignal::Sine));
    const Lines lines =
        RunLines(Capture("call AddTrigger 1 900 1100 5\n",
                         "pump 300\nsignal silence\npump 400\nget MaxFrequencyL\n") +
                 "new\nget DeviceName " + sine + "\n");
    const auto firstOff = std::find(lines.begin(), lines.end(), Event("FrequencyTriggersOff"));
    ASSERT_NE(firstOff, lines.end());
    const Lines before(lines.begin(), firstOff), after(firstOff, lines.end());
    EXPECT_FALSE(Named(before, "event", "FrequencyTrigger").empty());
    EXPECT_EQ(Named(after, "event", "FrequencyTrigger"), Lines{});
    EXPECT_EQ(Named(after, "result", "MaxFrequencyL"), Lines{Result("MaxFrequencyL", 0.0)});
    // A fresh control lists the input under the name of its new signal.
    EXPECT_EQ(lines.back(), Result("DeviceName", "Silence (simulated)"));
}

TEST(ScriptHost, AMalformedLineIsReportedAndTheScriptGoesOn) {
    const char* malformed[] = {
        "sett SPS 1",
        "get",
        "set SPS",
        "get SPS \"open",
        "call DoFFT [1,2",
        "set FileName bare",
        "pump -1",
        "usermode 2",
        "signal hum",
        "signal sine 1000",
        "new now",
        "42",
        "signal sine 1000 40000"};  // well formed, but out of range: refused the same way
    for (const char* line : malformed) {
        SCOPED_TRACE(line);
        const Lines lines = RunLines(std::string("\n# comment\n") + line + "\nget SPS\n");
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0]["type"], "error");
        EXPECT_EQ(lines[0]["line"], 3);
        EXPECT_EQ(lines[0]["number"], 5);
        EXPECT_EQ(lines[1], Result("SPS", 44100));
    }
    const Lines unknown = RunLines("get Frequency\n");
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0]["member"], "Frequency");
    EXPECT_EQ(unknown[0]["number"], 438);
}

}  // namespace
}  // namespace aurelix::cli
