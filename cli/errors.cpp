#include "cli/errors.h"

#include <iostream>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::cli {

std::string DescribeRuntimeError(int number, const std::string& description) {
    std::string text;
    for (size_t i = 0; i < description.size(); ++i) {
        if (description[i] == '\r' && i + 1 < description.size() && description[i + 1] == '\n') {
            text += " / ";
            ++i;
        } else if (description[i] == '\n' || description[i] == '\r') {
            text += " / ";
        } else {
            text += description[i];
        }
    }
    return "error " + std::to_string(number) + ": " + text;
}

int RunReportingErrors(const std::function<int()>& body) {
    try {
        return body();
    } catch (const CommandError& error) {
        std::cerr << "aurelix: " << error.what() << '\n';
        return error.ExitCode();
    } catch (const platform::RuntimeError& error) {
        std::cerr << "aurelix: " << DescribeRuntimeError(error.Number(), error.Description())
                  << '\n';
        return kExitRunTime;
    } catch (const std::exception& error) {
        std::cerr << "aurelix: " << error.what() << '\n';
        return kExitRunTime;
    }
}

}  // namespace aurelix::cli
