#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "aurelix/platform/wave/sim_devices.h"
#include "bindings.h"
#include "cli/options.h"

namespace py = pybind11;

namespace aurelix::python {
namespace {

platform::SimSignal SignalKind(const std::string& kind) {
    if (kind == "sine") {
        return platform::SimSignal::Sine;
    }
    if (kind == "tones") {
        return platform::SimSignal::TwoTones;
    }
    if (kind == "noise") {
        return platform::SimSignal::WhiteNoise;
    }
    if (kind == "silence") {
        return platform::SimSignal::Silence;
    }
    throw py::value_error("a test signal is 'sine', 'tones', 'noise' or 'silence', not '" + kind +
                          "'");
}

// Settings left out keep the kind's defaults.
void SetTestSignal(const std::string& kind, py::object frequency, py::object amplitude,
                   py::object frequency2, py::object amplitude2) {
    platform::TestSignal signal{SignalKind(kind), {}};
    signal.settings = platform::DefaultSimSettings(signal.kind);
    const auto take = [](const py::object& given, double& setting) {
        if (!given.is_none()) {
            setting = given.cast<double>();
        }
    };
    take(frequency, signal.settings.frequency);
    take(amplitude, signal.settings.amplitude);
    take(frequency2, signal.settings.frequency2);
    take(amplitude2, signal.settings.amplitude2);
    if (!platform::SetTestSignal(signal)) {
        throw py::value_error(
            "test signal refused: frequencies go from 0 to 1000000 Hz, amplitudes from 0 to "
            "32767 (both tones together)");
    }
}

// The records of `aurelix devices --json`, from the command's own listing.
py::list Devices(bool output) {
    const std::vector<std::string> names =
        cli::DeviceNames(output ? cli::Direction::Output : cli::Direction::Input);
    py::list devices;
    for (size_t i = 0; i < names.size(); ++i) {
        devices.append(py::dict(py::arg("index") = i, py::arg("name") = names[i],
                                py::arg("default") = i == 0,
                                py::arg("direction") = output ? "output" : "input"));
    }
    return devices;
}

}  // namespace

void BindDevices(py::module_& module) {
    module.def("devices", &Devices, py::arg("output") = false,
               "The input (or output) devices as `aurelix devices --json` lists them.");
    module.def("set_test_signal", &SetTestSignal, py::arg("kind") = "sine",
               py::arg("frequency") = py::none(), py::arg("amplitude") = py::none(),
               py::arg("frequency2") = py::none(), py::arg("amplitude2") = py::none(),
               "Makes the first simulated input deliver a sine, two tones, noise or silence.");
}

}  // namespace aurelix::python
