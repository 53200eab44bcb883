#include "aurelix/platform/runtime/build_info.h"
#include "cli/commands.h"

namespace aurelix::cli {

std::string VersionText() {
    using namespace platform::build_info;
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

}  // namespace aurelix::cli
