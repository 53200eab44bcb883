#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "aurelix/platform/windows/window.h"

namespace aurelix::platform {

// A hidden text box: a message window whose default procedure stores its text and runs
// the change handler when WM_SETTEXT changes it, and runs the key-up handler on WM_KEYUP
// with the key code and shift state passed by reference. Owner thread only. The window's
// user data points at the text box.
class TextBox {
  public:
    using ChangeHandler = std::function<void()>;
    using KeyUpHandler = std::function<void(int16_t& keyCode, int16_t& shift)>;

    TextBox();
    ~TextBox();
    TextBox(const TextBox&) = delete;
    TextBox& operator=(const TextBox&) = delete;

    HWND hwnd() const noexcept { return window_; }
    const std::string& Text() const noexcept { return text_; }
    // Sets the text through WM_SETTEXT, so the current window procedure sees it.
    void SetText(const std::string& text);

    void OnChange(ChangeHandler handler) { onChange_ = std::move(handler); }
    void OnKeyUp(KeyUpHandler handler) { onKeyUp_ = std::move(handler); }

  private:
    static LRESULT DefaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = 0;
    std::string text_;
    ChangeHandler onChange_;
    KeyUpHandler onKeyUp_;
};

}  // namespace aurelix::platform
