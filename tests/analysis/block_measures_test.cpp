#include "aurelix/analysis/block_measures.h"

#include <gtest/gtest.h>

#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {
namespace {

TEST(MaxBin, KeepsTheFirstOfEqualMaximaInAnyLaneAndTheTail) {
    platform::BoundedArray<float> spectrum(0, 20);
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 0);  // all zero
    spectrum(0) = 900.0f;                   // outside the range
    spectrum(13) = spectrum(5) = spectrum(19) = 7.0f;
    spectrum(20) = 6.0f;
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 5);
    EXPECT_EQ(MaxBin(spectrum, 6, 20), 13);
    EXPECT_EQ(MaxBin(spectrum, 14, 20), 19);
    spectrum(20) = 7.5f;
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 20);
    EXPECT_EQ(MaxBin(spectrum, 0, 20), 0);
    EXPECT_THROW(MaxBin(spectrum, 1, 21), platform::RuntimeError);
}

TEST(MaxSample, LowersLastToTheBlockAndNeverGoesBelowZero) {
    platform::BoundedArray<int16_t> block(0, 2);
    block(0) = -30000;
    block(1) = -2;
    EXPECT_EQ(MaxSample(block, 1024), 0);
    block(2) = 11;
    EXPECT_EQ(MaxSample(block, 1024), 11);
    EXPECT_EQ(MaxSample(block, 1), 0);
    EXPECT_EQ(MaxSample(block, -1), 0);
}

}  // namespace
}  // namespace aurelix::analysis
