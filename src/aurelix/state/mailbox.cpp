#include "aurelix/state/mailbox.h"

namespace aurelix::state {

int32_t SendMailText(platform::HWND window, const std::string& text) {
    // Texts are plain 8-bit strings already; the message carries them as they are.
    return platform::SendMessageA(window, platform::WM_SETTEXT, 0,
                                  reinterpret_cast<platform::LPARAM>(text.c_str()));
}

int32_t SendMailKey(platform::HWND window, int32_t code) {
    return platform::SendMessageA(window, platform::WM_KEYUP, static_cast<platform::WPARAM>(code),
                                  0);
}

}  // namespace aurelix::state
