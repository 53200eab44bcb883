#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"

#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using aurelix::testing::ErrorNumberOf;

using namespace std::chrono_literals;

TEST(UiTimerTest, TicksOnlyFromTheOwnersLoopAndOnceWhenLate) {
    UiTimer timer;
    std::vector<std::thread::id> ticks;
    timer.OnTick([&] { ticks.push_back(std::this_thread::get_id()); });
    timer.Interval(5);
    timer.Enabled(true);
    std::this_thread::sleep_for(30ms);
    std::thread other([] { EXPECT_EQ(DoEvents(), 0); });
    other.join();
    EXPECT_TRUE(ticks.empty());
    auto beforeTick = std::chrono::steady_clock::now();
    EXPECT_EQ(DoEvents(), 1);  // six intervals late, one tick
    EXPECT_GT(timer.NextDue(), beforeTick);

    RunMessageLoop([&] { return ticks.size() == 4; }, 5s);
    ASSERT_EQ(ticks.size(), 4u);
    for (auto id : ticks)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(UiTimerTest, DisablingInsideTheTickHandlerStopsTheTicks) {
    UiTimer timer;
    int ticks = 0;
    timer.OnTick([&] {
        ++ticks;
        timer.Enabled(false);
    });
    timer.Interval(2);
    timer.Enabled(true);
    EXPECT_FALSE(RunMessageLoop([] { return false; }, 30ms));
    EXPECT_EQ(ticks, 1);
}

TEST(UiTimerTest, DestroyedTimersNoLongerTick) {
    auto doomed = std::make_unique<UiTimer>();
    int ticks = 0;
    doomed->OnTick([&] {
        ++ticks;
        doomed.reset();  // destroyed from inside its own tick
    });
    doomed->Interval(1);
    doomed->Enabled(true);
    EXPECT_FALSE(RunMessageLoop([] { return false; }, 20ms));
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(doomed, nullptr);
}

TEST(UiTimerTest, IntervalZeroNeverTicksAndNegativeIsRefused) {
    UiTimer timer;
    int ticks = 0;
    timer.OnTick([&] { ++ticks; });
    timer.Enabled(true);
    EXPECT_FALSE(RunMessageLoop([] { return false; }, 10ms));
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(ErrorNumberOf([&] { timer.Interval(-1); }), err::kInvalidPropertyValue);
    EXPECT_EQ(timer.Interval(), 0);
}

}  // namespace
}  // namespace aurelix::platform
