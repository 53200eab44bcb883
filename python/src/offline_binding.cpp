#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "bindings.h"
#include "cli/errors.h"
#include "cli/offline_analysis.h"
#include "fresh_thread.h"
#include "handler_failures.h"
#include "variant_conversion.h"

namespace py = pybind11;

namespace aurelix::python {
namespace {

// The offline input device is found by its place in the process's device list, which
// another thread's analysis would shift: one analysis at a time per process (a Dask
// cluster runs one process per worker).
std::mutex oneAnalysisAtATime;

struct EventRecord {
    int64_t afterBlock;
    const control::EventInfo* event;
    std::vector<platform::Variant> arguments;
};

// The blocks as they come, gathered without the GIL.
struct Columns {
    std::vector<int32_t> block, buffer, missed, maxAmplitude;
    std::vector<double> dt, maxFrequency;
    std::vector<std::vector<std::pair<int32_t, float>>> peaks, peaksRight;
    std::vector<std::vector<float>> spectrum, spectrumRight;
    std::vector<EventRecord> events;
};

template <class Element>
py::array_t<Element> Column(const std::vector<Element>& values, py::ssize_t width = 1) {
    py::array_t<Element> column(
        width == 1 ? std::vector<py::ssize_t>{py::ssize_t(values.size())}
                   : std::vector<py::ssize_t>{py::ssize_t(values.size()) / width, width});
    std::copy(values.begin(), values.end(), column.mutable_data());
    return column;
}

py::object PeakColumn(const std::vector<std::vector<std::pair<int32_t, float>>>& blocks) {
    if (blocks.empty()) {
        return py::none();
    }
    py::list column;
    for (const auto& peaks : blocks) {
        py::array_t<float> rows({py::ssize_t(peaks.size()), py::ssize_t(2)});
        for (size_t i = 0; i < peaks.size(); ++i) {
            rows.mutable_at(i, 0) = float(peaks[i].first);
            rows.mutable_at(i, 1) = peaks[i].second;
        }
        column.append(rows);
    }
    return column;
}

py::object SpectrumColumn(const std::vector<std::vector<float>>& blocks) {
    if (blocks.empty()) {
        return py::none();
    }
    const size_t bins = blocks.front().size();
    py::array_t<float> column({py::ssize_t(blocks.size()), py::ssize_t(bins)});
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (blocks[b].size() != bins) {
            throw py::value_error("spectra of different lengths in one file");
        }
        std::copy(blocks[b].begin(), blocks[b].end(), column.mutable_data(py::ssize_t(b), 0));
    }
    return column;
}

py::dict Result(const Columns& columns, const cli::OfflineSummary& summary) {
    py::dict result;
    result["block"] = Column(columns.block);
    result["buffer"] = Column(columns.buffer);
    result["dt"] = Column(columns.dt);
    result["missed"] = Column(columns.missed);
    result["max_amplitude"] = Column(columns.maxAmplitude, 2);
    result["max_frequency"] = Column(columns.maxFrequency, 2);
    result["peaks"] = PeakColumn(columns.peaks);
    result["peaks_right"] = PeakColumn(columns.peaksRight);
    result["spectrum"] = SpectrumColumn(columns.spectrum);
    result["spectrum_right"] = SpectrumColumn(columns.spectrumRight);
    py::list events;
    for (const EventRecord& record : columns.events) {
        py::dict arguments;
        for (size_t i = 0; i < record.arguments.size(); ++i) {
            arguments[py::str(std::string(record.event->argumentNames[i]))] =
                FromVariant(record.arguments[i]);
        }
        events.append(
            py::make_tuple(record.afterBlock, std::string(record.event->name), arguments));
    }
    result["events"] = events;
    result["rate"] = summary.rate;
    result["channels"] = summary.channels;
    result["samples"] = summary.samples;
    result["analysis"] = summary.analysis;
    result["format"] = summary.format;
    result["blocks"] = summary.run.blocks;
    result["analysed"] = summary.run.analysed;
    result["total_missed"] = summary.run.missed;
    result["seconds"] = summary.run.seconds;
    result["partial_samples"] = summary.run.partialSamples;
    return result;
}

void Append(std::vector<std::vector<std::pair<int32_t, float>>>& column,
            const std::optional<std::vector<std::pair<int32_t, float>>>& value) {
    if (value) {
        column.push_back(*value);
    }
}

// Calls a Python handler with the GIL, unless one has failed already: after the first
// failure no handler runs, and the failure is raised when the analysis has returned.
template <class Call>
void RunHandler(HandlerFailure& failure, const py::object& handler, Call&& call) {
    if (handler.is_none()) {
        return;
    }
    py::gil_scoped_acquire gil;
    if (failure.Failed()) {
        return;
    }
    try {
        call();
    } catch (py::error_already_set& raised) {
        failure.Keep(raised);
    }
}

// Thrown from the progress callback to end an analysis that Ctrl-C stopped.
struct Stopped {};

py::dict Analyze(const std::string& path, int32_t samples, const std::string& analysis,
                 float threshold, const std::vector<std::string>& triggers, bool spectrum,
                 const py::object& onBlock, const py::object& onEvent) {
    cli::OfflineOptions options;
    options.path = path;
    options.analysis = analysis;
    options.samples = samples;
    options.threshold = threshold;
    options.triggers = triggers;
    options.spectrum = spectrum;

    Columns columns;
    HandlerFailure handlerFailure;
    cli::OfflineCallbacks callbacks;
    callbacks.block = [&](const cli::BlockResult& block) {
        columns.block.push_back(block.block);
        columns.buffer.push_back(block.buffer);
        columns.dt.push_back(block.dt);
        columns.missed.push_back(block.missed);
        columns.maxAmplitude.insert(columns.maxAmplitude.end(), block.maxAmplitude,
                                    block.maxAmplitude + 2);
        columns.maxFrequency.insert(columns.maxFrequency.end(), block.maxFrequency,
                                    block.maxFrequency + 2);
        Append(columns.peaks, block.peaks);
        Append(columns.peaksRight, block.peaksRight);
        if (block.spectrum) {
            columns.spectrum.push_back(*block.spectrum);
        }
        if (block.spectrumRight) {
            columns.spectrumRight.push_back(*block.spectrumRight);
        }
        RunHandler(handlerFailure, onBlock, [&] {
            onBlock(py::dict(py::arg("block") = block.block, py::arg("dt") = block.dt,
                             py::arg("max_amplitude") =
                                 py::make_tuple(block.maxAmplitude[0], block.maxAmplitude[1]),
                             py::arg("max_frequency") =
                                 py::make_tuple(block.maxFrequency[0], block.maxFrequency[1]),
                             py::arg("missed") = block.missed));
        });
    };
    callbacks.event = [&](const control::EventInfo& event, std::span<platform::Variant> arguments) {
        const int64_t afterBlock = columns.block.empty() ? 0 : columns.block.back();
        columns.events.push_back(
            {afterBlock, &event,
             std::vector<platform::Variant>(arguments.begin(), arguments.end())});
        RunHandler(handlerFailure, onEvent, [&] {
            py::dict named;
            for (size_t i = 0; i < arguments.size(); ++i) {
                named[py::str(std::string(event.argumentNames[i]))] = FromVariant(arguments[i]);
            }
            onEvent(std::string(event.name), **named);
        });
    };

    std::atomic<bool> stop = false;
    callbacks.progress = [&](double) {
        if (stop) {
            throw Stopped();
        }
    };

    // Each analysis runs on a thread of its own, whose engine state starts at zero as in a
    // fresh process of the command: what an earlier analysis (or a control) of the caller's
    // thread left there cannot change the numbers.
    cli::OfflineSummary summary;
    try {
        std::unique_lock<std::mutex> alone(oneAnalysisAtATime, std::defer_lock);
        {
            py::gil_scoped_release released;
            alone.lock();
        }
        RunOnFreshThread(
            [&] {
                try {
                    summary = cli::AnalyzeFile(options, callbacks);
                } catch (const Stopped&) {  // the KeyboardInterrupt tells
                }
            },
            stop);
    } catch (...) {
        handlerFailure.RaiseIfAny();  // a handler's exception explains more than what followed
        throw;
    }
    handlerFailure.RaiseIfAny();
    return Result(columns, summary);
}

}  // namespace

void BindOfflineAnalysis(py::module_& module) {
    // The command's failures: a usage error is a bad argument, anything else names the file.
    py::register_exception_translator([](std::exception_ptr pending) {
        try {
            if (pending) {
                std::rethrow_exception(pending);
            }
        } catch (const cli::CommandError& error) {
            if (error.ExitCode() == cli::kExitUsage) {
                PyErr_SetString(PyExc_ValueError, error.what());
            } else {
                const py::object type = py::module_::import("aurelix.errors").attr("AnalysisError");
                PyErr_SetObject(type.ptr(), type(error.what()).ptr());
            }
        }
    });
    module.def("analyze", &Analyze, py::arg("path"), py::arg("samples"), py::arg("analysis"),
               py::arg("threshold"), py::arg("triggers"), py::arg("spectrum"), py::arg("on_block"),
               py::arg("on_event"),
               "The offline analysis of `aurelix analyze`: a dict of NumPy columns and the "
               "file's summary. Use aurelix.analyze.");
}

}  // namespace aurelix::python
