#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/mm_timer.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using aurelix::testing::ErrorNumberOf;

// Window procedures are plain functions, so what they see goes through statics.
std::vector<WPARAM> received;
std::vector<std::thread::id> receivedOn;
int depth = 0;
int deepest = 0;
WindowProc chainedTo = nullptr;

LRESULT Recorder(HWND, UINT, WPARAM wParam, LPARAM) {
    received.push_back(wParam);
    receivedOn.push_back(std::this_thread::get_id());
    return static_cast<LRESULT>(wParam) + 1;
}

// Sends itself wParam - 1 until it reaches 0; returns the depth it was entered at.
LRESULT Recursive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    int myDepth = ++depth;
    deepest = std::max(deepest, myDepth);
    if (wParam > 0)
        SendMessageA(window, message, wParam - 1, lParam);
    --depth;
    return myDepth;
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

LRESULT Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return 100 * chainedTo(window, message, wParam + 1, lParam);
}

class MessageWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        received.clear();
        receivedOn.clear();
        depth = deepest = 0;
    }
};

TEST_F(MessageWindowTest, PostFromAnotherThreadRunsOnlyInsideOwnersDoEvents) {
    HWND window = CreateMessageWindow(Recorder);
    ASSERT_NE(window, 0u);
    std::thread poster([window] {
        EXPECT_TRUE(PostMessageA(window, 960, 7, 0));
        EXPECT_EQ(DoEvents(), 0);  // the poster's own queue holds nothing
    });
    poster.join();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, (std::vector<WPARAM>{7}));
    EXPECT_EQ(receivedOn.at(0), std::this_thread::get_id());
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, DoEventsTakesOnlyWhatWasPendingAtEntryAndNestsSafely) {
    HWND window = CreateMessageWindow(PostsToItself);
    PostMessageA(window, 951, 5, 0);
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, (std::vector<WPARAM>{5, 6}));

    received.clear();
    PostMessageA(window, 951, 1, 0);
    PostMessageA(window, 951, 2, 0);
    EXPECT_EQ(DoEvents(), 1);  // the nested pass took 2 and 3
    EXPECT_EQ(received, (std::vector<WPARAM>{1, 2, 3}));
    EXPECT_EQ(DoEvents(), 0);
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, SendIsSynchronousAndReentrantOnTheOwnerOnly) {
    HWND window = CreateMessageWindow(Recursive);
    EXPECT_EQ(SendMessageA(window, 1, 4, 0), 1);
    EXPECT_EQ(deepest, 5);
    EXPECT_EQ(depth, 0);

    deepest = 0;
    std::thread other([window] { EXPECT_EQ(SendMessageA(window, 1, 4, 0), 0); });
    other.join();
    EXPECT_EQ(deepest, 0);
    EXPECT_EQ(SendMessageA(window + 1000, 1, 0, 0), 0);
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, SubclassingChainsRestoresAndRefusesBadRequests) {
    HWND window = CreateMessageWindow(Recorder);
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, nullptr), nullptr);
    EXPECT_EQ(SetWindowLongA(window, GWL_USERDATA, Subclass), nullptr);
    EXPECT_EQ(SetWindowLongA(window + 1000, GWL_WNDPROC, Subclass), nullptr);
    std::thread other(
        [window] { EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, Subclass), nullptr); });
    other.join();
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 2);  // still Recorder

    chainedTo = SetWindowLongA(window, GWL_WNDPROC, Subclass);
    ASSERT_EQ(chainedTo, &Recorder);
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 300);  // Recorder returns (1 + 1) + 1
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, chainedTo), &Subclass);
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 2);
    EXPECT_EQ(received, (std::vector<WPARAM>{1, 2, 1}));
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, DestroyedWindowsLoseTheirMessagesAndHandlesAreNotReused) {
    HWND first = CreateMessageWindow(Recorder);
    HWND kept = CreateMessageWindow(Recorder);
    PostMessageA(first, 1, 1, 0);
    PostMessageA(kept, 2, 2, 0);
    std::thread other([first] { EXPECT_FALSE(DestroyWindow(first)); });
    other.join();
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(DestroyWindow(first));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(PostMessageA(first, 1, 1, 0));
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, (std::vector<WPARAM>{2}));

    HWND orphan = 0;
    std::thread owner([&orphan] { orphan = CreateMessageWindow(Recorder); });
    owner.join();
    EXPECT_NE(orphan, 0u);
    EXPECT_NE(orphan, first);
    EXPECT_FALSE(IsWindow(orphan));  // gone with its thread
    EXPECT_FALSE(PostMessageA(orphan, 1, 0, 0));
    EXPECT_EQ(CreateMessageWindow(nullptr), 0u);
    DestroyWindow(kept);
}

