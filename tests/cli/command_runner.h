#pragma once

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

extern char** environ;

// Runs the built `aurelix` (build/cli/aurelix next to build/tests/) as a user would, with
// stdout and stderr caught in files of `folder`.
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

inline std::string CommandPath() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
            "aurelix")
        .string();
}

class RunningCommand {
  public:
    RunningCommand(const std::vector<std::string>& args, const std::string& folder)
        : out_(folder + "/stdout.txt"), err_(folder + "/stderr.txt") {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> argv = {CommandPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv) {
            pointers.push_back(arg.data());
        }
        pointers.push_back(nullptr);
        if (posix_spawn(&pid_, pointers[0], &actions, nullptr, pointers.data(), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
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
        return {exitCode_, Read(out_), Read(err_)};
    }

  private:
    static std::string Read(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string out_, err_;
    pid_t pid_ = 0;
    int exitCode_ = -1;
};

inline CommandResult RunCommand(const std::vector<std::string>& args, const std::string& folder) {
    return RunningCommand(args, folder).Wait();
}

}  // namespace aurelix::testing
