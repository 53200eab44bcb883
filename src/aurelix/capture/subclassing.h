#pragma once

#include <cstdint>

namespace aurelix::capture {

// Hooks the wave window (EngineState::WaveWindow) with WindowProcWave for Mode 1 and
// restores its own procedure for any other Mode (which also greys the lamp). Returns true
// when this call installed the hook. Installing twice raises 1001 "Subclassing is already
// active!"; a refused install raises 1001 "Subclassing failed!".
bool SubClassWaveIn(int32_t Mode);

// The same for the timer window (EngineState::TimerWindow) and WindowProcTimer; a refused
// install raises 1002. Removal leaves the lamp alone.
bool SubClassTimer(int32_t Mode);

// SubclassMark after a removal or a failed install.
inline constexpr int32_t kHooksRemoved = -9999;

}  // namespace aurelix::capture
