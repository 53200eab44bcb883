#pragma once

#include <memory>

#include <pybind11/pybind11.h>

// An exception raised by a Python event handler cannot unwind through the library, which
// must finish the message it was handling. It is kept here and raised in Python as soon as
// the library call that ran the handler has returned.
namespace aurelix::python {

class HandlerFailure {
  public:
    // Keeps the exception being handled (the GIL held). The first one is raised later; any
    // further one before that goes to sys.unraisablehook, so none is lost silently.
    void Keep(pybind11::error_already_set& failure);
    // Whether a handler failed since the last RaiseIfAny; callable without the GIL.
    bool Failed() const noexcept { return kept_ != nullptr; }
    // Throws the kept exception, if any, and forgets it (the GIL held).
    void RaiseIfAny();

  private:
    std::unique_ptr<pybind11::error_already_set> kept_;
};

// The failures of the handlers of this thread's controls.
HandlerFailure& ThisThreadsHandlerFailure();

}  // namespace aurelix::python
