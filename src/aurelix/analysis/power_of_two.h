#pragma once

#include <cmath>
#include <cstdint>

#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {

// round(ln n / ln 2), the number of radix-2 stages of a transform of length n. The natural
// logarithm of a length below 1 is an invalid call (5), as the runtime's Log raises it.
inline int32_t RoundedLog2(int32_t n) {
    if (n <= 0) {
        platform::Raise(platform::err::kInvalidCall);
    }
    return platform::RoundToInt32(std::log(double(n)) / std::log(2.0));
}

inline bool IsPowerOfTwo(int32_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace aurelix::analysis
