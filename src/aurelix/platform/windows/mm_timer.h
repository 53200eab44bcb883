#pragma once

#include <cstdint>

// The multimedia timer: a periodic callback on the process's timer thread, paced against
// absolute steady-clock deadlines so that it does not drift.
namespace aurelix::platform {

using MMRESULT = uint32_t;
using TimerCallback = void (*)(uint32_t timerId, uint32_t message, uintptr_t user,
                               uintptr_t reserved1, uintptr_t reserved2);

inline constexpr uint32_t TIME_ONESHOT = 0;
inline constexpr uint32_t TIME_PERIODIC = 1;

// Starts a timer that calls `callback` every `delayMs` ms (once with TIME_ONESHOT); a late
// callback is followed by at most one catch-up call. Ids are never reused.
// `resolutionMs` is accepted and not needed. Returns a non-zero id, or 0 when refused
// (delay 0, no callback, unknown flags).
uint32_t timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback,
                      uintptr_t user, uint32_t flags);
// Stops the timer: no callback starts after it returns, and a running one has finished
// (unless called from that callback). Returns 0, or 11 (invalid parameter) for an
// unknown id.
MMRESULT timeKillEvent(uint32_t timerId);

}  // namespace aurelix::platform
