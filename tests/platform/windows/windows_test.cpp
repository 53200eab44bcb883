#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/mm_timer.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using aurelix::testing::ErrorNumberOf;
using Params = std::vector<WPARAM>;

// Window procedures are plain functions, so what they see goes through statics.
std::vector<WPARAM> received;

LRESULT Recorder(HWND, UINT, WPARAM wParam, LPARAM) {
    received.push_back(wParam);
    return 0;
}

// wParam 5 posts 6 to its own window; wParam 1 posts 3 and pumps while 2 is still waiting.
LRESULT PostsToItself(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Recorder(window, message, wParam, lParam);
    if (wParam == 5)
        PostMessageA(window, message, 6, 0);
    if (wParam == 1) {
        PostMessageA(window, message, 3, 0);
        EXPECT_EQ(DoEvents(), 2);
    }
    return 0;
}

class MessageWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { received.clear(); }
};

// Other threads may post, but only the owner runs the messages and destroys the window; a
// destroyed window loses its messages.
TEST_F(MessageWindowTest, PostsRunInTheOwnersDoEventsAndDieWithTheWindow) {
    HWND first = CreateMessageWindow(Recorder);
    HWND kept = CreateMessageWindow(Recorder);
    std::thread([=] {
        EXPECT_TRUE(PostMessageA(first, 1, 1, 0));
        EXPECT_TRUE(PostMessageA(kept, 960, 7, 0));
        EXPECT_EQ(DoEvents(), 0);  // the poster's own queue holds nothing
        EXPECT_FALSE(DestroyWindow(first));
    }).join();
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(PostMessageA(first, 1, 1, 0));
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, Params{7});
    DestroyWindow(kept);
}

TEST_F(MessageWindowTest, DoEventsTakesOnlyWhatWasPendingAtEntryAndNestsSafely) {
    HWND window = CreateMessageWindow(PostsToItself);
    PostMessageA(window, 951, 5, 0);
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, (Params{5, 6}));

    received.clear();
    PostMessageA(window, 951, 1, 0);
    PostMessageA(window, 951, 2, 0);
    EXPECT_EQ(DoEvents(), 1);  // the nested pass took 2 and 3
    EXPECT_EQ(received, (Params{1, 2, 3}));
    EXPECT_EQ(DoEvents(), 0);
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, MessageLoopSleepsUntilPostOrWakeOrTimeout) {
    // Each wait would last 5 s if the loop missed the post or the wake.
    auto start = Clock::now();
    HWND window = CreateMessageWindow(Recorder);
    std::atomic<bool> woken{false};
    std::thread other([window, &woken] {
        std::this_thread::sleep_for(20ms);
        PostMessageA(window, 3, 0, 0);
        std::this_thread::sleep_for(20ms);
        woken = true;
        WakeMessageLoop(window);
    });
    EXPECT_TRUE(RunMessageLoop([] { return !received.empty(); }, 5s));
    EXPECT_TRUE(RunMessageLoop([&woken] { return woken.load(); }, 5s));
    other.join();
    EXPECT_LT(Clock::now() - start, 2s);

    start = Clock::now();
    EXPECT_FALSE(RunMessageLoop([] { return false; }, 30ms));
    EXPECT_GE(Clock::now() - start, 30ms);
    DestroyWindow(window);
}

// An enabled timer of `interval` ms whose ticks run `onTick`.
std::unique_ptr<UiTimer> StartTimer(int32_t interval, std::function<void()> onTick) {
    auto timer = std::make_unique<UiTimer>();
    timer->OnTick(std::move(onTick));
    timer->Interval(interval);
    timer->Enabled(true);
    return timer;
}

