#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/runtime/variant.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using testing::ErrorNumberOf;

TEST(RuntimeError, CarriesNumberSourceAndStandardDescription) {
    const RuntimeError error(err::kSubscriptOutOfRange);
    EXPECT_EQ(error.Number(), 9);
    EXPECT_EQ(error.Source(), "Aurelix");
    EXPECT_EQ(error.Description(), "Subscript out of range");
    EXPECT_STREQ(error.what(), "Subscript out of range");
}

void Innermost() {
    Raise(err::kDivisionByZero);
}

void Inner(std::string& errorText) {
    Trapped(errorText, "Function Inner in Aurelix", [] { Innermost(); });
}

void Outer(std::string& errorText) {
    Trapped(errorText, "Sub Outer in clsAurel", [&] { Inner(errorText); });
}

TEST(PassOn, ChainOfTwoTrappingProceduresReadsOutermostFirst) {
    std::string errorText;
    const auto error = aurelix::testing::CaughtError([&] { Outer(errorText); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 11);
    EXPECT_EQ(error->Source(), "Aurelix");
    EXPECT_EQ(error->Description(),
              "Sub Outer in clsAurel\r\nFunction Inner in Aurelix\r\nDivision by zero");
    // ErrorText holds what the outermost handler received.
    EXPECT_EQ(errorText, "Function Inner in Aurelix\r\nDivision by zero");
}

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

TEST(BoundedArray, UnallocatedHasNoBoundsAndNoElements) {
    BoundedArray<int16_t> array;
    EXPECT_FALSE(array.IsAllocated());
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(ErrorNumberOf([&] { array.Upper(); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array.Lower(); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);
}

TEST(BoundedArray, ExplicitBoundsAreCheckedOnEveryAccess) {
    BoundedArray<int32_t> array(1, 100);
    EXPECT_EQ(array.Lower(), 1);
    EXPECT_EQ(array.Upper(), 100);
    array(1) = 7;
    array(100) = 8;
    EXPECT_EQ(array(1), 7);
    EXPECT_EQ(array.data()[99], 8);
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array(101); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array.Range(1, 101); }), 9);
    EXPECT_EQ(array.Range(50, 100), array.data() + 49);
    EXPECT_EQ(ErrorNumberOf([] { BoundedArray<int>(5, 3); }), 9);
}

TEST(BoundedArray, ReDimDiscardsAndPreserveKeepsOverlappingIndexes) {
    BoundedArray<std::string> array(0, 3);
    for (int i = 0; i <= 3; ++i) {
        array(i) = std::to_string(i);
    }
    array.ReDimPreserve(0, 1);
    ASSERT_EQ(array.Upper(), 1);
    EXPECT_EQ(array(1), "1");
    array.ReDimPreserve(-1, 4);
    EXPECT_EQ(array(-1), "");
    EXPECT_EQ(array(0), "0");
    EXPECT_EQ(array(1), "1");
    EXPECT_EQ(array(4), "");
    array.ReDim(0, 1);
    EXPECT_EQ(array(0), "");
    array.Erase();
    EXPECT_FALSE(array.IsAllocated());
}

TEST(BoundedArray2D, ColumnsAreContiguousAndIndexesChecked) {
    BoundedArray2D<int16_t> ring;
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 1); }), 9);
    ring.ReDim(0, 3, 1, 2);  // two buffers of four samples
    ring(0, 2) = 5;
    ring(3, 1) = 6;
    EXPECT_EQ(ring.Address(0, 2) - ring.Address(0, 1), 4);
    EXPECT_EQ(ring.data()[4], 5);
    EXPECT_EQ(ring.data()[3], 6);
    EXPECT_EQ(ring.Upper(1), 3);
    EXPECT_EQ(ring.Lower(2), 1);
    EXPECT_EQ(ErrorNumberOf([&] { ring(4, 1); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 3); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 0); }), 9);
}

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

TEST(MsgBox, WritesOneLineToStderrUnlessAHandlerIsSet) {
    ::testing::internal::CaptureStderr();
    MsgBox("Function Start in clsAurel\r\nOverflow", kMsgBoxCritical, "Aurelix");
    {
        aurelix::testing::CapturedMessages messages;
        MsgBox("Zieladresse ist 0 ", kMsgBoxInformation, "BMOVE");
        EXPECT_EQ(messages.shown, std::vector<std::string>{"BMOVE|64|Zieladresse ist 0 "});
    }
    MsgBox("after", kMsgBoxInformation, "t");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Aurelix: Function Start in clsAurel Overflow\nt: after\n");
}

}  // namespace
}  // namespace aurelix::platform
