#pragma once

#include <optional>

#include "aurelix/platform/runtime_error.h"

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

}  // namespace aurelix::testing
