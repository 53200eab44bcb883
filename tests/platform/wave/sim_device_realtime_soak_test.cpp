#include <gtest/gtest.h>

#include "platform/wave/sim_realtime_check.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;

// 10 s of 1024-frame blocks at 44100 Hz is 430.66 blocks: 430 are due by the end.
TEST(SimDeviceSoakTest, TenSecondsOfSineArriveInRealTimeAndExact) {
    testing::CheckSineRealtime(10s, 0.01, 430, 431);
}

}  // namespace
}  // namespace aurelix::platform
