#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

// Message windows and the per-thread message queue.
//
// A window belongs to the thread that created it. Its procedure runs only on that thread:
// synchronously from SendMessageA, or from that thread's DoEvents / RunMessageLoop for
// posted messages. PostMessageA may be called from any thread (device drivers and the
// multimedia timer use it); it never runs the procedure itself.
namespace aurelix::platform {

using HWND = uint32_t;  // non-zero for a live window; handles are never reused
using UINT = uint32_t;
using WPARAM = uint32_t;  // 32-bit word parameter
using LPARAM = intptr_t;  // pointer-sized: carries header addresses
using LRESULT = int32_t;

using WindowProc = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline constexpr int GWL_WNDPROC = -4;
inline constexpr int GWL_USERDATA = -21;

inline constexpr UINT WM_SETTEXT = 12;  // lParam: const char* (NUL-terminated)
inline constexpr UINT WM_GETTEXT = 13;  // wParam: capacity, lParam: char* buffer
inline constexpr UINT WM_GETTEXTLENGTH = 14;
inline constexpr UINT WM_KEYUP = 257;  // wParam: key code (low 16 bits), lParam: 0

// Creates a window owned by the calling thread whose messages go to `procedure` until
// SetWindowLongA replaces it. Returns its handle, or 0 for a null procedure. A thread's
// windows are destroyed when it ends.
HWND CreateMessageWindow(WindowProc procedure);
// Destroys a window; its pending posted messages are dropped. Returns false for an
// unknown handle or when called from a thread other than the owner.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);

// GWL_WNDPROC: installs `newProcedure` and returns the previous one; returns nullptr and
// changes nothing when refused (unknown window, other thread, null procedure).
WindowProc SetWindowLongA(HWND window, int index, WindowProc newProcedure);
// Per-window pointer for the procedures' own use (GWL_USERDATA).
void SetWindowUserData(HWND window, void* data);
void* GetWindowUserData(HWND window);

// The window's default procedure: keeps the text for WM_SETTEXT / WM_GETTEXT /
// WM_GETTEXTLENGTH and returns 0 for everything else. Text boxes layer on top of it.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the window's current procedure now, on the calling thread, and returns its
// result; re-entrant. Returns 0 for an unknown window or one owned by another thread.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues a message for the window's owner thread; safe from any thread. Returns false
// for an unknown window.
bool PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Queues `task(context)` to run on the thread that owns `window`, in order with the
// messages posted to that thread; safe from any thread. Returns false for an unknown
// window. Lets a driver do work on the owner's thread without waking another one.
using ThreadTask = void (*)(LPARAM context);
bool PostThreadTask(HWND window, ThreadTask task, LPARAM context);

// Dispatches the calling thread's posted messages that were pending when it was called,
// and the ticks of its UI timers that are due, then returns the number dispatched.
// Safe to call from inside a window procedure (nested dispatch).
int DoEvents();

// The host's message loop: dispatches messages and timer ticks as they come, sleeping in
// between, until `done()` returns true (checked after each dispatch and wake-up) or
// `timeout` has passed. Returns true when `done()` ended it.
bool RunMessageLoop(const std::function<bool()>& done,
                    std::optional<std::chrono::steady_clock::duration> timeout = std::nullopt);

// Wakes a RunMessageLoop of the given thread's queue so it re-checks `done()`; used by
// code that changes state from another thread. Safe from any thread.
void WakeMessageLoop(HWND anyWindowOfThatThread);

}  // namespace aurelix::platform
