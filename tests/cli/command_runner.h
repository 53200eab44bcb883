#pragma once

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include "support/temp_folder.h"

extern char** environ;

namespace aurelix::testing {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    // The stdout lines parsed as JSON.
    std::vector<nlohmann::json> Lines() const {
        std::vector<nlohmann::json> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(nlohmann::json::parse(line));
        }
        return lines;
    }
};

// Runs the built `aurelix` (build/cli/aurelix next to build/tests/) as a user would, with
// stdout and stderr caught in files of `folder`. The shell only redirects: `exec` hands its
// process to the command, so that Signal reaches the command itself.
class RunningCommand {
  public:
    RunningCommand(const std::vector<std::string>& args, const std::string& folder)
        : folder_(folder) {
        const auto build =
            std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path();
        std::string line = "exec '" + (build / "cli" / "aurelix").string() + "'";
        for (const std::string& arg : args) {
            line += " '" + arg + "'";
        }
        line += " </dev/null >'" + folder + "/stdout.txt' 2>'" + folder + "/stderr.txt'";
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        posix_spawn(&pid_, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    }
    ~RunningCommand() { Wait(); }

    void Signal(int number) const { kill(pid_, number); }
    CommandResult Wait() {
        if (pid_ != 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            pid_ = 0;
        }
        return {exitCode_, FileBytes(folder_ + "/stdout.txt"), FileBytes(folder_ + "/stderr.txt")};
    }

  private:
    std::string folder_;
    pid_t pid_ = 0;
    int exitCode_ = -1;
};

inline CommandResult RunCommand(const std::vector<std::string>& args, const std::string& folder) {
    return RunningCommand(args, folder).Wait();
}

}  // namespace aurelix::testing
