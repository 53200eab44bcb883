#include "aurelix/platform/windows/mm_timer.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "aurelix/platform/wave/wave.h"

namespace aurelix::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct PeriodicTimer {
    uint32_t id = 0;
    Clock::duration period{};
    bool periodic = false;
    TimerCallback callback = nullptr;
    uintptr_t user = 0;

    std::mutex mutex;
    std::condition_variable stopRequested;
    bool stop = false;
    std::thread thread;
};

// Calls back at start + k * period. After a late callback the next one comes at once,
// then the grid resumes: at most one catch-up tick, however late.
void RunTimer(const std::shared_ptr<PeriodicTimer>& timer) {
    const Clock::time_point start = Clock::now();
    int64_t tick = 1;
    std::unique_lock lock(timer->mutex);
    for (;;) {
        if (timer->stopRequested.wait_until(lock, start + tick * timer->period,
                                            [&timer] { return timer->stop; })) {
            return;
        }
        lock.unlock();
        timer->callback(timer->id, 0, timer->user, 0, 0);
        lock.lock();
        if (!timer->periodic)
            return;
        const int64_t ticksPassed = (Clock::now() - start) / timer->period;
        tick = std::max(tick + 1, ticksPassed);
    }
}

struct TimerService {
    std::mutex mutex;
    std::unordered_map<uint32_t, std::shared_ptr<PeriodicTimer>> timers;
    uint32_t lastId = 0;
};

// Never destroyed: a timer left running at exit must not find its service gone.
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
    auto timer = std::make_shared<PeriodicTimer>();
    timer->period = std::chrono::milliseconds(delayMs);
    timer->periodic = flags == TIME_PERIODIC;
    timer->callback = callback;
    timer->user = user;

    TimerService& service = Service();
    std::lock_guard lock(service.mutex);
    if (service.lastId == UINT32_MAX)
        return 0;
    timer->id = service.lastId + 1;
    try {
        timer->thread = std::thread(RunTimer, timer);
    } catch (const std::system_error&) {
        return 0;
    }
    service.lastId = timer->id;
    service.timers.emplace(timer->id, timer);
    return timer->id;
}

MMRESULT timeKillEvent(uint32_t timerId) {
    std::shared_ptr<PeriodicTimer> timer;
    {
        TimerService& service = Service();
        std::lock_guard lock(service.mutex);
        auto found = service.timers.find(timerId);
        if (found == service.timers.end())
            return MMSYSERR_INVALPARAM;
        timer = std::move(found->second);
        service.timers.erase(found);
    }
    {
        std::lock_guard lock(timer->mutex);
        timer->stop = true;
    }
    timer->stopRequested.notify_one();
    if (timer->thread.get_id() == std::this_thread::get_id()) {
        // Killed from its own callback: the thread ends when the callback returns.
        timer->thread.detach();
    } else {
        timer->thread.join();
    }
    return MMSYSERR_NOERROR;
}

}  // namespace aurelix::platform
