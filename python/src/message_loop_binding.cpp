#include <algorithm>
#include <chrono>
#include <cmath>

#include <pybind11/pybind11.h>

#include "aurelix/platform/windows/window.h"
#include "bindings.h"
#include "handler_failures.h"

namespace py = pybind11;

namespace aurelix::python {
namespace {

// Short enough that Ctrl-C feels immediate; Python sees signals only while it holds the GIL.
constexpr std::chrono::milliseconds kSignalCheck(50);

void Pump(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        throw py::value_error("pump takes a number of seconds, 0 or more");
    }
    HandlerFailure& handlerFailure = ThisThreadsHandlerFailure();
    handlerFailure.RaiseIfAny();
    if (seconds == 0) {
        platform::DoEvents();
        handlerFailure.RaiseIfAny();
        return;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        {
            py::gil_scoped_release released;
            platform::RunMessageLoop([&] { return handlerFailure.Failed(); },
                                     std::min<Clock::duration>(end - now, kSignalCheck));
        }
        handlerFailure.RaiseIfAny();
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
}

}  // namespace

void BindMessageLoop(py::module_& module) {
    module.def("pump", &Pump, py::arg("seconds"),
               "Runs this thread's message loop for `seconds` (0: only what is pending), "
               "without the GIL while it waits. Events of the controls of this thread run "
               "inside it; a handler's exception ends it and is raised, as is Ctrl-C.");
}

}  // namespace aurelix::python
