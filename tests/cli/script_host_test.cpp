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

// Names are found without regard to case; values come back as JSON of their type; Samples is
// fitted to the transform; what was saved comes back in a fresh control, except DataPointer.
TEST(ScriptHost, MembersByNameAndSavedSettingsInAFreshControl) {
    testing::TempFolder folder;
    const std::string bag = json(folder / "my settings.bag").dump();
    const Lines lines = RunLines(
        "# a comment\nget sps\nget FileName\nget Recording\nset Samples 1000\nget Samples\n"
        "set SPS 8000\nset Threshold 7.5\nset FileName \"a # b]\"\nset DataPointer 9\nsave " +
        bag + "\nnew\nget SPS\nload " + bag +
        "\nget SPS\nget Threshold\nget FileName\nget DataPointer\n");
    EXPECT_EQ(lines,
              (Lines{Result("SPS", 44100), Result("FileName", ""), Result("Recording", false),
                     Event("ChangedSamples", {{"OldSamples", 1000}}), Result("Samples", 1024),
                     Result("SPS", 44100), Result("SPS", 8000), Result("Threshold", 7.5),
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

// The simulated sine, captured at 8000 Hz in blocks of 256 samples (31.25 Hz a bin), is
// found at its frequency and fires its trigger until silence turns the triggers off.
TEST_F(ScriptOnSimulatedInput, TheSineIsFoundUntilSilenceTurnsTheTriggersOff) {
    const std::string sine = std::to_string(platform::SimInputDeviceId(platform::SimSignal::Sine));
    const Lines lines = RunLines(
        "set SPS 8000\nset Samples 256\nset LoopMethod 1\nset Buffers 4\nset Device " + sine +
        "\ncall AddTrigger 1 900 1100 5\ncall Init\ncall Start\npump 300\nget MaxFrequencyL\n"
        "get MaxAmplitudeL\nsignal silence\npump 400\nget MaxFrequencyL\ncall Reset\nnew\n"
        "get DeviceName " +
        sine + "\n");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], Result("AddTrigger", 0));
    EXPECT_EQ(lines[1]["name"], "WaveDeviceOpened");
    EXPECT_EQ(Named(lines, "result", "Init"), Lines{Result("Init", 0)});
    EXPECT_GE(Named(lines, "event", "Complete").size(), 2u);
    const auto firstOff = std::find(lines.begin(), lines.end(), Event("FrequencyTriggersOff"));
    ASSERT_NE(firstOff, lines.end());
    const Lines before(lines.begin(), firstOff), after(firstOff, lines.end());
    EXPECT_FALSE(Named(before, "event", "FrequencyTrigger").empty());
    EXPECT_EQ(Named(before, "result", "MaxFrequencyL"), Lines{Result("MaxFrequencyL", 1000.0)});
    EXPECT_EQ(Named(before, "result", "MaxAmplitudeL"), Lines{Result("MaxAmplitudeL", 16384)});
    EXPECT_EQ(Named(after, "event", "FrequencyTrigger"), Lines{});
    EXPECT_EQ(Named(after, "result", "MaxFrequencyL"), Lines{Result("MaxFrequencyL", 0.0)});
    // A fresh control lists the input under the name of its new signal.
    EXPECT_EQ(lines.back(), Result("DeviceName", "Silence (simulated)"));
}

// A malformed line is refused with its line number and the script goes on; so are an unknown
// member and the writes that the user mode refuses.
TEST(ScriptHost, RefusedLinesAreReportedAndTheScriptGoesOn) {
    // The last is well formed but out of range.
    const std::string malformed =
        "sett SPS 1\nget\nset SPS\nget SPS \"open\ncall DoFFT [1,2\nset FileName bare\npump -1\n"
        "usermode 2\nsignal hum\nsignal sine 1000\nnew now\n42\nsignal sine 1000 40000\n";
    const size_t count = size_t(std::count(malformed.begin(), malformed.end(), '\n'));
    const Lines lines = RunLines(
        "\n# comment\n" + malformed +
        "get SPS\nget Frequency\nset Device 1\nset Playing true\nusermode 0\nset Device 1\n");
    ASSERT_EQ(lines.size(), count + 4);
    for (size_t i = 0; i < count; ++i) {
        EXPECT_EQ(lines[i]["type"], "error") << lines[i];
        EXPECT_EQ(lines[i]["line"], i + 3) << lines[i];
        EXPECT_EQ(lines[i]["number"], 5) << lines[i];
    }
    EXPECT_EQ(lines[count], Result("SPS", 44100));
    // In user mode a device may be chosen but Playing is read-only; outside it, the reverse.
    const std::pair<std::string, int> refusals[] = {
        {"Frequency", 438}, {"Playing", 382}, {"Device", 387}};
    for (size_t k = 0; k < 3; ++k) {
        const json& error = lines[count + 1 + k];
        EXPECT_EQ(error["line"], count + 4 + 2 * k) << error;
        EXPECT_EQ(error["member"], refusals[k].first) << error;
        EXPECT_EQ(error["number"], refusals[k].second) << error;
        EXPECT_EQ(error["source"], "Aurelix") << error;
    }
}

}  // namespace
}  // namespace aurelix::cli
