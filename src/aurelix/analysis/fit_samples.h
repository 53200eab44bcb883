#pragma once

#include <cstdint>

namespace aurelix::analysis {

// The block length to use for the requested length `n` under the analysis flags: 0 means
// 1024; with the FFT bit (value 2) set the length moves to the nearest power of two on a
// logarithmic scale (2^round(ln n / ln 2)), otherwise it is kept. With the FFT bit set a
// negative length raises Invalid procedure call (5), one whose power of two does not fit
// 32 bits raises Overflow (6).
int32_t FitSamples(int32_t n, int32_t analysis);

}  // namespace aurelix::analysis
