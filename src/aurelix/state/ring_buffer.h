#pragma once

#include <cstdint>

#include "aurelix/state/engine_state.h"

namespace aurelix::state {

// The first sample of ring buffer b, after checking that its first `count` samples
// exist (Subscript out of range, 9, if not), so that a block can be moved in one go.
inline int16_t* RingSamples(state::EngineState& state, int32_t b, int32_t count) {
    int16_t* first = state.BufferData.Address(0, b);
    if (count > 1) {
        state.BufferData.Address(count - 1, b);
    }
    return first;
}

}  // namespace aurelix::state
