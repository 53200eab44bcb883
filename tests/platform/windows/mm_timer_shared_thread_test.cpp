#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "aurelix/platform/windows/mm_timer.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;

struct Ticks {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::atomic<int> count{0};
};

void Record(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& ticks = *reinterpret_cast<Ticks*>(user);
    std::lock_guard lock(ticks.mutex);
    ticks.threads.insert(std::this_thread::get_id());
    ++ticks.count;
}

// Timers of different periods, started from different threads, are all served by one
// thread: a tick costs one wake-up however many engines run. Each still keeps its pace.
TEST(MmTimerSharedThread, EveryTimerTicksOnTheSameThreadAtItsOwnPace) {
    Ticks fast, slow;
    uint32_t fastId = 0, slowId = 0;
    std::thread([&] {
        fastId = timeSetEvent(2, 1000, Record, reinterpret_cast<uintptr_t>(&fast), TIME_PERIODIC);
    }).join();
    slowId = timeSetEvent(10, 1000, Record, reinterpret_cast<uintptr_t>(&slow), TIME_PERIODIC);
    ASSERT_NE(fastId, 0u);
    ASSERT_NE(slowId, 0u);
    while (slow.count < 10)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(timeKillEvent(fastId), 0u);
    EXPECT_EQ(timeKillEvent(slowId), 0u);
    std::set<std::thread::id> all = fast.threads;
    all.insert(slow.threads.begin(), slow.threads.end());
    EXPECT_EQ(all.size(), 1u);
    EXPECT_GT(fast.count, slow.count);  // 5:1 when the machine keeps up
}

}  // namespace
}  // namespace aurelix::platform
