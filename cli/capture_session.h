#pragma once

#include <string>

#include "cli/options.h"

// A live capture run, shared by monitor and record: places a control, applies the options,
// opens and starts the device, and runs the message loop until --seconds, Ctrl-C or the end
// of a recording, showing the terminal view or writing JSON lines; then resets the control
// (which finishes a recording's header) and prints the summary.
namespace aurelix::cli {

struct CaptureTarget {
    std::string title;       // "monitor" or "record"
    std::string recordFile;  // empty: no recording
};

int RunCapture(const CaptureOptions& options, const CaptureTarget& target);

}  // namespace aurelix::cli
