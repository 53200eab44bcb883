#include "cli/capture_session.h"
#include "cli/commands.h"

namespace aurelix::cli {

int RunMonitor(const CaptureOptions& options) {
    return RunCapture(options, {"monitor", ""});
}

}  // namespace aurelix::cli
