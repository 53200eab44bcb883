#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// What monitor and record show while they run. On a terminal: a live view redrawn in place
// (the lamp as a coloured block, device and format, dominant frequency and amplitude per
// channel with a level bar, a small spectrum in block characters, the triggers, blocks and
// missed count); the cursor and the terminal's echo come back when the view closes, also
// after Ctrl-C. Elsewhere: one plain line per second.
namespace aurelix::cli {

struct LiveState {
    std::string title;       // "monitor", "record take.wav"
    std::string device;      // "0: Sine 1000 Hz (simulated)"
    std::string format;      // "44100 Hz, mono, 1024 samples, 4 buffers, fft"
    int32_t lampColour = 0;  // red + 256 green + 65536 blue
    int16_t channels = 1;
    int32_t rate = 44100;
    int32_t amplitude[2] = {0, 0};
    double frequency[2] = {0.0, 0.0};
    std::vector<float> spectrum;        // the left channel's last spectrum
    std::vector<std::string> triggers;  // "950-1050 Hz", by index 1, 2, ...
    std::vector<bool> triggerActive;    // same length
    int64_t blocks = 0;
    int32_t missed = 0;
    double elapsed = 0.0;
    std::string recording;  // "take.wav 2.30 s" while recording
};

class TerminalView {
  public:
    // `live`: draw the live view (for a terminal); otherwise plain lines.
    TerminalView(std::ostream& out, bool live);
    ~TerminalView();
    TerminalView(const TerminalView&) = delete;
    TerminalView& operator=(const TerminalView&) = delete;

    // Redraws (live) or prints a line when another whole second has passed (plain).
    void Show(const LiveState& state);
    // Restores the terminal; the last frame stays on screen.
    void Close();

    // True when the file descriptor is a terminal and TERM is not "dumb".
    static bool IsTerminal(int fd);

  private:
    std::ostream& out_;
    bool live_;
    bool open_ = true;
    int linesDrawn_ = 0;
    int64_t nextSecond_ = 1;
    bool echoSaved_ = false;
};

}  // namespace aurelix::cli
