#include "aurelix/capture/window_proc_timer.h"

#include <atomic>

#include "aurelix/analysis/analyze.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::capture {
namespace {

// What the timer's thread may see of the owning thread: EngineState itself is only
// touched by its own thread.
struct TimerTarget {
    const std::atomic<bool>* analysisBusy = nullptr;
    platform::HWND timerWindow = 0;
};

}  // namespace

void TimerProc(uint32_t /*timerId*/, uint32_t /*message*/, uintptr_t user, uintptr_t /*reserved1*/,
               uintptr_t /*reserved2*/) {
    const auto* target = reinterpret_cast<const TimerTarget*>(user);
    if (!target->analysisBusy->load()) {
        platform::PostMessageA(target->timerWindow, kTimerTickMessage, kTimerTickWord, 0);
    }
}

uintptr_t TimerProcTarget() {
    thread_local TimerTarget target;
    auto& state = state::State();
    target = {&state.AnalysisBusy, state.TimerWindow};
    return reinterpret_cast<uintptr_t>(&target);
}

platform::LRESULT WindowProcTimer(platform::HWND /*window*/, platform::UINT message,
                                  platform::WPARAM wParam, platform::LPARAM /*lParam*/) {
    auto& state = state::State();
    try {
        if (message == kTimerTickMessage && wParam == kTimerTickWord && !state.AnalysisBusy) {
            analysis::Analyze(state.BlocksDone, 0);
        }
    } catch (const platform::RuntimeError& error) {
        state.SubclassMark = error.Number();
        SubClassTimer(0);
    }
    return 0;
}

}  // namespace aurelix::capture
