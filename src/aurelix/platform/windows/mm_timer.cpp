#include "aurelix/platform/windows/mm_timer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "aurelix/platform/wave/wave.h"

namespace aurelix::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct PeriodicTimer {
    Clock::duration period{};
    bool periodic = false;
    TimerCallback callback = nullptr;
    uintptr_t user = 0;
    Clock::time_point start{};
    int64_t tick = 1;    // the next callback is due at start + tick * period
    bool spent = false;  // a one-shot timer that has called back

    Clock::time_point Due() const { return start + tick * period; }
};

// Every timer of the process on one thread: a tick costs one wake-up, not one per timer.
// Each timer keeps its own grid of absolute deadlines; callbacks run one at a time.
class TimerService {
  public:
    uint32_t Add(PeriodicTimer timer) {
        std::lock_guard lock(mutex_);
        if (lastId_ == UINT32_MAX || !StartThread())
            return 0;
        const uint32_t id = ++lastId_;
        timers_.emplace(id, std::make_unique<PeriodicTimer>(timer));
        changed_.notify_one();
        return id;
    }

    MMRESULT Kill(uint32_t id) {
        std::unique_lock lock(mutex_);
        if (timers_.erase(id) == 0)
            return MMSYSERR_INVALPARAM;
        changed_.notify_one();
        // A running callback finishes first, unless it is the one asking.
        if (std::this_thread::get_id() != threadId_)
            callbackDone_.wait(lock, [&] { return running_ != id; });
        return MMSYSERR_NOERROR;
    }

  private:
    bool StartThread() {
        if (threadId_ != std::thread::id())
            return true;
        try {
            std::thread thread([this] { Run(); });
            threadId_ = thread.get_id();
            thread.detach();
        } catch (const std::system_error&) {
            return false;
        }
        return true;
    }

    // The live timer due first, with its id; none when no timer waits.
    std::optional<std::pair<uint32_t, PeriodicTimer*>> Earliest() {
        std::optional<std::pair<uint32_t, PeriodicTimer*>> earliest;
        for (auto& [id, timer] : timers_) {
            if (!timer->spent && (!earliest || timer->Due() < earliest->second->Due()))
                earliest.emplace(id, timer.get());
        }
        return earliest;
    }

    // After a late callback the next one comes at once, then the grid resumes: at most
    // one catch-up tick, however late.
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            const auto next = Earliest();
            if (!next) {
                changed_.wait(lock);
                continue;
            }
            const auto [id, timer] = *next;
            if (Clock::now() < timer->Due()) {
                changed_.wait_until(lock, timer->Due());
                continue;  // a timer may have come or gone meanwhile
            }
            const TimerCallback callback = timer->callback;
            const uintptr_t user = timer->user;
            running_ = id;
            lock.unlock();
            callback(id, 0, user, 0, 0);
            lock.lock();
            running_ = 0;
            callbackDone_.notify_all();
            const auto still = timers_.find(id);
            if (still == timers_.end())
                continue;  // killed meanwhile
            PeriodicTimer& ticked = *still->second;
            if (!ticked.periodic) {
                ticked.spent = true;
                continue;
            }
            const int64_t ticksPassed = (Clock::now() - ticked.start) / ticked.period;
            ticked.tick = std::max(ticked.tick + 1, ticksPassed);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::condition_variable callbackDone_;
    std::unordered_map<uint32_t, std::unique_ptr<PeriodicTimer>> timers_;
    uint32_t lastId_ = 0;
    uint32_t running_ = 0;
    std::thread::id threadId_;
};

// Never destroyed: its thread runs until the process ends.
TimerService& Service() {
    static auto* service = new TimerService();
    return *service;
}

}  // namespace

uint32_t timeSetEvent(uint32_t delayMs, uint32_t /*resolutionMs*/, TimerCallback callback,
                      uintptr_t user, uint32_t flags) {
    if (delayMs == 0 || callback == nullptr)
        return 0;
    if (flags != TIME_ONESHOT && flags != TIME_PERIODIC)
        return 0;
    PeriodicTimer timer;
    timer.period = std::chrono::milliseconds(delayMs);
    timer.periodic = flags == TIME_PERIODIC;
    timer.callback = callback;
    timer.user = user;
    timer.start = Clock::now();
    return Service().Add(timer);
}

MMRESULT timeKillEvent(uint32_t timerId) {
    return Service().Kill(timerId);
}

}  // namespace aurelix::platform
