#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include "support/temp_folder.h"

namespace aurelix::testing {

// The lines of `text` parsed as JSON.
inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

struct CommandResult {
    int exitCode = -1;
    std::string out, err;
};

// Runs the built `aurelix` (build/cli/aurelix next to build/tests/) as a user would, with
// stdout and stderr caught in files of `folder`. `prefix` runs it under another program,
// such as `timeout` to send it a signal.
inline CommandResult RunCommand(const std::vector<std::string>& args, const std::string& folder,
                                const std::string& prefix = "") {
    const auto build = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
    std::string line = "exec " + prefix + "'" + (build / "cli" / "aurelix").string() + "'";
    for (const std::string& arg : args) {
        line += " '" + arg + "'";
    }
    const int status = std::system(
        (line + " </dev/null >'" + folder + "/stdout.txt' 2>'" + folder + "/stderr.txt'").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            FileBytes(folder + "/stdout.txt"), FileBytes(folder + "/stderr.txt")};
}

}  // namespace aurelix::testing
