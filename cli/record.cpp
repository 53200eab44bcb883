#include "cli/capture_session.h"
#include "cli/commands.h"

namespace aurelix::cli {

int RunRecord(const RecordOptions& options) {
    return RunCapture(options.capture, {"record", options.file});
}

}  // namespace aurelix::cli
