#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::testing {

// The run-time error that `body` raised, or nothing when it completed.
template <class Body>
std::optional<platform::RuntimeError> CaughtError(Body&& body) {
    try {
        body();
    } catch (const platform::RuntimeError& error) {
        return error;
    }
    return std::nullopt;
}

// The number of the run-time error that `body` raised, 0 when it completed.
template <class Body>
int32_t ErrorNumberOf(Body&& body) {
    return CaughtError(std::forward<Body>(body)).value_or(platform::RuntimeError(0)).Number();
}

// The description of the run-time error that `body` raised, "(no error)" when it completed.
template <class Body>
std::string ErrorTextOf(Body&& body) {
    const auto error = CaughtError(std::forward<Body>(body));
    return error ? error->Description() : "(no error)";
}

}  // namespace aurelix::testing
