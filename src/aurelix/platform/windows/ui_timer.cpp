#include "aurelix/platform/windows/ui_timer.h"

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/message_queue.h"

namespace aurelix::platform {

using Clock = std::chrono::steady_clock;

UiTimer::UiTimer() : queue_(detail::ThisThreadQueue()) {
    queue_->AddTimer(this);
}

UiTimer::~UiTimer() {
    queue_->RemoveTimer(this);
}

void UiTimer::Interval(int32_t milliseconds) {
    if (milliseconds < 0)
        Raise(err::kInvalidPropertyValue);
    interval_ = milliseconds;
    Rearm();
}

void UiTimer::Enabled(bool enabled) {
    if (enabled && !enabled_)
        Rearm();
    enabled_ = enabled;
}

void UiTimer::Rearm() {
    nextDue_ = Clock::now() + std::chrono::milliseconds(interval_);
}

void UiTimer::Fire() {
    if (!Armed())
        return;
    // Stay on the original grid of deadlines, skipping the ones already missed.
    const auto period = std::chrono::milliseconds(interval_);
    const auto now = Clock::now();
    if (nextDue_ <= now)
        nextDue_ += period * ((now - nextDue_) / period + 1);
    // The handler may replace itself or destroy this timer: run a copy, touch nothing after.
    TickHandler handler = onTick_;
    if (handler)
        handler();
}

}  // namespace aurelix::platform
