#include "aurelix/capture/subclassing.h"

#include <string>
#include <string_view>

#include "aurelix/capture/window_proc_timer.h"
#include "aurelix/capture/window_proc_wave.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/lamp.h"

namespace aurelix::capture {
namespace {

using platform::HWND;
using platform::WindowProc;

// What differs between the two hooks.
struct Hook {
    HWND& window;
    WindowProc& oldProc;
    WindowProc newProc;
    int32_t refusedError;
    std::string_view raisedContext;
    std::string_view handlerContext;
    bool greysLamp;
};

bool Subclass(const Hook& hook, int32_t Mode) {
    auto& state = state::State();
    return platform::Trapped(state.ErrorText, hook.handlerContext, [&] {
        if (Mode == 1) {
            if (hook.oldProc != nullptr) {
                platform::Raise(
                    platform::err::kSubclassingWave,
                    std::string(hook.raisedContext) + "\r\nSubclassing is already active!");
            }
            hook.oldProc =
                platform::SetWindowLongA(hook.window, platform::GWL_WNDPROC, hook.newProc);
            if (hook.oldProc != nullptr) {
                state.SubclassMark = 0;
                return true;
            }
            hook.window = 0;
            state.SubclassMark = kHooksRemoved;
            platform::Raise(hook.refusedError,
                            std::string(hook.raisedContext) + "\r\nSubclassing failed!");
        }
        if (hook.oldProc != nullptr) {
            platform::SetWindowLongA(hook.window, platform::GWL_WNDPROC, hook.oldProc);
        }
        hook.oldProc = nullptr;
        hook.window = 0;
        if (hook.greysLamp) {
            state::ShowLamp(state::kLampClosed);
        }
        state.SubclassMark = kHooksRemoved;
        return false;
    });
}

}  // namespace

bool SubClassWaveIn(int32_t Mode) {
    auto& state = state::State();
    return Subclass(
        {state.WaveWindow, state.OldWaveProc, &WindowProcWave, platform::err::kSubclassingWave,
         "Function SubClassWaveIn in Aurelix", "Sub SubClassWaveIn in Aurelix", true},
        Mode);
}

bool SubClassTimer(int32_t Mode) {
    auto& state = state::State();
    return Subclass(
        {state.TimerWindow, state.OldTimerProc, &WindowProcTimer, platform::err::kSubclassingTimer,
         "Function SubClassTimer in Aurelix", "Function SubClassTimer in Aurelix", false},
        Mode);
}

}  // namespace aurelix::capture
