#include "handler_failures.h"

namespace aurelix::python {

void HandlerFailure::Keep(pybind11::error_already_set& failure) {
    if (kept_) {
        failure.discard_as_unraisable("an aurelix event handler (a previous one failed too)");
        return;
    }
    kept_ = std::make_unique<pybind11::error_already_set>(std::move(failure));
}

void HandlerFailure::RaiseIfAny() {
    if (kept_) {
        std::unique_ptr<pybind11::error_already_set> failure = std::move(kept_);
        throw std::move(*failure);
    }
}

HandlerFailure& ThisThreadsHandlerFailure() {
    thread_local HandlerFailure failure;
    return failure;
}

}  // namespace aurelix::python
