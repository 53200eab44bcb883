#include "aurelix/analysis/fit_samples.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "aurelix/platform/runtime/runtime_error.h"

#include "support/caught_error.h"

namespace {

using aurelix::testing::ErrorNumberOf;

using aurelix::analysis::FitSamples;
using aurelix::platform::RuntimeError;
namespace err = aurelix::platform::err;

struct FitCase {
    int32_t requested;
    int32_t analysis;
    int32_t expected;
};

TEST(FitSamplesTest, ZeroMeansDefaultLengthAndOnlyTheFftBitRounds) {
    const FitCase cases[] = {
        {0, 0, 1024},     {0, 3, 1024},     {1000, 1, 1000},   {1000, 0, 1000},  {1000, 4, 1000},
        {1000, 33, 1000}, {-7, 1, -7},      {1000, 3, 1024},   {1449, 19, 2048}, {1448, 3, 1024},
        {3000, 7, 4096},  {5000, 11, 4096}, {44100, 3, 32768}, {700, 3, 512},    {1536, 3, 2048},
        {1, 3, 1},        {2, 2, 2},        {65536, 3, 65536},
    };
    for (const FitCase& c : cases) {
        EXPECT_EQ(FitSamples(c.requested, c.analysis), c.expected)
            << "FitSamples(" << c.requested << ", " << c.analysis << ")";
    }
}

TEST(FitSamplesTest, LengthsWithoutALogarithmOrPowerOfTwoRaise) {
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(-5, 3); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(std::numeric_limits<int32_t>::max(), 3); }),
              err::kOverflow);
}

}  // namespace
