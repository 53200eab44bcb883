#include "capture/realtime_capture.h"

namespace aurelix::testing {
namespace {

TEST(RealtimeCaptureSoak, TenSecondsOfSimulatedSineAreRecordedWhole) {
    ExpectRealtimeRecordingLosesNothing(std::chrono::seconds(10));
}

}  // namespace
}  // namespace aurelix::testing
