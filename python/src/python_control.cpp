#include "python_control.h"

#include <vector>

#include "handler_failures.h"
#include "variant_conversion.h"

namespace py = pybind11;

namespace aurelix::python {

PythonControl::PythonControl(py::object onEvent)
    : owner_(std::this_thread::get_id()),
      onEvent_(std::move(onEvent)),
      events_([this](const control::EventInfo& event, std::span<platform::Variant> arguments) {
          Deliver(event, arguments);
      }),
      control_(container_, &events_) {
    control_.InitProperties();
}

PythonControl::~PythonControl() {
    // The control's engine closes its device as it goes; no event reaches Python then.
    control_.SetEventSink(nullptr);
}

void PythonControl::RequireOwnerThread() const {
    if (std::this_thread::get_id() != owner_) {
        throw py::value_error(
            "an Aurel control is used only on the thread that created it (its engine state, "
            "windows and events belong to that thread)");
    }
}

py::tuple PythonControl::Invoke(const std::string& name, control::MemberKind kind,
                                const py::list& arguments) {
    RequireOwnerThread();
    std::vector<platform::Variant> values;
    values.reserve(arguments.size());
    for (const py::handle argument : arguments) {
        values.push_back(ToVariant(argument));
    }
    platform::Variant result;
    try {
        result = control::Invoke(control_, name, kind, values);
    } catch (...) {
        ThisThreadsHandlerFailure().RaiseIfAny();  // a handler's exception is the cause
        throw;
    }
    ThisThreadsHandlerFailure().RaiseIfAny();
    py::list after;
    for (const platform::Variant& value : values) {
        after.append(FromVariant(value));
    }
    return py::make_tuple(FromVariant(result), after);
}

void PythonControl::Deliver(const control::EventInfo& event,
                            std::span<platform::Variant> arguments) {
    // Events raised while the message loop runs arrive without the GIL.
    py::gil_scoped_acquire gil;
    try {
        py::dict named;
        for (size_t i = 0; i < arguments.size() && i < size_t(event.arguments); ++i) {
            named[py::str(std::string(event.argumentNames[i]))] = FromVariant(arguments[i]);
        }
        onEvent_(std::string(event.name), named);
    } catch (py::error_already_set& failure) {
        ThisThreadsHandlerFailure().Keep(failure);
    }
}

}  // namespace aurelix::python
