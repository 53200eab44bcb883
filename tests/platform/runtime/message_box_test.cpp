#include "aurelix/platform/runtime/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace aurelix::platform {
namespace {

TEST(MsgBox, DefaultWritesOneLineToStderr) {
    ::testing::internal::CaptureStderr();
    MsgBox("Function Start in clsAurel\r\nOverflow", kMsgBoxCritical, "Aurelix");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Aurelix: Function Start in clsAurel Overflow\n");
}

TEST(MsgBox, ReplacedHandlerReceivesEverythingUntilRestored) {
    struct Shown {
        std::string text;
        int32_t style;
        std::string title;
    };
    std::vector<Shown> shown;
    const MessageBoxHandler previous =
        SetMessageBoxHandler([&](const std::string& text, int32_t style, const std::string& title) {
            shown.push_back({text, style, title});
        });
    ::testing::internal::CaptureStderr();
    MsgBox("Zieladresse ist 0 ", kMsgBoxInformation, "BMOVE");
    const MessageBoxHandler ours = SetMessageBoxHandler(previous);
    MsgBox("after", kMsgBoxInformation, "t");
    const std::string printed = ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Zieladresse ist 0 ");
    EXPECT_EQ(shown[0].style, 64);
    EXPECT_EQ(shown[0].title, "BMOVE");
    EXPECT_TRUE(static_cast<bool>(ours));
    EXPECT_EQ(printed, "t: after\n");
}

}  // namespace
}  // namespace aurelix::platform
