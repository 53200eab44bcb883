#include "fresh_thread.h"

#include <chrono>
#include <exception>
#include <future>
#include <memory>
#include <thread>

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace aurelix::python {
namespace {

// Short enough that Ctrl-C feels immediate.
constexpr std::chrono::milliseconds kSignalCheck(50);

}  // namespace

void RunOnFreshThread(const std::function<void()>& body, std::atomic<bool>& stop) {
    std::packaged_task<void()> task(body);
    std::future<void> done = task.get_future();
    std::unique_ptr<py::error_already_set> interrupted;
    {
        py::gil_scoped_release released;
        std::thread worker(std::move(task));
        while (done.wait_for(kSignalCheck) != std::future_status::ready) {
            py::gil_scoped_acquire gil;
            if (!interrupted && PyErr_CheckSignals() != 0) {
                interrupted = std::make_unique<py::error_already_set>();
                stop = true;
            }
        }
        worker.join();
    }
    done.get();  // the body's own exception first: it says more than the interruption
    if (interrupted) {
        throw std::move(*interrupted);
    }
}

}  // namespace aurelix::python
