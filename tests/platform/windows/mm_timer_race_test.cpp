#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "aurelix/platform/windows/mm_timer.h"

namespace aurelix::platform {
namespace {

std::atomic<int> ticks{0};
std::atomic<bool> afterKill{false};
std::atomic<int> lateTicks{0};

void Tick(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
    if (afterKill) {
        ++lateTicks;
    }
    ++ticks;
    std::this_thread::sleep_for(std::chrono::microseconds(300));  // a tick still running
}

void KillsItself(uint32_t id, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
    ++ticks;
    timeKillEvent(id);  // must not wait for itself
}

// timeKillEvent racing ticks of a 1 ms timer, at every phase of a tick: once it returns,
// no tick runs or starts.
TEST(MmTimerRace, KillWinsAgainstARunningTick) {
    for (int round = 0; round < 200; ++round) {
        afterKill = false;
        const uint32_t id = timeSetEvent(1, 1, &Tick, 0, TIME_PERIODIC);
        ASSERT_NE(id, 0u);
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 23)));
        ASSERT_EQ(timeKillEvent(id), 0u);
        afterKill = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 == 0 ? 3 : 0));
    }
    EXPECT_EQ(lateTicks, 0);
    EXPECT_GT(ticks, 0);

    const int before = ticks;
    const uint32_t id = timeSetEvent(1, 1, &KillsItself, 0, TIME_PERIODIC);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ticks, before + 1);
    EXPECT_EQ(timeKillEvent(id), 11u);  // already gone
}

}  // namespace
}  // namespace aurelix::platform
