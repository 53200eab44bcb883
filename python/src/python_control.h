#pragma once

#include <string>
#include <thread>

#include <pybind11/pybind11.h>

#include "aurelix/control/aurel.h"
#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/windows/property_container.h"

// One Aurel control placed for Python: a container in user mode, the control, and a
// dispatch event sink that hands every event to one Python callable.
namespace aurelix::python {

class PythonControl {
  public:
    // `onEvent(name, arguments)` receives each event with its arguments in a dict by name.
    // The package passes a function that holds its control weakly, so that no reference
    // cycle runs through this object, which Python's collector cannot see into.
    explicit PythonControl(pybind11::object onEvent);
    ~PythonControl();
    PythonControl(const PythonControl&) = delete;
    PythonControl& operator=(const PythonControl&) = delete;

    // Calls a member through the late-bound interface. Returns (result, arguments after
    // the call), so that by-reference arrays come back. A handler's exception is raised
    // once the call has returned.
    pybind11::tuple Invoke(const std::string& name, control::MemberKind kind,
                           const pybind11::list& arguments);

    bool UserMode() const { return container_.UserMode(); }
    void SetUserMode(bool userMode) { container_.SetUserMode(userMode); }

    // Raises unless called on the thread that placed the control: its engine state, windows
    // and events belong to that thread.
    void RequireOwnerThread() const;

  private:
    void Deliver(const control::EventInfo& event, std::span<platform::Variant> arguments);

    std::thread::id owner_;
    pybind11::object onEvent_;
    platform::SimpleContainer container_{/*userMode=*/true};
    control::DispatchEventSink events_;
    control::Aurel control_;
};

}  // namespace aurelix::python
