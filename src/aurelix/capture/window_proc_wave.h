#pragma once

#include "aurelix/platform/windows/window.h"

namespace aurelix::capture {

// Nested calls of WindowProcWave beyond this depth are dropped unseen.
inline constexpr int32_t kMaxCallbackDepth = 20;

// The wave window's procedure while hooked: handles the six device notifications on the
// owning thread. A filled capture buffer is counted and time-stamped, and while Status is
// 7 handed back to the device (loop method 1) before it is copied, recorded and analysed;
// a played-out playback buffer is refilled from the file and queued again. Every message
// is consumed and gives 0. An error removes the hook and greys the lamp; it is not
// passed on.
platform::LRESULT WindowProcWave(platform::HWND window, platform::UINT message,
                                 platform::WPARAM wParam, platform::LPARAM lParam);

}  // namespace aurelix::capture
