#include "aurelix/platform/windows/message_queue.h"

#include <algorithm>

#include "aurelix/platform/windows/window_registry.h"

namespace aurelix::platform::detail {

void MessageQueue::Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({++lastPosted_, window, message, wParam, lParam, nullptr});
    }
    workArrived_.notify_one();
}

void MessageQueue::PostTask(ThreadTask task, LPARAM context) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back({++lastPosted_, 0, 0, 0, context, task});
    }
    workArrived_.notify_one();
}

uint64_t MessageQueue::LastPosted() const {
    std::lock_guard lock(mutex_);
    return lastPosted_;
}

std::optional<PostedMessage> MessageQueue::TakeOldest(uint64_t upTo) {
    std::lock_guard lock(mutex_);
    if (pending_.empty() || pending_.front().sequence > upTo)
        return std::nullopt;
    PostedMessage oldest = pending_.front();
    pending_.pop_front();
    return oldest;
}

void MessageQueue::DropMessagesFor(HWND window) {
    std::lock_guard lock(mutex_);
    pending_.erase_if([window](const PostedMessage& m) { return m.window == window; });
}

void MessageQueue::DropAllMessages() {
    std::lock_guard lock(mutex_);
    pending_.clear();
}

void MessageQueue::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    workArrived_.notify_one();
}

void MessageQueue::WaitForWork(std::optional<TimePoint> until) {
    std::unique_lock lock(mutex_);
    auto workOrWake = [this] { return woken_ || !pending_.empty(); };
    if (until) {
        workArrived_.wait_until(lock, *until, workOrWake);
    } else {
        workArrived_.wait(lock, workOrWake);
    }
    woken_ = false;
}

void MessageQueue::AddTimer(UiTimer* timer) {
    timers_.push_back(timer);
}

void MessageQueue::RemoveTimer(UiTimer* timer) {
    if (timerPasses_ > 0) {
        std::replace(timers_.begin(), timers_.end(), timer, static_cast<UiTimer*>(nullptr));
    } else {
        std::erase(timers_, timer);
    }
}

namespace {

// Lives as long as its thread: the thread's windows go with it.
class ThreadQueueOwner {
  public:
    ThreadQueueOwner() : queue_(std::make_shared<MessageQueue>()) {}
    ~ThreadQueueOwner() {
        DestroyWindowsOf(*queue_);
        queue_->DropAllMessages();
    }
    const std::shared_ptr<MessageQueue>& Queue() const noexcept { return queue_; }

  private:
    std::shared_ptr<MessageQueue> queue_;
};

}  // namespace

std::shared_ptr<MessageQueue> ThisThreadQueue() {
    thread_local ThreadQueueOwner owner;
    return owner.Queue();
}

}  // namespace aurelix::platform::detail
