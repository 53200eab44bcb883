#include "capture/realtime_capture.h"

namespace aurelix::testing {
namespace {

TEST(RealtimeCapture, OneSecondOfSimulatedSineIsRecordedWhole) {
    ExpectRealtimeRecordingLosesNothing(std::chrono::seconds(1));
}

}  // namespace
}  // namespace aurelix::testing