// A timer of interval 0 stays silent even when enabled; a negative one is refused.
TEST(UiTimerTest, TicksOnlyFromTheOwnersLoopAndOnceWhenLate) {
    std::vector<std::thread::id> ticks;
    auto timer = StartTimer(5, [&] { ticks.push_back(std::this_thread::get_id()); });
    auto silent = StartTimer(0, [&] { ticks.push_back({}); });
    EXPECT_EQ(ErrorNumberOf([&] { silent->Interval(-1); }), err::kInvalidPropertyValue);
    std::this_thread::sleep_for(30ms);
    std::thread([] { EXPECT_EQ(DoEvents(), 0); }).join();
    EXPECT_TRUE(ticks.empty());
    auto beforeTick = Clock::now();
    EXPECT_EQ(DoEvents(), 1);  // six intervals late, one tick
    EXPECT_GT(timer->NextDue(), beforeTick);

    RunMessageLoop([&] { return ticks.size() == 4; }, 5s);
    EXPECT_EQ(ticks, std::vector<std::thread::id>(4, std::this_thread::get_id()));
}

// The timers are walked in place while they tick: a tick handler that destroys a timer
// due later in the same pass, creates one, or stops or destroys its own changes the list
// under the walk. A destroyed or stopped timer never ticks again, the new one ticks only
// from the next pass, and the timers after them in the list still tick once each.
TEST(UiTimerTest, HandlersMayDestroyCreateAndStopTimersDuringThePass) {
    std::string log;
    std::unique_ptr<UiTimer> doomed, created, stopsItself, destroysItself;
    auto first = StartTimer(1, [&] {
        log += 'f';
        if (doomed) {
            doomed.reset();
            created = StartTimer(1, [&] { log += 'c'; });
        }
    });
    doomed = StartTimer(1, [&] { log += 'd'; });
    stopsItself = StartTimer(1, [&] {
        log += 's';
        stopsItself->Enabled(false);
    });
    destroysItself = StartTimer(1, [&] {
        log += 'x';
        destroysItself.reset();
    });
    auto last = StartTimer(1, [&] { log += 'l'; });
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DoEvents(), 4);
    EXPECT_EQ(log, "fsxl");
    EXPECT_EQ(destroysItself, nullptr);
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DoEvents(), 3);
    EXPECT_EQ(log, "fsxlflc");
}

// What the multimedia timers' callbacks saw. A tick takes 300 us, so that kills land
// inside a running one.
std::atomic<int> timerTicks{0};
std::atomic<bool> inside{false};
std::atomic<uint32_t> selfKillResult{99};

void Busy(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
    inside = true;
    ++timerTicks;
    std::this_thread::sleep_for(300us);
    inside = false;
}

void KillsItself(uint32_t id, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
    selfKillResult = timeKillEvent(id);  // must not wait for itself
    ++timerTicks;
}

// timeKillEvent racing ticks of a 1 ms timer, at every phase of a tick: once it returns,
// no tick runs or starts.
TEST(MmTimerTest, KillWinsAgainstARunningTickAndIdsAreNeverReused) {
    for (int round = 0; round < 200; ++round) {
        const uint32_t id = timeSetEvent(1, 1, &Busy, 0, TIME_PERIODIC);
        ASSERT_NE(id, 0u);
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 23)));
        ASSERT_EQ(timeKillEvent(id), MMSYSERR_NOERROR);
        EXPECT_FALSE(inside);
        const int count = timerTicks;
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 == 0 ? 3 : 0));
        ASSERT_EQ(timerTicks, count) << "a tick started after the kill";
    }
    EXPECT_GT(timerTicks, 0);

    // Bad arguments are refused; a timer may kill itself from its tick without waiting
    // for itself, and its id is not handed out again.
    EXPECT_EQ(timeSetEvent(0, 1000, Busy, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, nullptr, 0, TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, Busy, 0, 2), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);
    timerTicks = 0;
    const uint32_t first = timeSetEvent(1, 1000, KillsItself, 0, TIME_PERIODIC);
    ASSERT_NE(first, 0u);
    while (timerTicks < 1)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(timerTicks, 1);
    EXPECT_EQ(selfKillResult, MMSYSERR_NOERROR);
    EXPECT_EQ(timeKillEvent(first), MMSYSERR_INVALPARAM);
    const uint32_t second = timeSetEvent(1000, 1000, Busy, 0, TIME_PERIODIC);
    EXPECT_NE(second, first);
    EXPECT_EQ(timeKillEvent(second), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace aurelix::platform
