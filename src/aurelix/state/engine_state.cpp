#include "aurelix/state/engine_state.h"

namespace aurelix::state {

EngineState& State() {
    thread_local EngineState state;
    return state;
}

timing::clsXTimer& Stopwatch() {
    auto& state = State();
    if (!state.Stopwatch) {
        state.Stopwatch = std::make_unique<timing::clsXTimer>();
    }
    return *state.Stopwatch;
}

}  // namespace aurelix::state
