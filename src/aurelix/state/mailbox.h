#pragma once

#include <cstdint>
#include <string>

#include "aurelix/platform/windows/window.h"

namespace aurelix::state {

// The two synchronous channels to the control's mailbox window: a message word set as the
// window's text (WM_SETTEXT), and a 16-bit code sent as a key-up (WM_KEYUP). The control's
// handlers, and the host's event handlers behind them, run before these return.
int32_t SendMailText(platform::HWND window, const std::string& text);
int32_t SendMailKey(platform::HWND window, int32_t code);

}  // namespace aurelix::state
