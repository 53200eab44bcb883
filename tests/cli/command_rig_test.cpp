#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "cli/command_runner.h"

// The command against a real sound path: the private sound server of
// scripts/audio-rig-start.sh, whose sink's monitor ALSA lists as "Audio rig capture".
namespace aurelix::testing {
namespace {

TEST(AurelixRig, MonitorHearsAToneThatIsPlayedIntoTheSink) {
    TempFolder folder;
    if (RunCommand({"devices"}, folder.Path()).out.find("rig capture") == std::string::npos) {
        GTEST_SKIP() << "no rig capture device (run scripts/audio-rig-start.sh; built with ALSA?)";
    }
    const std::string tone = folder / "tone.wav";
    const std::string sox = "sox -n -r 44100 -c 2 -b 16 " + tone + " synth 5 sine 1500 vol 0.5";
    ASSERT_EQ(std::system(sox.c_str()), 0);
    const pid_t paplay = fork();
    if (paplay == 0) {
        execlp("paplay", "paplay", tone.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const CommandResult run = RunCommand(
        {"monitor", "--device", "rig capture", "--json", "--seconds", "3"}, folder.Path());
    kill(paplay, SIGTERM);
    waitpid(paplay, nullptr, 0);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const double nearest = std::round(1500.0 * 1024 / 44100) * 44100 / 1024;
    int loud = 0, atTone = 0;
    for (const nlohmann::json& line : JsonLines(run.out)) {
        if (line["type"] == "block" && line["max_amplitude"][0] > 4000) {
            ++loud;
            atTone += line["max_frequency"][0] == nearest;
        }
    }
    EXPECT_GE(loud, 40) << "the tone was not heard for long";  // 3 s is 129 blocks
    EXPECT_GE(atTone, loud * 9 / 10);
}

}  // namespace
}  // namespace aurelix::testing
