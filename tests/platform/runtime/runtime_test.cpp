#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/ring_queue.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/runtime/variant.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using testing::ErrorNumberOf;
constexpr int32_t kLongMin = std::numeric_limits<int32_t>::min();

TEST(PassOn, ChainOfTwoTrappingProceduresReadsOutermostFirst) {
    std::string errorText;
    const auto error = aurelix::testing::CaughtError([&] {
        Trapped(errorText, "Sub Outer in clsAurel", [&] {
            Trapped(errorText, "Function Inner in Aurelix", [] { Raise(err::kDivisionByZero); });
        });
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 11);
    EXPECT_EQ(error->Source(), "Aurelix");
    EXPECT_EQ(error->Description(),
              "Sub Outer in clsAurel\r\nFunction Inner in Aurelix\r\nDivision by zero");
    // ErrorText holds what the outermost handler received.
    EXPECT_EQ(errorText, "Function Inner in Aurelix\r\nDivision by zero");
}

// Every way from a float to an integer rounds an exact half to the even neighbour.
TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    const struct {
        double value;
        int16_t expected;
    } cases[] = {
        {0.5, 0}, {1.5, 2},       {2.5, 2},    {-2.5, -2},       {-0.5, 0},
        {3.5, 4}, {2.5000001, 3}, {-1.49, -1}, {32766.5, 32766}, {-32768.5, -32768},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.value);
        EXPECT_EQ(RoundToInt32(item.value), item.expected);
        EXPECT_EQ(RoundToInt16(item.value), item.expected);
        EXPECT_EQ(Variant(item.value).ToLong(), item.expected);
        EXPECT_EQ(Variant(item.value).ToInteger(), item.expected);
        EXPECT_EQ(Variant(NumberText(item.value)).ToLong(), item.expected);
    }
}

// Overflow (6) and Division by zero (11) instead of wrapping; the extremes still fit.
TEST(Arithmetic, OutOfRangeRaisesOverflowAndTheExtremesFit) {
    EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_EQ(Variant(-2147483648.5).ToLong(), kLongMin);  // half to even stays in
    EXPECT_EQ(Variant(int32_t{-32768}).ToInteger(), -32768);
    EXPECT_EQ(CheckedAdd32(2147483646, 1), 2147483647);
    EXPECT_EQ(CheckedMul32(-65536, 32768), kLongMin);
    EXPECT_EQ(FloorToInt32(-0.5), -1);
    EXPECT_EQ(IntegerDivide(-7, 2), -3);
    // Infinity is not out of a Single's range: it is one of its values.
    EXPECT_TRUE(std::isinf(Variant(std::numeric_limits<double>::infinity()).ToSingle()));

    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(2147483647.5); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(-2147483649.0); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt32(std::nan("")); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { RoundToInt16(32767.5); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { FloorToInt32(2147483648.0); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant(int32_t{32768}).ToInteger(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Variant(1e300).ToSingle(); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CheckedAdd32(2147483647, 1); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CheckedSub32(kLongMin, 1); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { CheckedMul32(65536, 32768); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { IntegerDivide(kLongMin, -1); }), 6);
    EXPECT_EQ(ErrorNumberOf([] { Divide(1.0, 0.0); }), 11);
    EXPECT_EQ(ErrorNumberOf([] { IntegerDivide(7, 0); }), 11);
}

TEST(Variant, BooleansAreMinusOneAndComparisonFollowsTheRuntime) {
    EXPECT_EQ(Variant(false).ToString(), "False");
    EXPECT_TRUE(Variant(" true ").ToBoolean());
    EXPECT_FALSE(Variant("FALSE").ToBoolean());
    EXPECT_TRUE(Variant("2abc").ToBoolean());
    // Text stays text: a string literal must not turn into a Boolean.
    EXPECT_EQ(Variant("x").Type(), VariantType::String);

    EXPECT_EQ(Variant(5.0f), Variant(5));
    EXPECT_EQ(Variant(int16_t{-1}), Variant(true));
    EXPECT_EQ(Variant(), Variant(0));
    EXPECT_EQ(Variant(), Variant(""));
    EXPECT_NE(Variant("5"), Variant(5));
    EXPECT_NE(Variant("abc"), Variant("ABC"));
    EXPECT_NE(Variant(0.1f), Variant(0.1));  // a Single widens exactly, 0.1 is not 0.1f
    EXPECT_NE(Variant(std::nan("")), Variant(std::nan("")));
}

// LeadingNumber reads the longest leading number; NumberText writes plain decimals that
// read back exactly.
TEST(NumberText, IsPlainDecimalAndLeadingNumberReadsItBackExactly) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"  12abc", 12}, {"\t-3.5e2x", -350}, {"+7", 7}, {"1e+", 1},     {"2E-2", 0.02},
        {".5", 0.5},     {"-.5", -0.5},       {"5.", 5}, {"1.2.3", 1.2}, {"", 0},
        {".", 0},        {"- 5", 0},          {"e5", 0}, {"0x1F", 0},    {"1e-400", 0.0},
        {"007", 7},
    };
    for (const auto& item : cases)
        EXPECT_EQ(LeadingNumber(item.text), item.value) << item.text;
    EXPECT_EQ(LeadingNumberLength("  -1.5e3 rest"), 8u);
    EXPECT_EQ(ErrorNumberOf([] { LeadingNumber("-1e400"); }), 6);

    EXPECT_EQ(NumberText(0.1), "0.1");
    EXPECT_EQ(NumberText(0.1f), "0.1");
    EXPECT_EQ(NumberText(1e20), "100000000000000000000");
    EXPECT_EQ(NumberText(1e-7), "0.0000001");
    EXPECT_EQ(NumberText(std::nan("")), "NaN");
    EXPECT_EQ(NumberText(-std::numeric_limits<double>::infinity()), "-Infinity");
    for (double value :
         {1.0 / 3.0, -2.0 / 3.0 * 1e-300, 123456789.123456789e200,
          std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(), -0.0}) {
        EXPECT_EQ(LeadingNumber(NumberText(value)), value) << NumberText(value);
    }
    const float third = 1.0f / 3.0f;
    EXPECT_EQ(static_cast<float>(LeadingNumber(NumberText(third))), third) << NumberText(third);
}

