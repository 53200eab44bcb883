#include "aurelix/analysis/fit_samples.h"

#include "aurelix/analysis/power_of_two.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {

namespace {
constexpr int32_t kFftBit = 2;
constexpr int32_t kDefaultLength = 1024;
constexpr int32_t kLargestExponent = 30;
}  // namespace

int32_t FitSamples(int32_t n, int32_t analysis) {
    if (n == 0) {
        n = kDefaultLength;
    }
    if ((analysis & kFftBit) == 0) {
        return n;
    }
    const int32_t exponent = RoundedLog2(n);
    if (exponent > kLargestExponent) {
        platform::Raise(platform::err::kOverflow);
    }
    return int32_t{1} << exponent;
}

}  // namespace aurelix::analysis
