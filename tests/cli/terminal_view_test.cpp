#include <gtest/gtest.h>

#include <sstream>

#include "cli/terminal_view.h"

namespace aurelix::cli {
namespace {

LiveState Sine(double elapsed) {
    LiveState state;
    state.lampColour = 0x0000FF;  // red
    state.channels = 2;
    state.amplitude[0] = 16384;
    state.frequency[0] = 990.52734375;
    state.spectrum = std::vector<float>(512, 1.0f);
    state.triggers = {"950-1050 Hz"};
    state.triggerActive = {true};
    state.blocks = 43;
    state.elapsed = elapsed;
    return state;
}

// The live view redraws in place over the lines it drew and gives the cursor back on close;
// the plain view writes one line per whole second, whatever the number of updates.
TEST(TerminalView, LiveViewRedrawsInPlaceAndPlainLinesComeOncePerSecond) {
    std::ostringstream live;
    {
        TerminalView view(live, true);
        view.Show(Sine(0.1));
        view.Show(Sine(0.2));
    }
    const std::string drawn = live.str();
    EXPECT_EQ(drawn.rfind("\x1b[?25l", 0), 0u);                      // cursor hidden first
    EXPECT_EQ(drawn.substr(drawn.size() - 10), "\x1b[0m\x1b[?25h");  // and shown at the end
    EXPECT_NE(drawn.find("\x1b[48;2;255;0;0m"), std::string::npos);  // the lamp's colour
    EXPECT_NE(drawn.find("● 1: 950-1050 Hz"), std::string::npos);
    const size_t lines = size_t(std::count(drawn.begin(), drawn.end(), '\n'));
    EXPECT_NE(drawn.find("\x1b[" + std::to_string(lines / 2) + "F"), std::string::npos);
    // Half scale lights half of the left bar's 32 cells; the silent right bar stays dark.
    size_t dark = 0;
    for (size_t at = drawn.find("░"); at != std::string::npos; at = drawn.find("░", at + 1)) {
        ++dark;
    }
    EXPECT_EQ(dark, 2u * (16 + 32));  // two frames

    std::ostringstream plain;
    TerminalView view(plain, false);
    for (double t : {0.1, 0.5, 1.0, 1.4, 1.9, 2.05, 3.5}) {
        view.Show(Sine(t));
    }
    EXPECT_EQ(plain.str(),
              "1.0 s  blocks 43  L 990.5 Hz 16384  R 0.0 Hz 0  triggers 1  missed 0\n"
              "2.0 s  blocks 43  L 990.5 Hz 16384  R 0.0 Hz 0  triggers 1  missed 0\n"
              "3.5 s  blocks 43  L 990.5 Hz 16384  R 0.0 Hz 0  triggers 1  missed 0\n");
}

}  // namespace
}  // namespace aurelix::cli
