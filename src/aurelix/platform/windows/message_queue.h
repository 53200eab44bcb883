#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "aurelix/platform/runtime/ring_queue.h"

#include "aurelix/platform/windows/window.h"

namespace aurelix::platform {
class UiTimer;
}

namespace aurelix::platform::detail {

struct PostedMessage {
    uint64_t sequence;
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    ThreadTask task;  // set for a task: runs with lParam instead of going to the window
};

// One thread's queue of posted messages and list of UI timers. Any thread may post and
// wake; only the owner thread takes messages, waits and touches the timers. Neither the
// messages nor the timers allocate once the queue has reached its usual depth.
class MessageQueue {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void PostTask(ThreadTask task, LPARAM context);
    // Sequence number of the newest message posted so far (0 before the first).
    uint64_t LastPosted() const;
    // Removes and returns the oldest pending message if its sequence is at most `upTo`.
    std::optional<PostedMessage> TakeOldest(uint64_t upTo);
    void DropMessagesFor(HWND window);
    void DropAllMessages();

    // Makes the owner's current or next WaitForWork return.
    void Wake();
    // Sleeps until a message is pending, Wake is called or `until` has come.
    void WaitForWork(std::optional<TimePoint> until);

    void AddTimer(UiTimer* timer);
    void RemoveTimer(UiTimer* timer);
    // Calls `visit` for each timer listed when the pass began and still listed when its
    // turn comes: a visit may add or remove timers, the list is walked in place.
    template <class Visit>
    void ForEachTimer(Visit&& visit);

  private:
    mutable std::mutex mutex_;
    std::condition_variable workArrived_;
    RingQueue<PostedMessage> pending_;
    uint64_t lastPosted_ = 0;
    bool woken_ = false;
    std::vector<UiTimer*> timers_;  // a removed timer leaves nullptr while a pass runs
    int timerPasses_ = 0;
};

template <class Visit>
void MessageQueue::ForEachTimer(Visit&& visit) {
    struct Pass {
        MessageQueue& queue;
        explicit Pass(MessageQueue& q) : queue(q) { ++queue.timerPasses_; }
        ~Pass() {
            if (--queue.timerPasses_ == 0)
                std::erase(queue.timers_, nullptr);
        }
    } pass(*this);
    const size_t listed = timers_.size();
    for (size_t i = 0; i < listed; ++i) {
        if (UiTimer* timer = timers_[i])
            visit(*timer);
    }
}

// The calling thread's queue, created on first use. When the thread ends, its windows are
// destroyed and its pending messages dropped.
std::shared_ptr<MessageQueue> ThisThreadQueue();

}  // namespace aurelix::platform::detail