TEST_F(MessageWindowTest, DefaultProcedureKeepsTheText) {
    HWND window = CreateMessageWindow(DefWindowProcA);
    EXPECT_EQ(SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("triggers")), 1);
    EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 8);
    char buffer[5] = "????";
    EXPECT_EQ(SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)), 4);
    EXPECT_STREQ(buffer, "trig");
    SendMessageA(window, WM_SETTEXT, 0, 0);
    EXPECT_EQ(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0), 0);
    DestroyWindow(window);
}

TEST_F(MessageWindowTest, MessageLoopSleepsUntilPostOrWakeOrTimeout) {
    // Each wait would last 5 s if the loop missed the post or the wake.
    auto start = std::chrono::steady_clock::now();
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
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunMessageLoop([] { return false; }, 30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 30ms);
    DestroyWindow(window);
}

// The mailbox relies on both: a word written twice in a row counts twice only because the
// handler clears the text in between.
TEST(TextBoxTest, ChangeHandlerRunsOnlyWhenTheTextChanges) {
    TextBox box;
    std::vector<std::string> seen;
    box.OnChange([&] { seen.push_back(box.Text()); });
    box.SetText("start");
    box.SetText("start");
    box.SetText("closed");
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "closed"}));
    char buffer[16] = {};
    SendMessageA(box.hwnd(), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    EXPECT_STREQ(buffer, "closed");

    seen.clear();
    box.OnChange([&] {
        seen.push_back(box.Text());
        box.SetText("");
    });
    box.SetText("triggers");
    box.SetText("triggers");
    EXPECT_EQ(seen, (std::vector<std::string>{"triggers", "", "triggers", ""}));
}

TEST(TextBoxTest, KeyUpPassesTheLow16BitsAsKeyCodeAndNoShift) {
    TextBox box;
    std::vector<std::pair<int16_t, int16_t>> seen;
    box.OnKeyUp([&](int16_t& keyCode, int16_t& shift) { seen.emplace_back(keyCode, shift); });
    SendMessageA(box.hwnd(), WM_KEYUP, 256 + 3, 0);
    SendMessageA(box.hwnd(), WM_KEYUP, 0x18001, 0);
    EXPECT_EQ(seen, (std::vector<std::pair<int16_t, int16_t>>{{259, 0}, {-32767, 0}}));
}

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

// A tick handler that disables or destroys its own timer gets that one tick only.
TEST(UiTimerTest, DisablingOrDestroyingInsideTheTickHandlerStopsTheTicks) {
    for (const bool destroy : {false, true}) {
        auto timer = std::make_unique<UiTimer>();
        int ticks = 0;
        timer->OnTick([&] {
            ++ticks;
            destroy ? timer.reset() : timer->Enabled(false);
        });
        timer->Interval(2);
        timer->Enabled(true);
        EXPECT_FALSE(RunMessageLoop([] { return false; }, 30ms));
        EXPECT_EQ(ticks, 1) << destroy;
        EXPECT_EQ(timer == nullptr, destroy);
    }
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
