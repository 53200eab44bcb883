#include "aurelix/platform/runtime/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using aurelix::testing::ErrorNumberOf;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt32(0.5), 0);
    EXPECT_EQ(RoundToInt32(1.5), 2);
    EXPECT_EQ(RoundToInt32(2.5), 2);
    EXPECT_EQ(RoundToInt32(-2.5), -2);
    EXPECT_EQ(RoundToInt32(-0.5), 0);
    EXPECT_EQ(RoundToInt32(3.5), 4);
    EXPECT_EQ(RoundToInt32(2.5000001), 3);
    EXPECT_EQ(RoundToInt32(-1.49), -1);
    EXPECT_EQ(RoundToInt16(32766.5), 32766);
}

TEST(Rounding, OutOfRangeRaisesOverflow) {
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt32(-2147483648.0), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(2147483647.5); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(-2147483649.0); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(std::nan("")); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(INFINITY); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt16(32767.5); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { FloorToInt32(2147483648.0); }), 6);
    EXPECT_EQ(FloorToInt32(-0.5), -1);
}

TEST(CheckedArithmetic, RaisesOverflowInsteadOfWrapping) {
    EXPECT_EQ(CheckedAdd32(2147483646, 1), 2147483647);
    EXPECT_EQ(ErrorNumberOf([] { CheckedAdd32(2147483647, 1); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CheckedSub32(std::numeric_limits<int32_t>::min(), 1); }), 6);
    EXPECT_EQ(CheckedMul32(44100, 10), 441000);
    EXPECT_EQ(ErrorNumberOf([] { CheckedMul32(65536, 32768); }), 6);
    EXPECT_EQ(CheckedMul32(-65536, 32768), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ErrorNumberOf([] { CheckedInt16(32768); }), 6);
    EXPECT_EQ(CheckedInt16(-32768), -32768);
}

TEST(Division, ZeroDivisorRaisesDivisionByZero) {
    EXPECT_DOUBLE_EQ(Divide(1.0, 4.0), 0.25);
    EXPECT_EQ(ErrorNumberOf([] { Divide(1.0, 0.0); }), 11);
    EXPECT_EQ(ErrorNumberOf([] { Divide(0.0, -0.0); }), 11);
    EXPECT_EQ(IntegerDivide(-7, 2), -3);
    EXPECT_EQ(ErrorNumberOf([] { IntegerDivide(7, 0); }), 11);
    EXPECT_EQ(ErrorNumberOf([] { IntegerDivide(std::numeric_limits<int32_t>::min(), -1); }), 6);
}

}  // namespace
}  // namespace aurelix::platform
