#pragma once

#include <cstdint>

#include "aurelix/platform/windows/label.h"

namespace aurelix::state {

// Colours of the status lamp shared by the engine and the capture pipeline.
inline constexpr int32_t kLampReady = platform::RGB(0, 175, 0);       // timer-paced, idle
inline constexpr int32_t kLampPaused = platform::RGB(127, 0, 0);      // also: capture open
inline constexpr int32_t kLampClosed = platform::RGB(127, 127, 127);  // reset or hook removed
inline constexpr int32_t kLampPlaybackOpen = platform::RGB(0, 0, 127);

// Sets the lamp's colour and repaints it. The lamp is optional: without one nothing
// happens, as the lamp statements skip a missing object.
void ShowLamp(int32_t colour);

}  // namespace aurelix::state
