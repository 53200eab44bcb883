#include <fstream>
#include <iostream>

#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/script_host.h"

namespace aurelix::cli {

int RunScriptCommand(const ScriptOptions& options) {
    if (options.file.empty()) {
        return RunScript(std::cin, std::cout);
    }
    std::ifstream in(options.file);
    if (!in) {
        throw CommandError(options.file + ": cannot read the script (no such file or no access)");
    }
    return RunScript(in, std::cout);
}

}  // namespace aurelix::cli
