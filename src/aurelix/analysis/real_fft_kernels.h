#pragma once

#include <cstdint>

namespace aurelix::analysis {

// The precomputed tables and working memory of one real transform of length n = 2N, done as
// an N-point complex transform of z[j] = x[2j] + i x[2j+1]. The complex transform treats z
// as `lanes` interleaved columns of M = N / lanes points (z[lanes * j1 + j2] is point j1 of
// column j2): a radix-4 Stockham transform runs down all columns at once, one vector lane per
// column; a pass then twiddles, transposes and finishes with a `lanes`-point transform across
// the columns; a last pass splits the half-length result into the real spectrum and takes
// magnitudes. All pointers are 64-byte aligned; arrays of complex values are split into a
// real and an imaginary array.
struct RealFftTables {
    int32_t length = 0;        // n
    int32_t lanes = 0;         // 1, 4 or 8
    int32_t columnLength = 0;  // M
    // Radix-4 stages in the order they run (M, M/4, ... points per column): for each p below
    // a quarter of the stage's length, W^p, W^2p, W^3p with W = exp(-2 pi i / length), as
    // re, im pairs.
    const float* stageTwiddles = nullptr;
    // exp(-2 pi i j2 k1 / N) at k1 * lanes + j2, for k1 < M, j2 < lanes.
    const float* columnTwiddlesRe = nullptr;
    const float* columnTwiddlesIm = nullptr;
    // exp(-2 pi i k / n) for k = 0..N/2.
    const float* splitTwiddlesRe = nullptr;
    const float* splitTwiddlesIm = nullptr;
    // Two complex work arrays of N points: re, im, re, im.
    float* work[4] = {};
};

// Magnitudes |X[k]| / n of bins 0..n/2-1 of the n samples, written to `magnitudes`.
using RealFftKernel = void (*)(const RealFftTables& tables, const int16_t* samples,
                               float* magnitudes);

// The kernel for a lane count; 8 lanes only where CpuHasEightLanes() is true.
RealFftKernel KernelForLanes(int32_t lanes);
// True when this processor runs the 8-lane kernel (x86-64 with AVX2 and FMA).
bool CpuHasEightLanes();

// One kernel per lane count (the 8-lane one is compiled for AVX2 and FMA).
void RealFftOneLane(const RealFftTables& tables, const int16_t* samples, float* magnitudes);
void RealFftFourLanes(const RealFftTables& tables, const int16_t* samples, float* magnitudes);
void RealFftEightLanes(const RealFftTables& tables, const int16_t* samples, float* magnitudes);

}  // namespace aurelix::analysis
