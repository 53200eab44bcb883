#include "aurelix/platform/runtime/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/captured_messages.h"

namespace aurelix::platform {
namespace {

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
