#include "aurelix/analysis/bit_reverse.h"

#include <utility>

#include "aurelix/analysis/power_of_two.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::analysis {

using platform::CheckedAdd32;
using platform::CheckedMul32;
using platform::Raise;
namespace err = platform::err;

int32_t ReverseBits(int32_t i, uint8_t bits) {
    if (bits == 0) {
        Raise(err::kOverflow);
    }
    int32_t reversed = 0;
    for (uint8_t bit = 0; bit < bits; ++bit) {
        reversed = CheckedAdd32(CheckedMul32(reversed, 2), i & 1);
        i /= 2;
    }
    return reversed;
}

void InitBitReverse(int32_t n, int32_t bits) {
    if (bits == 0) {
        bits = RoundedLog2(n);
    }
    if (bits < 0 || bits > 255) {
        Raise(err::kOverflow);
    }
    platform::BoundedArray<int32_t> table(0, n - 1);
    int32_t* entries = table.Range(0, n - 1);
    for (int32_t i = 0; i < n; ++i) {
        entries[i] = ReverseBits(i, static_cast<uint8_t>(bits));
    }
    state::EngineState& state = state::State();
    state.BitReverse = std::move(table);
    state.BitReverseSize = n;
}

}  // namespace aurelix::analysis
