#include "aurelix/platform/runtime/process_identity.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include <signal.h>
#include <unistd.h>

namespace aurelix::platform {
namespace {

// Field 22 of /proc/<pid>/stat; the command name (field 2) may hold blanks and
// parentheses, so fields are counted after its closing parenthesis.
std::optional<std::string> StartTimeOf(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text{std::istreambuf_iterator<char>(stat), std::istreambuf_iterator<char>()};
    const size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) {
        return std::nullopt;
    }
    size_t begin = nameEnd + 1;
    for (int field = 3; field < 22; ++field) {  // from the blank before field 3
        begin = text.find(' ', begin + 1);
        if (begin == std::string::npos) {
            return std::nullopt;
        }
    }
    const size_t end = text.find(' ', begin + 1);
    return text.substr(begin + 1, end == std::string::npos ? end : end - begin - 1);
}

}  // namespace

std::string ThisProcessIdentity() {
    const long pid = long(::getpid());
    return std::to_string(pid) + " " + StartTimeOf(pid).value_or("0");
}

bool ProcessIsRunning(const std::string& identity) {
    const size_t blank = identity.find(' ');
    if (blank == std::string::npos) {
        return false;
    }
    long pid = 0;
    const char* end = identity.data() + blank;
    const auto [stop, error] = std::from_chars(identity.data(), end, pid);
    if (error != std::errc() || stop != end || pid <= 0) {
        return false;
    }
    const std::optional<std::string> started = StartTimeOf(pid);
    if (!started.has_value()) {
        // No process information (no /proc): any process under that id counts as the owner,
        // since taking a live owner for dead would close a device in use.
        return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
    }
    return *started == std::string_view(identity).substr(blank + 1);
}

}  // namespace aurelix::platform
