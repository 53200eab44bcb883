#pragma once

#include <cstdint>
#include <memory>

#include "aurelix/analysis/real_fft_kernels.h"

namespace aurelix::analysis {

// The magnitude spectrum of real transforms of one length: twiddle tables, work memory and
// the kernel for the processor, built once so that each run allocates nothing and
// evaluates no sine or cosine. A plan's work memory makes it usable by one thread at a time;
// ForLength keeps one set of plans per thread.
class RealFftPlan {
  public:
    // `length` a power of two, at least 2; `lanes` 1, 4 or 8 with Fits(length, lanes).
    // Invalid procedure call (5) otherwise.
    RealFftPlan(int32_t length, int32_t lanes);
    RealFftPlan(const RealFftPlan&) = delete;
    RealFftPlan& operator=(const RealFftPlan&) = delete;

    // Whether the kernel of `lanes` lanes runs here and can do transforms of `length`
    // (every lane needs a column of at least `lanes` points).
    static bool Fits(int32_t length, int32_t lanes);
    // The widest lane count that fits `length` on this processor.
    static int32_t LanesFor(int32_t length);
    // This thread's plan for `length`, built with LanesFor(length) lanes on first use.
    static RealFftPlan& ForLength(int32_t length);

    // |X[k]| / n for k = 0..n/2-1 of samples[0..n-1], X the discrete Fourier transform,
    // into magnitudes[0..n/2-1].
    void Run(const int16_t* samples, float* magnitudes) { kernel_(tables_, samples, magnitudes); }

  private:
    struct AlignedFree {
        void operator()(float* memory) const noexcept;
    };

    std::unique_ptr<float[], AlignedFree> memory_;
    RealFftTables tables_;
    RealFftKernel kernel_;
};

}  // namespace aurelix::analysis
