#include <pybind11/pybind11.h>

#include "aurelix/control/aurel_dispatch.h"
#include "bindings.h"
#include "python_control.h"

namespace py = pybind11;

namespace aurelix::python {
namespace {

const char* KindName(control::MemberKind kind) {
    switch (kind) {
        case control::MemberKind::Method:
            return "method";
        case control::MemberKind::PropertyGet:
            return "get";
        case control::MemberKind::PropertyLet:
            return "let";
    }
    return "";
}

control::MemberKind KindOf(const std::string& name) {
    for (auto kind : {control::MemberKind::Method, control::MemberKind::PropertyGet,
                      control::MemberKind::PropertyLet}) {
        if (name == KindName(kind)) {
            return kind;
        }
    }
    throw py::value_error("a member kind is 'method', 'get' or 'let', not '" + name + "'");
}

py::list Members() {
    py::list members;
    for (const control::MemberInfo& member : control::AurelMembers()) {
        members.append(py::make_tuple(std::string(member.name), member.dispatchId,
                                      KindName(member.kind), member.requiredArguments,
                                      member.optionalArguments));
    }
    return members;
}

py::list Events() {
    py::list events;
    for (const control::EventInfo& event : control::AurelEventInfos()) {
        py::tuple names(event.arguments);
        for (int16_t i = 0; i < event.arguments; ++i) {
            names[size_t(i)] = py::str(std::string(event.argumentNames[size_t(i)]));
        }
        events.append(py::make_tuple(std::string(event.name), event.dispatchId, names));
    }
    return events;
}

}  // namespace

void BindControl(py::module_& module) {
    module.def("members", &Members,
               "The control's members in interface order: (name, dispatch id, kind, required "
               "arguments, optional arguments); kind is 'method', 'get' or 'let'.");
    module.def("events", &Events,
               "The control's events in dispatch-id order: (name, dispatch id, argument names).");

    py::class_<PythonControl>(module, "Control",
                              "One Aurel control in user mode, called by member name.")
        .def(py::init<py::object>(), py::arg("on_event"))
        .def(
            "invoke",
            [](PythonControl& control, const std::string& name, const std::string& kind,
               const py::list& arguments) { return control.Invoke(name, KindOf(kind), arguments); },
            py::arg("name"), py::arg("kind"), py::arg("arguments"),
            "Calls a member; returns (result, arguments after the call).")
        .def_property("user_mode", &PythonControl::UserMode, &PythonControl::SetUserMode,
                      "The container's user-mode flag: False refuses run-time-only writes.")
        .def("require_owner_thread", &PythonControl::RequireOwnerThread,
             "Raises ValueError on any thread but the one that created the control.");
}

}  // namespace aurelix::python
