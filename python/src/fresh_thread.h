#pragma once

#include <atomic>
#include <functional>

// A run of the library on a thread of its own, whose engine state starts at zero as in a
// fresh process, that Ctrl-C can stop.
namespace aurelix::python {

// Runs `body` on a new thread and waits for it, the GIL released except for short checks
// of Python's signals. Ctrl-C sets `stop`, which `body` polls to end early; once `body`
// has returned, its exception or else the KeyboardInterrupt is raised. Call with the GIL.
void RunOnFreshThread(const std::function<void()>& body, std::atomic<bool>& stop);

}  // namespace aurelix::python
