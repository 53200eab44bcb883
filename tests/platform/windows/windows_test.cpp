#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
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
using Params = std::vector<WPARAM>;

// Window procedures are plain functions, so what they see goes through statics.
std::vector<WPARAM> received;
WindowProc chainedTo = nullptr;

// From 10 up it first sends itself wParam - 1, and records wParam only once that returned.
LRESULT Recorder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (wParam >= 10)
        SendMessageA(window, message, wParam - 1, lParam);
    received.push_back(wParam);
    return static_cast<LRESULT>(wParam) + 1;
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
    void SetUp() override { received.clear(); }
};

// Other threads may post, but only the owner runs the messages, destroys the window, and
// keeps it: a window dies with its thread, and handles are not handed out twice.
TEST_F(MessageWindowTest, PostsRunInTheOwnersDoEventsAndDieWithTheWindow) {
    HWND first = CreateMessageWindow(Recorder);
    HWND kept = CreateMessageWindow(Recorder);
    ASSERT_NE(first, 0u);
    std::thread poster([=] {
        EXPECT_TRUE(PostMessageA(first, 1, 1, 0));
        EXPECT_TRUE(PostMessageA(kept, 960, 7, 0));
        EXPECT_EQ(DoEvents(), 0);  // the poster's own queue holds nothing
        EXPECT_FALSE(DestroyWindow(first));
    });
    poster.join();
    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_FALSE(DestroyWindow(first));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(PostMessageA(first, 1, 1, 0));
    EXPECT_EQ(DoEvents(), 1);
    EXPECT_EQ(received, Params{7});

    HWND orphan = 0;
    std::thread([&orphan] { orphan = CreateMessageWindow(Recorder); }).join();
    EXPECT_NE(orphan, 0u);
    EXPECT_NE(orphan, first);
    EXPECT_FALSE(IsWindow(orphan));
    EXPECT_FALSE(PostMessageA(orphan, 1, 0, 0));
    EXPECT_EQ(CreateMessageWindow(nullptr), 0u);
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

// Only the owner thread may send or subclass; a send runs at once, also nested.
TEST_F(MessageWindowTest, SendIsSynchronousAndSubclassingChainsOnTheOwnerOnly) {
    HWND window = CreateMessageWindow(Recorder);
    EXPECT_EQ(SendMessageA(window, 5, 12, 0), 13);
    std::thread([window] {
        EXPECT_EQ(SendMessageA(window, 5, 1, 0), 0);
        EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, Subclass), nullptr);
    }).join();
    EXPECT_EQ(received, (Params{9, 10, 11, 12}));
    EXPECT_EQ(SendMessageA(window + 1000, 5, 1, 0), 0);
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, nullptr), nullptr);
    EXPECT_EQ(SetWindowLongA(window, GWL_USERDATA, Subclass), nullptr);
    EXPECT_EQ(SetWindowLongA(window + 1000, GWL_WNDPROC, Subclass), nullptr);
    received.clear();
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 2);  // still Recorder

    chainedTo = SetWindowLongA(window, GWL_WNDPROC, Subclass);
    ASSERT_EQ(chainedTo, &Recorder);
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 300);  // Recorder returns (1 + 1) + 1
    EXPECT_EQ(SetWindowLongA(window, GWL_WNDPROC, chainedTo), &Subclass);
    EXPECT_EQ(SendMessageA(window, 5, 1, 0), 2);
    EXPECT_EQ(received, (Params{1, 2, 1}));
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

// The mailbox relies on this: a word written twice in a row counts twice only because the
// handler clears the text in between. The text itself lives in the default procedure.
TEST(TextBoxTest, ChangeRunsOnlyWhenTheTextChangesAndKeyUpPassesTheKeyCode) {
    TextBox box;
    std::vector<std::string> seen;
    box.OnChange([&] { seen.push_back(box.Text()); });
    box.SetText("triggers");
    box.SetText("triggers");
    char buffer[5] = "????";
    EXPECT_EQ(SendMessageA(box.hwnd(), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)),
              4);
    EXPECT_STREQ(buffer, "trig");
    SendMessageA(box.hwnd(), WM_SETTEXT, 0, 0);
    EXPECT_EQ(SendMessageA(box.hwnd(), WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"triggers", ""}));

    seen.clear();
    box.OnChange([&] {
        seen.push_back(box.Text());
        box.SetText("");
    });
    box.SetText("start");
    box.SetText("start");
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "", "start", ""}));

    // Key up passes the low 16 bits as the key code, and no shift.
    std::vector<std::pair<int16_t, int16_t>> keys;
    box.OnKeyUp([&](int16_t& keyCode, int16_t& shift) { keys.emplace_back(keyCode, shift); });
    SendMessageA(box.hwnd(), WM_KEYUP, 256 + 3, 0);
    SendMessageA(box.hwnd(), WM_KEYUP, 0x18001, 0);
    EXPECT_EQ(keys, (std::vector<std::pair<int16_t, int16_t>>{{259, 0}, {-32767, 0}}));
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
    EXPECT_EQ(silent->Interval(), 0);
    std::this_thread::sleep_for(30ms);
    std::thread([] { EXPECT_EQ(DoEvents(), 0); }).join();
    EXPECT_TRUE(ticks.empty());
    auto beforeTick = Clock::now();
    EXPECT_EQ(DoEvents(), 1);  // six intervals late, one tick
    EXPECT_GT(timer->NextDue(), beforeTick);

    RunMessageLoop([&] { return ticks.size() == 4; }, 5s);
    ASSERT_EQ(ticks.size(), 4u);
    for (auto id : ticks)
        EXPECT_EQ(id, std::this_thread::get_id());
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

