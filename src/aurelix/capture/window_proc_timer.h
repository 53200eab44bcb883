#pragma once

#include <cstdint>

#include "aurelix/platform/windows/window.h"

namespace aurelix::capture {

// The tick the multimedia timer posts to the timer window.
inline constexpr platform::UINT kTimerTickMessage = 951;
inline constexpr platform::WPARAM kTimerTickWord = 65;

// The multimedia timer's callback. Runs on the timer's thread: while the owning thread's
// analysis is not busy it posts one tick to that thread's timer window, nothing more.
// `user` must come from TimerProcTarget() of the thread that starts the timer.
void TimerProc(uint32_t timerId, uint32_t message, uintptr_t user, uintptr_t reserved1,
               uintptr_t reserved2);

// The user value for timeSetEvent with TimerProc: the calling thread's AnalysisBusy flag
// and its current timer window, taken now. Call it only while none of this thread's
// timers runs (just before starting one), as the callback reads what it refers to.
uintptr_t TimerProcTarget();

// The timer window's procedure while hooked: a tick runs the analysis (buffer 0: the
// analysis picks the buffer) unless one is running. Every message is consumed and gives
// 0; an error removes the timer hook, which also mutes the wave hook.
platform::LRESULT WindowProcTimer(platform::HWND window, platform::UINT message,
                                  platform::WPARAM wParam, platform::LPARAM lParam);

}  // namespace aurelix::capture
