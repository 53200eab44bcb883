// The 8-lane kernel, compiled for AVX2 and FMA and run only where CpuHasEightLanes() says
// the processor has them. Standard headers come before the target switch so that their
// inline functions keep the baseline instruction set.
#include <cstdint>

#include "aurelix/analysis/real_fft_kernels.h"

#if defined(__x86_64__)

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif

#include "aurelix/analysis/real_fft_kernel_body.h"

namespace aurelix::analysis {
namespace {

struct EightLanes {
    static constexpr int32_t kCount = 8;
    using F = float __attribute__((vector_size(32)));
    using I = int32_t __attribute__((vector_size(32)));
    using U = uint32_t __attribute__((vector_size(32)));

    static F Load(const float* from) {
        F value;
        __builtin_memcpy(&value, from, sizeof value);
        return value;
    }
    static void Store(float* to, F value) { __builtin_memcpy(to, &value, sizeof value); }
    static F Splat(float value) { return F{} + value; }
    static F Reverse(F value) {
        return __builtin_shufflevector(value, value, 7, 6, 5, 4, 3, 2, 1, 0);
    }
    static F Sqrt(F value) { return __builtin_ia32_sqrtps256(value); }
    // Eight (even, odd) sample pairs: the even sample is the low half of each 32-bit word.
    static void LoadPairs(const int16_t* samples, F& even, F& odd) {
        I words;
        __builtin_memcpy(&words, samples, sizeof words);
        even = __builtin_convertvector(I(U(words) << 16) >> 16, F);
        odd = __builtin_convertvector(words >> 16, F);
    }
    // Unpack within 128-bit halves, then 64-bit pairs, then swap halves.
    static void Transpose(F (&rows)[kCount]) {
        F t[kCount], s[kCount];
        for (int32_t pair = 0; pair < kCount; pair += 2) {
            t[pair] = __builtin_shufflevector(rows[pair], rows[pair + 1], 0, 8, 1, 9, 4, 12, 5, 13);
            t[pair + 1] =
                __builtin_shufflevector(rows[pair], rows[pair + 1], 2, 10, 3, 11, 6, 14, 7, 15);
        }
        for (int32_t quad = 0; quad < kCount; quad += 4) {
            s[quad] = __builtin_shufflevector(t[quad], t[quad + 2], 0, 1, 8, 9, 4, 5, 12, 13);
            s[quad + 1] = __builtin_shufflevector(t[quad], t[quad + 2], 2, 3, 10, 11, 6, 7, 14, 15);
            s[quad + 2] =
                __builtin_shufflevector(t[quad + 1], t[quad + 3], 0, 1, 8, 9, 4, 5, 12, 13);
            s[quad + 3] =
                __builtin_shufflevector(t[quad + 1], t[quad + 3], 2, 3, 10, 11, 6, 7, 14, 15);
        }
        for (int32_t row = 0; row < 4; ++row) {
            rows[row] = __builtin_shufflevector(s[row], s[row + 4], 0, 1, 2, 3, 8, 9, 10, 11);
            rows[row + 4] = __builtin_shufflevector(s[row], s[row + 4], 4, 5, 6, 7, 12, 13, 14, 15);
        }
    }
    // Two 4-point transforms (even and odd inputs) joined with the powers of
    // exp(-i pi / 4).
    static void Dft(F (&re)[kCount], F (&im)[kCount]) {
        Dft4(re[0], im[0], re[2], im[2], re[4], im[4], re[6], im[6]);
        Dft4(re[1], im[1], re[3], im[3], re[5], im[5], re[7], im[7]);
        const F root = Splat(0.70710678118654752f);
        const F evenRe[4] = {re[0], re[2], re[4], re[6]};
        const F evenIm[4] = {im[0], im[2], im[4], im[6]};
        const F oddRe[4] = {re[1], (re[3] + im[3]) * root, im[5], (im[7] - re[7]) * root};
        const F oddIm[4] = {im[1], (im[3] - re[3]) * root, -re[5], -(re[7] + im[7]) * root};
        for (int32_t k = 0; k < 4; ++k) {
            re[k] = evenRe[k] + oddRe[k];
            im[k] = evenIm[k] + oddIm[k];
            re[k + 4] = evenRe[k] - oddRe[k];
            im[k + 4] = evenIm[k] - oddIm[k];
        }
    }
};

}  // namespace

void RealFftEightLanes(const RealFftTables& tables, const int16_t* samples, float* magnitudes) {
    RunRealFft<EightLanes>(tables, samples, magnitudes);
}

}  // namespace aurelix::analysis

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
