#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::analysis {

// The magnitude spectrum of one block: entry k of `spectrum` becomes |X[k]| / n for
// k = 0..n/2-1, X the discrete Fourier transform of samples(0..n-1) (bin k is k x the
// sample rate / n hertz), and the array is re-dimensioned to exactly 0..n/2-1.
//
// `table` is EngineState::BitReverse and must have been built for n (InitBitReverse); only
// its bounds are checked, the transform keeps its own ordering.
// Everything is checked before anything is written, so a failure leaves `spectrum` as it
// was: n not a power of two, or samples, table or spectrum not covering indexes 0..n-1,
// raise Subscript out of range (9); n = 1, for which no table can be built, raises
// Overflow (6).
void CalcSpectrum(const platform::BoundedArray<int16_t>& samples,
                  platform::BoundedArray<float>& spectrum,
                  const platform::BoundedArray<int32_t>& table, int32_t n);

}  // namespace aurelix::analysis
