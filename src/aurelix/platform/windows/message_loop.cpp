#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

#include "aurelix/platform/windows/message_queue.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Dispatches the oldest pending message up to `upTo`; false when there was none.
bool DispatchOldest(detail::MessageQueue& queue, uint64_t upTo) {
    std::optional<detail::PostedMessage> posted = queue.TakeOldest(upTo);
    if (!posted)
        return false;
    if (posted->task != nullptr) {
        posted->task(posted->lParam);
        return true;
    }
    // Sending re-checks that the window still exists on this thread.
    SendMessageA(posted->window, posted->message, posted->wParam, posted->lParam);
    return true;
}

// Fires each timer that is due once; a tick handler may disable or destroy any timer.
int FireDueTimers(detail::MessageQueue& queue) {
    int fired = 0;
    Clock::time_point now = Clock::now();
    queue.ForEachTimer([&](UiTimer& timer) {
        if (timer.Armed() && timer.NextDue() <= now) {
            timer.Fire();
            ++fired;
        }
    });
    return fired;
}

std::optional<Clock::time_point> NextTimerDue(detail::MessageQueue& queue) {
    std::optional<Clock::time_point> earliest;
    queue.ForEachTimer([&](const UiTimer& timer) {
        if (timer.Armed() && (!earliest || timer.NextDue() < *earliest)) {
            earliest = timer.NextDue();
        }
    });
    return earliest;
}

std::optional<Clock::time_point> Earlier(std::optional<Clock::time_point> a,
                                         std::optional<Clock::time_point> b) {
    if (!a)
        return b;
    if (!b)
        return a;
    return std::min(*a, *b);
}

}  // namespace

int DoEvents() {
    auto queue = detail::ThisThreadQueue();
    uint64_t pendingAtEntry = queue->LastPosted();
    int dispatched = 0;
    while (DispatchOldest(*queue, pendingAtEntry)) {
        ++dispatched;
    }
    return dispatched + FireDueTimers(*queue);
}

bool RunMessageLoop(const std::function<bool()>& done,
                    std::optional<std::chrono::steady_clock::duration> timeout) {
    auto queue = detail::ThisThreadQueue();
    auto finished = [&done] { return done && done(); };
    std::optional<Clock::time_point> deadline;
    if (timeout)
        deadline = Clock::now() + *timeout;
    for (;;) {
        if (finished())
            return true;
        uint64_t pendingNow = queue->LastPosted();
        while (DispatchOldest(*queue, pendingNow)) {
            if (finished())
                return true;
        }
        if (FireDueTimers(*queue) > 0 && finished())
            return true;
        if (deadline && Clock::now() >= *deadline)
            return false;
        queue->WaitForWork(Earlier(deadline, NextTimerDue(*queue)));
    }
}

}  // namespace aurelix::platform
