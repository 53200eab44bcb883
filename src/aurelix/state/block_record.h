#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::state {

// One ring buffer's record: which block it holds, when it arrived and went back to the
// device, whether it was analysed, and its samples split by channel.
struct BlockRecord {
    int32_t BlockNumber = 0;
    double CaptureTime = 0.0;  // seconds since Start
    double RequeueTime = 0.0;  // seconds since Start (loop method 1)
    int16_t Analyzed = 0;      // 0 or -1
    platform::BoundedArray<int16_t> Left;
    platform::BoundedArray<int16_t> Right;  // two channels only
};

}  // namespace aurelix::state
