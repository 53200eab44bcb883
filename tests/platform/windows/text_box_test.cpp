#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aurelix/platform/windows/text_box.h"

namespace aurelix::platform {
namespace {

TEST(TextBoxTest, ChangeHandlerRunsOnlyWhenTheTextChanges) {
    TextBox box;
    std::vector<std::string> seen;
    box.OnChange([&] { seen.push_back(box.Text()); });
    box.SetText("start");
    box.SetText("start");
    box.SetText("closed");
    EXPECT_EQ(seen, (std::vector<std::string>{"start", "closed"}));

    char buffer[16] = {};
    SendMessageA(box.hwnd(), WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    EXPECT_STREQ(buffer, "closed");
}

TEST(TextBoxTest, HandlerThatClearsTheTextRunsOnceMoreWithTheEmptyText) {
    TextBox box;
    std::vector<std::string> seen;
    box.OnChange([&] {
        seen.push_back(box.Text());
        box.SetText("");
    });
    box.SetText("triggers");
    box.SetText("triggers");  // sent twice in a row: cleared in between, so it counts again
    EXPECT_EQ(seen, (std::vector<std::string>{"triggers", "", "triggers", ""}));
    EXPECT_EQ(box.Text(), "");
}

TEST(TextBoxTest, KeyUpPassesTheLow16BitsAsKeyCodeAndNoShift) {
    TextBox box;
    std::vector<std::pair<int16_t, int16_t>> seen;
    box.OnKeyUp([&](int16_t& keyCode, int16_t& shift) { seen.emplace_back(keyCode, shift); });
    SendMessageA(box.hwnd(), WM_KEYUP, 256 + 3, 0);
    SendMessageA(box.hwnd(), WM_KEYUP, 0x18001, 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(int16_t{259}, int16_t{0}));
    EXPECT_EQ(seen[1], std::make_pair(int16_t{-32767}, int16_t{0}));
}

WindowProc boxProcedure = nullptr;
int intercepted = 0;

// Swallows "ignored", passes everything else on to the text box.
LRESULT Filter(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && std::string(reinterpret_cast<const char*>(lParam)) == "ignored") {
        ++intercepted;
        return 0;
    }
    return boxProcedure(window, message, wParam, lParam);
}

TEST(TextBoxTest, ReplacedProcedureSeesTheMessagesFirst) {
    intercepted = 0;
    TextBox box;
    int changes = 0;
    box.OnChange([&] { ++changes; });
    boxProcedure = SetWindowLongA(box.hwnd(), GWL_WNDPROC, Filter);
    ASSERT_NE(boxProcedure, nullptr);

    box.SetText("ignored");
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(box.Text(), "");
    box.SetText("start");
    EXPECT_EQ(box.Text(), "start");
    EXPECT_EQ(changes, 1);

    SetWindowLongA(box.hwnd(), GWL_WNDPROC, boxProcedure);
    box.SetText("ignored");
    EXPECT_EQ(intercepted, 1);
    EXPECT_EQ(box.Text(), "ignored");
    EXPECT_EQ(changes, 2);
}

}  // namespace
}  // namespace aurelix::platform
