#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "aurelix/platform/windows/window.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;

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

}  // namespace
}  // namespace aurelix::platform
