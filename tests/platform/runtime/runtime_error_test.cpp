#include "aurelix/platform/runtime/runtime_error.h"

#include <gtest/gtest.h>

#include <string>

#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

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

}  // namespace
}  // namespace aurelix::platform
