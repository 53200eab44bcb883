#include <string>

#include <pybind11/pybind11.h>

#include "aurelix/platform/runtime/build_info.h"

#include "bindings.h"

PYBIND11_MODULE(_aurelix, module) {
    module.doc() =
        "Compiled core of the aurelix package: the control through its late-bound interface, "
        "the message loop, devices and the command's offline analysis. Use `aurelix`.";
    namespace build = aurelix::platform::build_info;
    module.attr("__version__") = std::to_string(build::kVersionMajor) + "." +
                                 std::to_string(build::kVersionMinor) + "." +
                                 std::to_string(build::kVersionRevision);
    aurelix::python::BindErrors(module);
    aurelix::python::BindControl(module);
    aurelix::python::BindMessageLoop(module);
    aurelix::python::BindDevices(module);
    aurelix::python::BindOfflineAnalysis(module);
}
