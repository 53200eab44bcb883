#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/mm_timer.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct TickLog {
    std::mutex mutex;
    std::vector<Clock::time_point> times;
    std::atomic<bool> inside{false};
    std::atomic<int> count{0};
    std::atomic<uint32_t> killResult{99};
};

// Takes a quarter of the period: a timer that waits one period after each callback drifts.
void LogTime(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& log = *reinterpret_cast<TickLog*>(user);
    {
        std::lock_guard lock(log.mutex);
        log.times.push_back(Clock::now());
    }
    std::this_thread::sleep_for(5ms);
}

void SlowCount(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& log = *reinterpret_cast<TickLog*>(user);
    log.inside = true;
    std::this_thread::sleep_for(3ms);
    ++log.count;
    log.inside = false;
}

void KillSelf(uint32_t id, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& log = *reinterpret_cast<TickLog*>(user);
    log.killResult = timeKillEvent(id);
    ++log.count;
}

TEST(MmTimerTest, PeriodicTimerKeepsItsMeanPeriod) {
    TickLog log;
    uint32_t id = timeSetEvent(20, 1000, LogTime, reinterpret_cast<uintptr_t>(&log), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    auto logged = [&log] {
        std::lock_guard lock(log.mutex);
        return log.times.size();
    };
    while (logged() < 50)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_NOERROR);
    std::lock_guard lock(log.mutex);
    ASSERT_GE(log.times.size(), 50u);
    std::vector<double> intervalsMs;
    for (size_t k = 1; k < 50; ++k) {
        intervalsMs.push_back(
            std::chrono::duration<double, std::milli>(log.times[k] - log.times[k - 1]).count());
    }
    // Trimmed mean: a stall of the whole machine leaves one long and a few short intervals.
    std::sort(intervalsMs.begin(), intervalsMs.end());
    double meanMs = std::accumulate(intervalsMs.begin() + 10, intervalsMs.end() - 10, 0.0) /
                    static_cast<double>(intervalsMs.size() - 20);
    EXPECT_NEAR(meanMs, 20.0, 1.0);
}

TEST(MmTimerTest, NoCallbackRunsAfterKillReturns) {
    TickLog log;
    uint32_t id =
        timeSetEvent(1, 1000, SlowCount, reinterpret_cast<uintptr_t>(&log), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    while (log.count < 3)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_NOERROR);
    EXPECT_FALSE(log.inside);
    int countAtKill = log.count;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.count, countAtKill);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MmTimerTest, KillFromInsideTheCallbackReturnsAtOnce) {
    TickLog log;
    uint32_t id = timeSetEvent(1, 1000, KillSelf, reinterpret_cast<uintptr_t>(&log), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    while (log.count < 1)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.count, 1);
    EXPECT_EQ(log.killResult, MMSYSERR_NOERROR);
    EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(MmTimerTest, RefusesBadArgumentsAndNeverReusesIds) {
    TickLog log;
    auto user = reinterpret_cast<uintptr_t>(&log);
    EXPECT_EQ(timeSetEvent(0, 1000, LogTime, user, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, nullptr, user, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, LogTime, user, 2), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);

    uint32_t first = timeSetEvent(1000, 1000, LogTime, user, TIME_PERIODIC);
    EXPECT_EQ(timeKillEvent(first), MMSYSERR_NOERROR);
    uint32_t second = timeSetEvent(1000, 1000, LogTime, user, TIME_PERIODIC);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(timeKillEvent(second), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace aurelix::platform
