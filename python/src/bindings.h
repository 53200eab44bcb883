#pragma once

#include <pybind11/pybind11.h>

// The parts of the compiled core, each adding its names to the module `aurelix._aurelix`.
namespace aurelix::python {

void BindErrors(pybind11::module_& module);
void BindControl(pybind11::module_& module);
void BindMessageLoop(pybind11::module_& module);
void BindDevices(pybind11::module_& module);
void BindOfflineAnalysis(pybind11::module_& module);

}  // namespace aurelix::python
