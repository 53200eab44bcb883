#include "aurelix/analysis/real_fft_kernels.h"

#include <bit>
#include <cstdint>

#include "aurelix/analysis/real_fft_kernel_body.h"
#include "aurelix/platform/runtime/runtime_error.h"

namespace aurelix::analysis {

static_assert(std::endian::native == std::endian::little,
              "the sample pairs are split as the low and high halves of 32-bit words");

namespace {

// Plain floats: for transforms too short to fill vectors.
struct OneLane {
    static constexpr int32_t kCount = 1;
    using F = float;

    static F Load(const float* from) { return *from; }
    static void Store(float* to, F value) { *to = value; }
    static F Splat(float value) { return value; }
    static F Reverse(F value) { return value; }
    static F Sqrt(F value) { return __builtin_sqrtf(value); }
    static void LoadPairs(const int16_t* samples, F& even, F& odd) {
        even = samples[0];
        odd = samples[1];
    }
};

// Four lanes: SSE2 on x86-64, the baseline every such processor has.
struct FourLanes {
    static constexpr int32_t kCount = 4;
    using F = float __attribute__((vector_size(16)));
    using I = int32_t __attribute__((vector_size(16)));
    using U = uint32_t __attribute__((vector_size(16)));

    static F Load(const float* from) {
        F value;
        __builtin_memcpy(&value, from, sizeof value);
        return value;
    }
    static void Store(float* to, F value) { __builtin_memcpy(to, &value, sizeof value); }
    static F Splat(float value) { return F{} + value; }
    static F Reverse(F value) { return __builtin_shufflevector(value, value, 3, 2, 1, 0); }
    static F Sqrt(F value) {
#if defined(__SSE__)
        return __builtin_ia32_sqrtps(value);
#else
        for (int32_t lane = 0; lane < kCount; ++lane) {
            value[lane] = __builtin_sqrtf(value[lane]);
        }
        return value;
#endif
    }
    // Four (even, odd) sample pairs: the even sample is the low half of each 32-bit word.
    static void LoadPairs(const int16_t* samples, F& even, F& odd) {
        I words;
        __builtin_memcpy(&words, samples, sizeof words);
        even = __builtin_convertvector(I(U(words) << 16) >> 16, F);
        odd = __builtin_convertvector(words >> 16, F);
    }
    static void Transpose(F (&rows)[kCount]) {
        const F t0 = __builtin_shufflevector(rows[0], rows[1], 0, 4, 1, 5);
        const F t1 = __builtin_shufflevector(rows[0], rows[1], 2, 6, 3, 7);
        const F t2 = __builtin_shufflevector(rows[2], rows[3], 0, 4, 1, 5);
        const F t3 = __builtin_shufflevector(rows[2], rows[3], 2, 6, 3, 7);
        rows[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
        rows[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
        rows[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
        rows[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
    }
    static void Dft(F (&re)[kCount], F (&im)[kCount]) {
        Dft4(re[0], im[0], re[1], im[1], re[2], im[2], re[3], im[3]);
    }
};

}  // namespace

void RealFftOneLane(const RealFftTables& tables, const int16_t* samples, float* magnitudes) {
    RunRealFft<OneLane>(tables, samples, magnitudes);
}

void RealFftFourLanes(const RealFftTables& tables, const int16_t* samples, float* magnitudes) {
    RunRealFft<FourLanes>(tables, samples, magnitudes);
}

bool CpuHasEightLanes() {
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

RealFftKernel KernelForLanes(int32_t lanes) {
    switch (lanes) {
        case 1:
            return RealFftOneLane;
        case 4:
            return RealFftFourLanes;
#if defined(__x86_64__)
        case 8:
            if (CpuHasEightLanes()) {
                return RealFftEightLanes;
            }
            break;
#endif
        default:
            break;
    }
    platform::Raise(platform::err::kInvalidCall);
}

}  // namespace aurelix::analysis
