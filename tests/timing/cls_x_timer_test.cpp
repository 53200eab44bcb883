#include "aurelix/timing/cls_x_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::timing {
namespace {

struct Shown {
    std::string text;
    int32_t style;
    std::string title;
};

// Captures message boxes for the duration of a test.
class CapturedMessages {
  public:
    CapturedMessages() {
        previous_ = platform::SetMessageBoxHandler(
            [this](const std::string& text, int32_t style, const std::string& title) {
                shown.push_back({text, style, title});
            });
    }
    ~CapturedMessages() { platform::SetMessageBoxHandler(previous_); }
    std::vector<Shown> shown;

  private:
    platform::MessageBoxHandler previous_;
};

TEST(clsXTimer, ElapsedRightAfterCalibrateIsZero) {
    clsXTimer stopwatch;
    stopwatch.Calibrate();
    EXPECT_EQ(stopwatch.TimeElapsed(), 0.0);
    EXPECT_GE(stopwatch.CallOverhead, 0.0);
    EXPECT_EQ(stopwatch.CpuMHz, 300);
}

TEST(clsXTimer, MeasuresTheIntervalBetweenStartAndStopp) {
    clsXTimer stopwatch;
    stopwatch.Calibrate();
    stopwatch.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopwatch.Stopp();
    const double elapsed = stopwatch.TimeElapsed();
    EXPECT_GE(elapsed, 0.019);
    EXPECT_LT(elapsed, 1.0);
    // Reading again without a new stop gives the same interval.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(stopwatch.TimeElapsed(), elapsed);
}

TEST(clsXTimer, UncalibratedStopWithoutStartGivesTheCounterInSeconds) {
    clsXTimer stopwatch;
    int64_t before = 0, after = 0, frequency = 0;
    platform::QueryPerformanceFrequency(&frequency);
    platform::QueryPerformanceCounter(&before);
    stopwatch.Stopp();
    platform::QueryPerformanceCounter(&after);
    EXPECT_GE(stopwatch.TimeElapsed(), double(before) / double(frequency));
    EXPECT_LE(stopwatch.TimeElapsed(), double(after) / double(frequency));
}

TEST(clsXTimer, StopBeforeStartClampsToZero) {
    clsXTimer stopwatch;
    stopwatch.Stopp();
    stopwatch.Start();
    EXPECT_EQ(stopwatch.TimeElapsed(), 0.0);
}

TEST(clsXTimer, WithoutCounterFrequencyRaisesDivisionByZero) {
    clsXTimer stopwatch;
    stopwatch.CounterFrequency = 0;
    try {
        (void)stopwatch.TimeElapsed();
        FAIL() << "no error";
    } catch (const platform::RuntimeError& error) {
        EXPECT_EQ(error.Number(), 11);
    }
}

TEST(clsXTimer, CpuTicksCountsCyclesPerDivisor) {
    CapturedMessages messages;
    clsXTimer stopwatch;
    EXPECT_EQ(stopwatch.CPU_ticks(300, 0, 1), 300000000);
    EXPECT_EQ(stopwatch.CPU_ticks(300, -5, 1), 300000000);
    EXPECT_EQ(stopwatch.CPU_ticks(300, 2, 0.5), 75000000);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(clsXTimer, CpuTicksErrorsShowOneMessageAndGiveZero) {
    CapturedMessages messages;
    clsXTimer stopwatch;
    EXPECT_EQ(stopwatch.CPU_ticks(3000, 1, 1), 0);
    EXPECT_EQ(stopwatch.CPU_ticks(300, 1, 0), 0);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, "6: Overflow");
    EXPECT_EQ(messages.shown[0].style, 16);
    EXPECT_EQ(messages.shown[0].title, "Cpu_ticks");
    EXPECT_EQ(messages.shown[1].text, "11: Division by zero");
}

TEST(clsXTimer, NCpuTicksUsesTheElapsedTime) {
    CapturedMessages messages;
    clsXTimer stopwatch;
    stopwatch.CounterFrequency = 1000.0;
    stopwatch.StartCount = 1000;
    stopwatch.StopCount = 1500;  // 0.5 s
    EXPECT_EQ(stopwatch.nCPU_ticks(2), 75000000);
    stopwatch.StopCount = stopwatch.StartCount;  // no time: the message path
    EXPECT_EQ(stopwatch.nCPU_ticks(1), 0);
    EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
}  // namespace aurelix::timing
