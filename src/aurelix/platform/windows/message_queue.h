#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

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
};

// One thread's queue of posted messages and list of UI timers. Any thread may post and
// wake; only the owner thread takes messages, waits and fires timers.
class MessageQueue {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
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
    bool HasTimer(const UiTimer* timer) const;
    std::vector<UiTimer*> Timers() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable workArrived_;
    std::deque<PostedMessage> pending_;
    uint64_t lastPosted_ = 0;
    bool woken_ = false;
    std::vector<UiTimer*> timers_;
};

// The calling thread's queue, created on first use. When the thread ends, its windows are
// destroyed and its pending messages dropped.
std::shared_ptr<MessageQueue> ThisThreadQueue();

}  // namespace aurelix::platform::detail
