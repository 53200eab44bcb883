#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace aurelix::platform {

namespace detail {
class MessageQueue;
}

// The form timer: ticks every Interval ms while Enabled, always on the thread that
// created it, from that thread's DoEvents / RunMessageLoop. Interval 0 never ticks. A late
// tick is delivered once, not once per missed interval. Owner thread only.
class UiTimer {
  public:
    using TickHandler = std::function<void()>;

    UiTimer();
    ~UiTimer();
    UiTimer(const UiTimer&) = delete;
    UiTimer& operator=(const UiTimer&) = delete;

    int32_t Interval() const noexcept { return interval_; }
    // Restarts the interval; negative values raise Invalid property value (380).
    void Interval(int32_t milliseconds);
    bool Enabled() const noexcept { return enabled_; }
    void Enabled(bool enabled);  // enabling restarts the interval
    void OnTick(TickHandler handler) { onTick_ = std::move(handler); }

    // Used by the owner thread's message loop.
    std::chrono::steady_clock::time_point NextDue() const noexcept { return nextDue_; }
    bool Armed() const noexcept { return enabled_ && interval_ > 0; }
    void Fire();

  private:
    void Rearm();

    int32_t interval_ = 0;
    bool enabled_ = false;
    std::chrono::steady_clock::time_point nextDue_{};
    TickHandler onTick_;
    std::shared_ptr<detail::MessageQueue> queue_;
};

}  // namespace aurelix::platform