TEST(BoundedArray, EveryAccessIsCheckedAndPreserveKeepsTheOverlap) {
    BoundedArray<int32_t> array;
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);  // not dimensioned yet
    EXPECT_EQ(ErrorNumberOf([] { BoundedArray<int>(5, 3); }), 9);
    array.ReDim(1, 100);
    array(1) = 7;
    EXPECT_EQ(array.Range(50, 100), array.data() + 49);
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array(101); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array.Range(1, 101); }), 9);

    array.ReDimPreserve(-1, 1);  // drops the top, adds below
    EXPECT_EQ(array.Count(), 3);
    EXPECT_EQ(array(-1), 0);
    EXPECT_EQ(array(1), 7);
    EXPECT_EQ(ErrorNumberOf([&] { array(2); }), 9);
    array.ReDim(0, 1);
    EXPECT_EQ(array(1), 0);
    array.Erase();
    EXPECT_FALSE(array.IsAllocated());
}

// Scripts of pushes (+n pushes n values), pops (-n) and erasures ('e': drop multiples of
// three) against a vector: wrapping, growing while wrapped and compacting keep the order
// of what is left.
TEST(RingQueue, KeepsItsOrderAcrossWrapsGrowthAndErasure) {
    auto multipleOfThree = [](int v) { return v % 3 == 0; };
    for (const char* script : {
             "+5 -3 +20 -10 +40 -50",          // grows while wrapped
             "+16 -8 +8 e -4 +30 e -20",       // erasure across the wrap point
             "+1 -1 +1 -1 +16 -16 +17 e -11",  // empty, full, one over
         }) {
        RingQueue<int> ring;
        std::vector<int> reference;
        int next = 0;
        std::istringstream ops(script);
        for (std::string op; ops >> op;) {
            if (op == "e") {
                ring.erase_if(multipleOfThree);
                std::erase_if(reference, multipleOfThree);
            }
            for (int n = op == "e" ? 0 : std::stoi(op.substr(1)); n > 0; --n) {
                if (op[0] == '+') {
                    ring.push_back(next);
                    reference.push_back(next++);
                } else {
                    ASSERT_EQ(ring.front(), reference.front());
                    ring.pop_front();
                    reference.erase(reference.begin());
                }
            }
            std::vector<int> contents;
            for (size_t i = 0; i < ring.size(); ++i)
                contents.push_back(ring[i]);
            ASSERT_EQ(contents, reference) << script << " after " << op;
            EXPECT_EQ(ring.any_of(multipleOfThree),
                      std::ranges::any_of(reference, multipleOfThree));
        }
    }
}

TEST(Clock, KnowsTheTimeOfDayAndTheLibrarysFolder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    // Within two seconds, also across midnight.
    const double difference = std::fabs(SecondsSinceMidnight() - expected);
    EXPECT_LT(std::min(difference, 86400.0 - difference), 2.0);
    // The library is linked statically into this test program.
    EXPECT_EQ(LibraryFolder(), std::filesystem::canonical("/proc/self/exe").parent_path());
}

// Without a handler a message box is one line on stderr, its line breaks turned to spaces.
TEST(MsgBox, WritesOneLineToStderrUnlessAHandlerIsSet) {
    ::testing::internal::CaptureStderr();
    {
        testing::CapturedMessages messages;
        MsgBox("Zieladresse ist 0 ", kMsgBoxInformation, "BMOVE");
    }
    MsgBox("Function Start in clsAurel\r\nOverflow", kMsgBoxCritical, "Aurelix");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Aurelix: Function Start in clsAurel Overflow\n");
}

}  // namespace
}  // namespace aurelix::platform
