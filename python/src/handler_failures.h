#pragma once

#include <pybind11/pybind11.h>

// An exception raised by a Python event handler cannot unwind through the library, which
// must finish the message it was handling. It is kept here, per thread, and raised in
// Python as soon as the library call that ran the handler has returned.
namespace aurelix::python {

// Keeps the exception being handled (the GIL held). The first one is raised later; any
// further one before that goes to sys.unraisablehook, so none is lost silently.
void KeepHandlerFailure(pybind11::error_already_set& failure);
// Whether a handler failed since the last RaiseHandlerFailure; callable without the GIL.
bool HandlerFailed() noexcept;
// Throws the kept exception, if any, and forgets it (the GIL held).
void RaiseHandlerFailure();

}  // namespace aurelix::python
