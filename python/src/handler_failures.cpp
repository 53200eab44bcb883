#include "handler_failures.h"

#include <memory>

namespace aurelix::python {
namespace {

thread_local std::unique_ptr<pybind11::error_already_set> kept;

}  // namespace

void KeepHandlerFailure(pybind11::error_already_set& failure) {
    if (kept) {
        failure.discard_as_unraisable("an aurelix event handler (a previous one failed too)");
        return;
    }
    kept = std::make_unique<pybind11::error_already_set>(std::move(failure));
}

bool HandlerFailed() noexcept {
    return kept != nullptr;
}

void RaiseHandlerFailure() {
    if (kept) {
        std::unique_ptr<pybind11::error_already_set> failure = std::move(kept);
        throw std::move(*failure);
    }
}

}  // namespace aurelix::python
