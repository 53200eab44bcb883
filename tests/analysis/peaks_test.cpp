#include "aurelix/analysis/peaks.h"

#include <gtest/gtest.h>

#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::ErrorNumberOf;

using aurelix::testing::OnFreshThread;
using state::State;

std::vector<float> Listed(const platform::BoundedArray<float>& peaks) {
    return {peaks.data(), peaks.data() + peaks.Count()};
}

FRESH_TEST(GetPeaks, ListsBinsStrictlyAboveTheLevelWithTheirMagnitudes) {
    state::State().ThresholdLevel = 160;
    platform::BoundedArray<float> spectrum(0, 511);
    spectrum(0) = 5000.0f;  // the mean is never listed
    spectrum(10) = 300.5f;
    spectrum(11) = 161.0f;
    spectrum(12) = 160.0f;  // at the level: not above it
    platform::BoundedArray<float> peaks(0, 40);
    EXPECT_EQ(GetPeaks(spectrum, peaks), 2);
    EXPECT_EQ(Listed(peaks), (std::vector<float>{0.0f, -10.0f, 300.5f, -11.0f, 161.0f}));
    EXPECT_FALSE(state::State().PeaksBusy);

    spectrum(10) = spectrum(11) = 0.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 0);
    EXPECT_EQ(Listed(peaks), std::vector<float>{0.0f});
}

FRESH_TEST(GetPeaks, ANegativeLevelListsEveryBinButTheMean) {
    state::State().ThresholdLevel = -320;
    platform::BoundedArray<float> spectrum(0, 3);
    spectrum(2) = 4.0f;
    platform::BoundedArray<float> peaks;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 3);
    EXPECT_EQ(Listed(peaks), (std::vector<float>{0, -1, 0, -2, 4, -3, 0}));
}

FRESH_TEST(GetPeaks, AFailureIsPassedOnAndLeavesPeaksBusy) {
    platform::BoundedArray<float> peaks;
    EXPECT_EQ(
        aurelix::testing::ErrorTextOf([&] { GetPeaks(platform::BoundedArray<float>(), peaks); }),
        "Function GetPeaks in Aurelix\r\nSubscript out of range");
    EXPECT_TRUE(state::State().PeaksBusy);
    GetPeaks(platform::BoundedArray<float>(0, 1), peaks);
    EXPECT_FALSE(state::State().PeaksBusy);
}

}  // namespace
}  // namespace aurelix::analysis
