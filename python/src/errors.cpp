#include <pybind11/pybind11.h>

#include "aurelix/platform/runtime/runtime_error.h"
#include "bindings.h"

namespace py = pybind11;

namespace aurelix::python {
namespace {

// Sets the Python error to `errors.<name>(arguments...)` of the package.
template <class... Arguments>
void RaisePackageError(const char* name, Arguments&&... arguments) {
    const py::object type = py::module_::import("aurelix.errors").attr(name);
    const py::object error = type(std::forward<Arguments>(arguments)...);
    PyErr_SetObject(type.ptr(), error.ptr());
}

}  // namespace

void BindErrors(py::module_&) {
    // The library's run-time errors keep their number, source and description.
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) {
                std::rethrow_exception(pending);
            }
        } catch (const platform::RuntimeError& error) {
            RaisePackageError("RuntimeError", error.Number(), error.Source(), error.Description());
        }
    });
}

}  // namespace aurelix::python