// What the multimedia timers' callbacks saw. A callback takes `busy`, so that kills land
// inside a running tick and a timer that waits one period after each callback drifts.
struct Ticks {
    std::chrono::microseconds busy{0};
    std::mutex mutex;
    std::set<std::thread::id> threads;
    std::vector<Clock::time_point> times;
    std::atomic<int> count{0};
    std::atomic<bool> inside{false};
    std::atomic<bool> killed{false};
    std::atomic<int> late{0};
    std::atomic<uint32_t> killResult{99};

    uintptr_t User() { return reinterpret_cast<uintptr_t>(this); }
    size_t Logged() {
        std::lock_guard lock(mutex);
        return times.size();
    }
};

void Record(uint32_t, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& ticks = *reinterpret_cast<Ticks*>(user);
    if (ticks.killed)
        ++ticks.late;
    ticks.inside = true;
    {
        std::lock_guard lock(ticks.mutex);
        ticks.threads.insert(std::this_thread::get_id());
        ticks.times.push_back(Clock::now());
    }
    ++ticks.count;
    std::this_thread::sleep_for(ticks.busy);
    ticks.inside = false;
}

void KillsItself(uint32_t id, uint32_t, uintptr_t user, uintptr_t, uintptr_t) {
    auto& ticks = *reinterpret_cast<Ticks*>(user);
    ticks.killResult = timeKillEvent(id);  // must not wait for itself
    ++ticks.count;
}

// timeKillEvent racing ticks of a 1 ms timer, at every phase of a tick: once it returns,
// no tick runs or starts.
TEST(MmTimerTest, KillWinsAgainstARunningTickAndIdsAreNeverReused) {
    Ticks ticks;
    ticks.busy = 300us;
    for (int round = 0; round < 200; ++round) {
        ticks.killed = false;
        const uint32_t id = timeSetEvent(1, 1, &Record, ticks.User(), TIME_PERIODIC);
        ASSERT_NE(id, 0u);
        std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 23)));
        ASSERT_EQ(timeKillEvent(id), MMSYSERR_NOERROR);
        EXPECT_FALSE(ticks.inside);
        ticks.killed = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 == 0 ? 3 : 0));
    }
    EXPECT_EQ(ticks.late, 0);
    EXPECT_GT(ticks.count, 0);

    // Bad arguments are refused; a timer may kill itself from its tick without waiting
    // for itself, and its id is not handed out again.
    ticks.count = 0;
    EXPECT_EQ(timeSetEvent(0, 1000, Record, ticks.User(), TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, nullptr, ticks.User(), TIME_PERIODIC), 0u);
    EXPECT_EQ(timeSetEvent(10, 1000, Record, ticks.User(), 2), 0u);
    EXPECT_EQ(timeKillEvent(0), MMSYSERR_INVALPARAM);

    const uint32_t first = timeSetEvent(1, 1000, KillsItself, ticks.User(), TIME_PERIODIC);
    ASSERT_NE(first, 0u);
    while (ticks.count < 1)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ticks.count, 1);
    EXPECT_EQ(ticks.killResult, MMSYSERR_NOERROR);
    EXPECT_EQ(timeKillEvent(first), MMSYSERR_INVALPARAM);
    const uint32_t second = timeSetEvent(1000, 1000, Record, ticks.User(), TIME_PERIODIC);
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
    EXPECT_EQ(timeKillEvent(second), MMSYSERR_NOERROR);
}

// Timers of different periods, started from different threads, are all served by one
// thread: a tick costs one wake-up however many engines run. Each still keeps its pace,
// and a callback that takes a quarter of the period does not make its timer drift.
TEST(MmTimerTest, EveryTimerTicksOnTheSameThreadAndKeepsItsMeanPeriod) {
    Ticks fast, slow;
    slow.busy = 5ms;
    uint32_t fastId = 0;
    std::thread([&] { fastId = timeSetEvent(2, 1000, Record, fast.User(), TIME_PERIODIC); }).join();
    const uint32_t slowId = timeSetEvent(20, 1000, Record, slow.User(), TIME_PERIODIC);
    ASSERT_NE(fastId, 0u);
    ASSERT_NE(slowId, 0u);
    while (slow.Logged() < 50)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(timeKillEvent(fastId), MMSYSERR_NOERROR);
    EXPECT_EQ(timeKillEvent(slowId), MMSYSERR_NOERROR);
    std::set<std::thread::id> all = fast.threads;
    all.insert(slow.threads.begin(), slow.threads.end());
    EXPECT_EQ(all.size(), 1u);
    EXPECT_GT(fast.count, slow.count);  // 10:1 when the machine keeps up
    std::vector<double> intervalsMs;
    for (size_t k = 1; k < 50; ++k)
        intervalsMs.push_back((slow.times[k] - slow.times[k - 1]) / 1.0ms);
    // Trimmed mean: a stall of the whole machine leaves one long and a few short intervals.
    std::sort(intervalsMs.begin(), intervalsMs.end());
    double meanMs = std::accumulate(intervalsMs.begin() + 10, intervalsMs.end() - 10, 0.0) /
                    static_cast<double>(intervalsMs.size() - 20);
    EXPECT_NEAR(meanMs, 20.0, 1.0);
}

}  // namespace
}  // namespace aurelix::platform
