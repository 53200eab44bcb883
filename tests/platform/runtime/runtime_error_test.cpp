#include "aurelix/platform/runtime/runtime_error.h"

#include <gtest/gtest.h>

#include <string>

namespace aurelix::platform {
namespace {

TEST(RuntimeError, CarriesNumberSourceAndStandardDescription) {
    const RuntimeError error(err::kSubscriptOutOfRange);
    EXPECT_EQ(error.Number(), 9);
    EXPECT_EQ(error.Source(), "Aurelix");
    EXPECT_EQ(error.Description(), "Subscript out of range");
    EXPECT_STREQ(error.what(), "Subscript out of range");
}

TEST(RuntimeError, EveryNumberTheSystemRaisesHasItsOwnText) {
    const std::string generic(StandardDescription(12345));
    for (int32_t number : {5, 6, 9, 11, 52, 53, 75, 91, 382, 387, 424, 1001, 1002, 1051}) {
        SCOPED_TRACE(number);
        EXPECT_NE(StandardDescription(number), generic);
        EXPECT_FALSE(StandardDescription(number).empty());
    }
    EXPECT_EQ(StandardDescription(1051), "Wavedevice cannot be opened!");
    EXPECT_EQ(StandardDescription(6), "Overflow");
    EXPECT_EQ(StandardDescription(11), "Division by zero");
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
    try {
        Outer(errorText);
        FAIL() << "no error raised";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Number(), 11);
        EXPECT_EQ(error.Source(), "Aurelix");
        EXPECT_EQ(error.Description(),
                  "Sub Outer in clsAurel\r\nFunction Inner in Aurelix\r\nDivision by zero");
        // ErrorText holds what the outermost handler received.
        EXPECT_EQ(errorText, "Function Inner in Aurelix\r\nDivision by zero");
    }
}

TEST(PassOn, TrappedReturnsTheBodysValueWhenNothingFails) {
    std::string errorText = "untouched";
    EXPECT_EQ(Trapped(errorText, "ctx", [] { return 42; }), 42);
    EXPECT_EQ(errorText, "untouched");
}

}  // namespace
}  // namespace aurelix::platform
