#include "aurelix/platform/runtime/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <thread>

namespace aurelix::platform {
namespace {

TEST(PerformanceCounter, CountsNanosecondsForward) {
    int64_t frequency = 0;
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency, 1'000'000'000);

    int64_t before = 0;
    int64_t after = 0;
    ASSERT_TRUE(QueryPerformanceCounter(&before));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(QueryPerformanceCounter(&after));
    // A lower bound only: the sleep may take longer, never shorter.
    EXPECT_GE(after - before, 20'000'000);

    EXPECT_FALSE(QueryPerformanceCounter(nullptr));
    EXPECT_FALSE(QueryPerformanceFrequency(nullptr));
}

TEST(SecondsSinceMidnight, AgreesWithTheLocalClock) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    const double seconds = SecondsSinceMidnight();
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 86400.0);
    // Within two seconds, also across midnight.
    const double difference = std::fabs(seconds - expected);
    EXPECT_LT(std::min(difference, 86400.0 - difference), 2.0);
}

TEST(LibraryFolder, IsTheFolderOfTheBinaryHoldingTheLibrary) {
    // The library is linked statically into this test program.
    const auto program = std::filesystem::canonical("/proc/self/exe");
    EXPECT_EQ(LibraryFolder(), program.parent_path().string());
}

}  // namespace
}  // namespace aurelix::platform
