#include "aurelix/timing/cls_x_timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/captured_messages.h"
#include "support/caught_error.h"

namespace aurelix::timing {
namespace {

TEST(clsXTimer, MeasuresFromStartToStoppAndNeverBelowZero) {
    clsXTimer stopwatch;
    stopwatch.Calibrate();
    EXPECT_EQ(stopwatch.TimeElapsed(), 0.0);
    stopwatch.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    stopwatch.Stopp();
    const double elapsed = stopwatch.TimeElapsed();
    EXPECT_GE(elapsed, 0.019);
    EXPECT_LT(elapsed, 1.0);
    stopwatch.Start();  // stop before start
    EXPECT_EQ(stopwatch.TimeElapsed(), 0.0);
    stopwatch.CounterFrequency = 0;
    EXPECT_EQ(aurelix::testing::ErrorNumberOf([&] { (void)stopwatch.TimeElapsed(); }), 11);
}

// A divisor up to 0 counts as 1; a failed estimate shows the error and gives 0.
TEST(clsXTimer, CpuTicksCountCyclesPerDivisorOrShowTheErrorAndGiveZero) {
    aurelix::testing::CapturedMessages messages;
    clsXTimer stopwatch;
    EXPECT_EQ(stopwatch.CPU_ticks(300, 0, 1), 300000000);
    EXPECT_EQ(stopwatch.CPU_ticks(300, -5, 1), 300000000);
    EXPECT_EQ(stopwatch.CPU_ticks(3000, 1, 1), 0);

    stopwatch.CounterFrequency = 1000.0;
    stopwatch.StartCount = 1000;
    stopwatch.StopCount = 1500;  // 0.5 s
    EXPECT_EQ(stopwatch.nCPU_ticks(2), 75000000);
    stopwatch.StopCount = stopwatch.StartCount;  // no time at all
    EXPECT_EQ(stopwatch.nCPU_ticks(1), 0);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"Cpu_ticks|16|6: Overflow",
                                                        "Cpu_ticks|16|11: Division by zero"}));
}

}  // namespace
}  // namespace aurelix::timing
