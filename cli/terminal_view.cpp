#include "cli/terminal_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <termios.h>
#include <unistd.h>

namespace aurelix::cli {
namespace {

constexpr int kBarWidth = 32;
constexpr int kSpectrumColumns = 64;
constexpr int kSpectrumRows = 3;
constexpr double kSpectrumRangeDb = 90.0;
const char* const kEighths[] = {" ", "▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};

termios savedTerminal;

std::string Colour(int32_t rgb, bool background) {
    char text[32];
    std::snprintf(text, sizeof text, "\x1b[%d;2;%d;%d;%dm", background ? 48 : 38, rgb & 0xFF,
                  (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    return text;
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string LevelBar(int32_t amplitude) {
    const double level = std::clamp(amplitude / 32767.0, 0.0, 1.0);
    const int filled = int(std::lround(level * kBarWidth));
    std::string bar;
    for (int i = 0; i < kBarWidth; ++i) {
        if (i < filled) {
            const int32_t colour = i < kBarWidth * 0.7   ? 0x50C878
                                   : i < kBarWidth * 0.9 ? 0x30D0F0
                                                         : 0x4040F0;  // green, yellow, red
            bar += Colour(colour, false) + "█";
        } else {
            bar += "\x1b[38;2;80;80;80m░";
        }
    }
    return bar + "\x1b[0m";
}

std::string Decibels(int32_t amplitude) {
    if (amplitude <= 0) {
        return "  -inf dBFS";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%6.1f dBFS", 20.0 * std::log10(amplitude / 32767.0));
    return text;
}

// The spectrum as kSpectrumRows rows of block characters, kSpectrumColumns wide, on a
// decibel scale below the loudest bin.
std::vector<std::string> SpectrumRows(const std::vector<float>& spectrum) {
    std::vector<double> heights(kSpectrumColumns, 0.0);
    if (!spectrum.empty()) {
        float loudest = *std::max_element(spectrum.begin(), spectrum.end());
        const double top = 20.0 * std::log10(std::max(loudest, 1.0f));
        for (int c = 0; c < kSpectrumColumns; ++c) {
            const size_t first = size_t(c) * spectrum.size() / kSpectrumColumns;
            const size_t last =
                std::max(first + 1, size_t(c + 1) * spectrum.size() / kSpectrumColumns);
            float magnitude = 0.0f;
            for (size_t i = first; i < last && i < spectrum.size(); ++i) {
                magnitude = std::max(magnitude, spectrum[i]);
            }
            const double db = magnitude > 0 ? 20.0 * std::log10(magnitude) : top - kSpectrumRangeDb;
            heights[size_t(c)] = std::clamp(1.0 - (top - db) / kSpectrumRangeDb, 0.0, 1.0);
        }
    }
    std::vector<std::string> rows;
    for (int row = kSpectrumRows - 1; row >= 0; --row) {
        std::string line = "\x1b[38;2;90;200;250m";
        for (double height : heights) {
            const int eighths =
                std::clamp(int(std::lround(height * kSpectrumRows * 8)) - row * 8, 0, 8);
            line += kEighths[eighths];
        }
        rows.push_back(line + "\x1b[0m");
    }
    return rows;
}

}  // namespace

bool TerminalView::IsTerminal(int fd) {
    const char* term = std::getenv("TERM");
    return isatty(fd) != 0 && !(term != nullptr && std::strcmp(term, "dumb") == 0);
}

TerminalView::TerminalView(std::ostream& out, bool live) : out_(out), live_(live) {
    if (!live_) {
        return;
    }
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &savedTerminal) == 0) {
        termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO | ICANON);  // typed keys (and ^C) do not tear the view
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        echoSaved_ = true;
    }
    out_ << "\x1b[?25l" << std::flush;  // hide the cursor
}

TerminalView::~TerminalView() {
    Close();
}

void TerminalView::Close() {
    if (!open_) {
        return;
    }
    open_ = false;
    if (live_) {
        out_ << "\x1b[0m\x1b[?25h" << std::flush;
        if (echoSaved_) {
            tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        }
    }
}

void TerminalView::Show(const LiveState& state) {
    if (!live_) {
        if (state.elapsed + 1e-9 < double(nextSecond_)) {
            return;
        }
        nextSecond_ = int64_t(state.elapsed) + 1;
        std::ostringstream line;
        line << Fixed(state.elapsed, 1) << " s  blocks " << state.blocks << "  L "
             << Fixed(state.frequency[0], 1) << " Hz " << state.amplitude[0];
        if (state.channels == 2) {
            line << "  R " << Fixed(state.frequency[1], 1) << " Hz " << state.amplitude[1];
        }
        int active = 0;
        for (size_t i = 0; i < state.triggerActive.size(); ++i) {
            if (state.triggerActive[i]) {
                line << (active++ == 0 ? "  triggers " : ",") << i + 1;
            }
        }
        line << "  missed " << state.missed;
        if (!state.recording.empty()) {
            line << "  recording " << state.recording;
        }
        out_ << line.str() << '\n' << std::flush;
        return;
    }

    std::vector<std::string> lines;
    lines.push_back(Colour(state.lampColour, true) + "    \x1b[0m  \x1b[1mAurelix " + state.title +
                    "\x1b[0m  " + state.device);
    lines.push_back("      \x1b[2m" + state.format + "\x1b[0m");
    for (int c = 0; c < state.channels && c < 2; ++c) {
        char head[64];
        std::snprintf(head, sizeof head, "  %s  %9.1f Hz  %6d  ", c == 0 ? "L" : "R",
                      state.frequency[c], state.amplitude[c]);
        lines.push_back(head + LevelBar(state.amplitude[c]) + " " + Decibels(state.amplitude[c]));
    }
    for (const std::string& row : SpectrumRows(state.spectrum)) {
        lines.push_back("      " + row);
    }
    const std::string nyquist = std::to_string(state.rate / 2) + " Hz";
    lines.push_back("      0 Hz" + std::string(size_t(kSpectrumColumns) - 4 - nyquist.size(), ' ') +
                    nyquist);
    std::string triggers = "  triggers ";
    if (state.triggers.empty()) {
        triggers += "\x1b[2mnone\x1b[0m";
    }
    for (size_t i = 0; i < state.triggers.size(); ++i) {
        const bool on = i < state.triggerActive.size() && state.triggerActive[i];
        triggers += (on ? "\x1b[1;32m● " : "\x1b[2m○ ") + std::to_string(i + 1) + ": " +
                    state.triggers[i] + "\x1b[0m  ";
    }
    lines.push_back(triggers);
    std::string status = "  blocks " + std::to_string(state.blocks) + "  missed " +
                         std::to_string(state.missed) + "  " + Fixed(state.elapsed, 1) + " s";
    if (!state.recording.empty()) {
        status += "  \x1b[1;31m● REC\x1b[0m " + state.recording;
    }
    lines.push_back(status + "  \x1b[2m(Ctrl-C stops)\x1b[0m");

    std::string frame;
    if (linesDrawn_ > 0) {
        frame += "\x1b[" + std::to_string(linesDrawn_) + "F";  // to the first line drawn
    }
    for (const std::string& line : lines) {
        frame += "\x1b[2K" + line + "\n";
    }
    for (int extra = int(lines.size()); extra < linesDrawn_; ++extra) {
        frame += "\x1b[2K\n";
    }
    linesDrawn_ = std::max(linesDrawn_, int(lines.size()));
    out_ << frame << std::flush;
}

}  // namespace aurelix::cli
