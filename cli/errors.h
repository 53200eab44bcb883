#pragma once

#include <functional>
#include <stdexcept>
#include <string>

// How the command fails: one line on stderr ("aurelix: ..."), exit 1 for run-time failures,
// 2 for usage errors.
namespace aurelix::cli {

inline constexpr int kExitRunTime = 1;
inline constexpr int kExitUsage = 2;

// A failure the command explains itself; `what()` is the line without the "aurelix: ".
class CommandError : public std::runtime_error {
  public:
    explicit CommandError(const std::string& message, int exitCode = kExitRunTime)
        : std::runtime_error(message), exitCode_(exitCode) {}
    int ExitCode() const noexcept { return exitCode_; }

  private:
    int exitCode_;
};

[[noreturn]] inline void UsageError(const std::string& message) {
    throw CommandError(message, kExitUsage);
}

// Runs a subcommand: a CommandError or a run-time error of the library becomes one line on
// stderr and its exit status (a run-time error shows its number and description).
int RunReportingErrors(const std::function<int()>& body);

// The text of a run-time error of the library: "error N: description" (the description's
// line breaks become " / ").
std::string DescribeRuntimeError(int number, const std::string& description);

}  // namespace aurelix::cli
