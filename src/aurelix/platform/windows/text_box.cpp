#include "aurelix/platform/windows/text_box.h"

#include <string>
#include <utility>

namespace aurelix::platform {

TextBox::TextBox() : window_(CreateMessageWindow(&TextBox::DefaultProcedure)) {
    SetWindowUserData(window_, this);
}

TextBox::~TextBox() {
    DestroyWindow(window_);
}

void TextBox::SetText(const std::string& text) {
    SendMessageA(window_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

LRESULT TextBox::DefaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* box = static_cast<TextBox*>(GetWindowUserData(window));
    if (box == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case WM_SETTEXT: {
            const auto* newText = reinterpret_cast<const char*>(lParam);
            std::string text = newText == nullptr ? "" : newText;
            LRESULT result = DefWindowProcA(window, message, wParam, lParam);
            if (text == box->text_)
                return result;
            box->text_ = std::move(text);
            // Handlers may set the text again or replace themselves: run a copy.
            ChangeHandler onChange = box->onChange_;
            if (onChange)
                onChange();
            return result;
        }
        case WM_KEYUP: {
            auto keyCode = static_cast<int16_t>(wParam & 0xFFFF);
            int16_t shift = 0;
            KeyUpHandler onKeyUp = box->onKeyUp_;
            if (onKeyUp)
                onKeyUp(keyCode, shift);
            return 0;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace aurelix::platform
