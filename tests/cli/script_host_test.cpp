#include "cli/script_host.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "aurelix/platform/wave/sim_devices.h"
#include "cli/command_runner.h"
#include "support/fresh_thread.h"

namespace aurelix::cli {
namespace {

using nlohmann::json;
using Lines = std::vector<json>;

// Runs `script` on a thread of its own (a fresh engine state) and returns its output lines.
Lines RunLines(const std::string& script) {
    std::ostringstream out;
    testing::OnFreshThread([&] {
        std::istringstream in(script);
        EXPECT_EQ(RunScript(in, out), 0);
    });
    return testing::JsonLines(out.str());
}

json Result(const std::string& member, const json& value) {
    return {{"type", "result"}, {"member", member}, {"value", value}};
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
    EXPECT_EQ(
        lines,
        (Lines{Result("SPS", 44100), Result("FileName", ""), Result("Recording", false),
               json{{"type", "event"}, {"name", "ChangedSamples"}, {"OldSamples", 1000}},
               Result("Samples", 1024), Result("SPS", 44100), Result("SPS", 8000),
               Result("Threshold", 7.5), Result("FileName", "a # b]"), Result("DataPointer", 0)}));
}

TEST(ScriptHost, DoFFTReturnsTheSpectrumByReference) {
    // Three cycles of a sine in 16 samples.
    const json samples = {0, 924,  707,  -383, -1000, -383, 707,  924,
                          0, -924, -707, 383,  1000,  383,  -707, -924};
    const Lines lines = RunLines("call DoFFT " + samples.dump() + " []\n");
    EXPECT_EQ(lines.at(0),
              (json{{"type", "event"}, {"name", "ChangedSamples"}, {"OldSamples", 16}}));
    EXPECT_EQ(lines.at(1)["value"], 3);
    EXPECT_EQ(lines[1]["byref"].at(0), samples);
    EXPECT_NEAR(lines[1]["byref"].at(1).at(3).get<double>(), 500.0, 1.0);
}

// Signal lines set the simulated input's test signal, numbers in the order written; the
// sine, captured while the script pumps, is found at its frequency until silence replaces it.
TEST(ScriptHost, SignalLinesDriveTheSimulatedInput) {
    using platform::SimSignal;
    Lines lines = RunLines(
        "set Device " + std::to_string(platform::SimInputDeviceId(SimSignal::Sine)) +
        "\nsignal sine 1500 16384\nset SPS 8000\nset Samples 256\nset LoopMethod 1\ncall Init\n"
        "call Start\npump 300\nget MaxFrequencyL\nsignal silence\npump 300\nget MaxFrequencyL\n"
        "call Reset\nsignal Tones 300 1000 2500 500\n");
    EXPECT_EQ(platform::GetTestSignal(),
              (platform::TestSignal{SimSignal::TwoTones, {300, 2500, 1000, 500}}));
    platform::RestoreSimInputDefaults();
    const size_t events =
        std::erase_if(lines, [](const json& line) { return line["type"] != "result"; });
    EXPECT_GE(events, 2u);  // blocks captured while pumping
    EXPECT_EQ(lines, (Lines{Result("Init", 0), Result("Start", 0), Result("MaxFrequencyL", 1500.0),
                            Result("MaxFrequencyL", 0.0), Result("Reset", 0)}));
}

// A malformed line is refused with its line number and the script goes on; so are an unknown
// member and the writes that the user mode refuses: in user mode a device may be chosen but
// Playing is read-only; outside it, the reverse. The last malformed line is well formed but
// out of range.
TEST(ScriptHost, RefusedLinesAreReportedAndTheScriptGoesOn) {
    const Lines lines = RunLines(
        "\n# comment\nsett SPS 1\nget\nset SPS\nget SPS \"open\ncall DoFFT [1,2\n"
        "set FileName bare\npump -1\nusermode 2\nsignal hum\nsignal sine 1000\nnew now\n42\n"
        "signal sine 1000 40000\nget SPS\nget Frequency\nset Device 1\nset Playing true\n"
        "usermode 0\nset Device 1\n");
    std::string seen;  // "line number member" of each error, "member = value" of each result
    for (const json& line : lines) {
        seen += line["type"] == "error"
                    ? line["line"].dump() + " " + line["number"].dump() + " " +
                          line["member"].dump() + "\n"
                    : line["member"].get<std::string>() + " = " + line["value"].dump() + "\n";
    }
    EXPECT_EQ(
        seen,
        "3 5 null\n4 5 null\n5 5 \"SPS\"\n6 5 null\n7 5 null\n8 5 \"FileName\"\n9 5 \"pump\"\n"
        "10 5 \"usermode\"\n11 5 \"signal\"\n12 5 \"signal\"\n13 5 \"new\"\n14 5 null\n"
        "15 5 \"signal\"\nSPS = 44100\n17 438 \"Frequency\"\n19 382 \"Playing\"\n"
        "21 387 \"Device\"\n");
}

}  // namespace
}  // namespace aurelix::cli
