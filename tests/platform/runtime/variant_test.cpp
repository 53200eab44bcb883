#include "aurelix/platform/runtime/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using testing::CaughtError;
using testing::ErrorNumberOf;

TEST(VariantConversion, HalvesRoundToTheEvenNeighbour) {
    const double halves[] = {0.5, 1.5, 2.5, -2.5, -0.5, 3.5};
    const int32_t expected[] = {0, 2, 2, -2, 0, 4};
    for (size_t i = 0; i < std::size(halves); ++i) {
        SCOPED_TRACE(halves[i]);
        EXPECT_EQ(Variant(halves[i]).ToLong(), expected[i]);
        EXPECT_EQ(Variant(halves[i]).ToInteger(), expected[i]);
        EXPECT_EQ(Variant(float(halves[i])).ToLong(), expected[i]);
        EXPECT_EQ(Variant(std::to_string(halves[i])).ToLong(), expected[i]);
    }
}

TEST(VariantConversion, OutOfRangeRaisesOverflow) {
    EXPECT_EQ(ErrorNumberOf([] { Variant(2147483647.5).ToLong(); }), 6);
    EXPECT_EQ(Variant(2147483647.4).ToLong(), 2147483647);
    EXPECT_EQ(Variant(-2147483648.5).ToLong(), -2147483647 - 1);  // half to even stays in
    EXPECT_EQ(ErrorNumberOf([] { Variant(32767.5).ToInteger(); }), 6);
    EXPECT_EQ(Variant(-32768.5).ToInteger(), -32768);
    EXPECT_EQ(ErrorNumberOf([] { Variant(int32_t{40000}).ToInteger(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant("1e10").ToLong(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant(std::nan("")).ToLong(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant(1e300).ToSingle(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant("1e999").ToDouble(); }), 6);
    // Infinity is not out of a Single's range: it is one of its values.
    EXPECT_TRUE(std::isinf(Variant(std::numeric_limits<double>::infinity()).ToSingle()));
}

TEST(VariantConversion, BooleansAreMinusOneAndReadTheirNames) {
    EXPECT_EQ(Variant(true).ToLong(), -1);
    EXPECT_EQ(Variant(true).ToInteger(), -1);
    EXPECT_EQ(Variant(false).ToDouble(), 0.0);
    EXPECT_EQ(Variant(true).ToString(), "True");
    EXPECT_EQ(Variant(false).ToString(), "False");
    EXPECT_TRUE(Variant(" true ").ToBoolean());
    EXPECT_FALSE(Variant("FALSE").ToBoolean());
    EXPECT_TRUE(Variant("2abc").ToBoolean());
    EXPECT_FALSE(Variant("abc").ToBoolean());
    EXPECT_TRUE(Variant(int16_t{-3}).ToBoolean());
    EXPECT_FALSE(Variant().ToBoolean());
    EXPECT_EQ(Variant().ToLong(), 0);
    EXPECT_EQ(Variant().ToString(), "");
    // Text stays text: a string literal must not turn into a Boolean.
    EXPECT_EQ(Variant("x").Type(), VariantType::String);
}

TEST(LeadingNumber, ReadsTheLongestLeadingNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"  12abc", 12}, {"\t-3.5e2x", -350},
        {"+7", 7},       {"1e", 1},
        {"1e+", 1},      {"2E-2", 0.02},
        {".5", 0.5},     {"-.5", -0.5},
        {"5.", 5},       {"1.2.3", 1.2},
        {"abc", 0},      {"", 0},
        {".", 0},        {"-", 0},
        {"- 5", 0},      {"e5", 0},
        {"0x1F", 0},     {"1e-400", 0.0},
        {"007", 7},      {"3 4", 3},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text);
        EXPECT_EQ(LeadingNumber(item.text), item.value);
    }
    EXPECT_EQ(LeadingNumberLength("  -1.5e3 rest"), 8u);
    EXPECT_EQ(LeadingNumberLength("  x"), 0u);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("-1e400"); }), 6);
}

TEST(NumberText, IsPlainDecimalThatReadsBackExactly) {
    EXPECT_EQ(NumberText(0.1), "0.1");
    EXPECT_EQ(NumberText(0.1f), "0.1");
    EXPECT_EQ(NumberText(-2.5), "-2.5");
    EXPECT_EQ(NumberText(1e20), "100000000000000000000");
    EXPECT_EQ(NumberText(1e-7), "0.0000001");
    EXPECT_EQ(NumberText(std::nan("")), "NaN");
    EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity()), "-Infinity");
    EXPECT_EQ(Variant(int16_t{-32768}).ToString(), "-32768");

    std::mt19937_64 random(52);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-300, 300);
    for (int i = 0; i < 2000; ++i) {
        const double value = std::ldexp(mantissa(random), exponent(random));
        ASSERT_EQ(LeadingNumber(NumberText(value)), value) << NumberText(value);
        const float single = static_cast<float>(mantissa(random) * 1e6);
        ASSERT_EQ(static_cast<float>(LeadingNumber(NumberText(single))), single);
    }
    for (double extreme :
         {std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(), -0.0}) {
        EXPECT_EQ(LeadingNumber(NumberText(extreme)), extreme) << NumberText(extreme);
    }
}

TEST(VariantEquality, FollowsTheRuntimesComparison) {
    EXPECT_EQ(Variant(5.0f), Variant(5));
    EXPECT_EQ(Variant(int16_t{-1}), Variant(true));
    EXPECT_EQ(Variant(), Variant(0));
    EXPECT_EQ(Variant(), Variant(""));
    EXPECT_EQ(Variant("abc"), Variant(std::string("abc")));
    EXPECT_NE(Variant("5"), Variant(5));
    EXPECT_NE(Variant("abc"), Variant("ABC"));
    EXPECT_NE(Variant(0.1f), Variant(0.1));  // a Single widens exactly, 0.1 is not 0.1f
    EXPECT_NE(Variant(std::nan("")), Variant(std::nan("")));
}

}  // namespace
}  // namespace aurelix::platform
