#pragma once

// The real transform written once for any lane count. Only the kernel units include this,
// after their standard headers and under their own target options; everything here has
// internal linkage, so each unit gets its own copy compiled for its instruction set. A
// lane type L supplies the vector type F, its int32 twin I, kCount lanes and the vector
// operations (Load, Store, Splat, Reverse, Sqrt, LoadPairs, and for more than one lane
// Transpose and Dft across kCount vectors).

#include <cstdint>

#include "aurelix/analysis/real_fft_kernels.h"

namespace aurelix::analysis {
namespace {

// (re, im) *= (wr, wi)
template <class F>
inline void Rotate(F& re, F& im, F wr, F wi) {
    const F rotatedRe = re * wr - im * wi;
    im = re * wi + im * wr;
    re = rotatedRe;
}

// The 4-point transform of (a, b, c, d) in place, in natural order.
template <class F>
inline void Dft4(F& aRe, F& aIm, F& bRe, F& bIm, F& cRe, F& cIm, F& dRe, F& dIm) {
    const F apcRe = aRe + cRe, apcIm = aIm + cIm;
    const F amcRe = aRe - cRe, amcIm = aIm - cIm;
    const F bpdRe = bRe + dRe, bpdIm = bIm + dIm;
    const F bmdRe = bRe - dRe, bmdIm = bIm - dIm;
    aRe = apcRe + bpdRe;
    aIm = apcIm + bpdIm;
    bRe = amcRe + bmdIm;
    bIm = amcIm - bmdRe;
    cRe = apcRe - bpdRe;
    cIm = apcIm - bpdIm;
    dRe = amcRe - bmdIm;
    dIm = amcIm + bmdRe;
}

// The first stage reads the samples straight: point j of the complex input is
// x[2j] + i x[2j+1].
template <class L>
struct SampleSource {
    const int16_t* samples;
    void Get(int32_t point, typename L::F& re, typename L::F& im) const {
        L::LoadPairs(samples + 2 * point, re, im);
    }
};

template <class L>
struct WorkSource {
    const float* re;
    const float* im;
    void Get(int32_t point, typename L::F& outRe, typename L::F& outIm) const {
        outRe = L::Load(re + point);
        outIm = L::Load(im + point);
    }
};

// One radix-4 decimation-in-frequency Stockham stage: element t of sub-transform p sits at
// q + stride * (p + t * quarter), output r goes to q + stride * (4p + r), for q below
// `stride` (a multiple of the lane count, so every lane is its own column).
template <class L, bool kTwiddled, class Source>
void Radix4Stage(const Source& x, float* yRe, float* yIm, int32_t quarter, int32_t stride,
                 const float* twiddles) {
    using F = typename L::F;
    const int32_t span = quarter * stride;
    for (int32_t p = 0; p < quarter; ++p) {
        F w1Re{}, w1Im{}, w2Re{}, w2Im{}, w3Re{}, w3Im{};
        if constexpr (kTwiddled) {
            const float* w = twiddles + 6 * p;
            w1Re = L::Splat(w[0]);
            w1Im = L::Splat(w[1]);
            w2Re = L::Splat(w[2]);
            w2Im = L::Splat(w[3]);
            w3Re = L::Splat(w[4]);
            w3Im = L::Splat(w[5]);
        }
        const int32_t in = p * stride;
        float* outRe = yRe + 4 * in;
        float* outIm = yIm + 4 * in;
        for (int32_t q = 0; q < stride; q += L::kCount) {
            F aRe, aIm, bRe, bIm, cRe, cIm, dRe, dIm;
            x.Get(in + q, aRe, aIm);
            x.Get(in + span + q, bRe, bIm);
            x.Get(in + 2 * span + q, cRe, cIm);
            x.Get(in + 3 * span + q, dRe, dIm);
            const F apcRe = aRe + cRe, apcIm = aIm + cIm;
            const F amcRe = aRe - cRe, amcIm = aIm - cIm;
            const F bpdRe = bRe + dRe, bpdIm = bIm + dIm;
            const F bmdRe = bRe - dRe, bmdIm = bIm - dIm;
            const F out0Re = apcRe + bpdRe, out0Im = apcIm + bpdIm;
            F out1Re = amcRe + bmdIm, out1Im = amcIm - bmdRe;  // (a - c) - i (b - d)
            F out2Re = apcRe - bpdRe, out2Im = apcIm - bpdIm;
            F out3Re = amcRe - bmdIm, out3Im = amcIm + bmdRe;  // (a - c) + i (b - d)
            if constexpr (kTwiddled) {
                Rotate(out1Re, out1Im, w1Re, w1Im);
                Rotate(out2Re, out2Im, w2Re, w2Im);
                Rotate(out3Re, out3Im, w3Re, w3Im);
            }
            L::Store(outRe + q, out0Re);
            L::Store(outIm + q, out0Im);
            L::Store(outRe + stride + q, out1Re);
            L::Store(outIm + stride + q, out1Im);
            L::Store(outRe + 2 * stride + q, out2Re);
            L::Store(outIm + 2 * stride + q, out2Im);
            L::Store(outRe + 3 * stride + q, out3Re);
            L::Store(outIm + 3 * stride + q, out3Im);
        }
    }
}

// The radix-2 stage that ends an odd number of halvings (length 2, no twiddles).
template <class L, class Source>
void Radix2Stage(const Source& x, float* yRe, float* yIm, int32_t stride) {
    using F = typename L::F;
    for (int32_t q = 0; q < stride; q += L::kCount) {
        F aRe, aIm, bRe, bIm;
        x.Get(q, aRe, aIm);
        x.Get(stride + q, bRe, bIm);
        L::Store(yRe + q, aRe + bRe);
        L::Store(yIm + q, aIm + bIm);
        L::Store(yRe + stride + q, aRe - bRe);
        L::Store(yIm + stride + q, aIm - bIm);
    }
}

template <class L, class Source>
void RunStage(const Source& x, float* yRe, float* yIm, int32_t length, int32_t stride,
              const float* twiddles) {
    if (length >= 8) {
        Radix4Stage<L, true>(x, yRe, yIm, length / 4, stride, twiddles);
    } else if (length == 4) {
        Radix4Stage<L, false>(x, yRe, yIm, 1, stride, twiddles);
    } else if (length == 2) {
        Radix2Stage<L>(x, yRe, yIm, stride);
    } else {
        // A one-point column: the transform is the input.
        typename L::F re, im;
        x.Get(0, re, im);
        L::Store(yRe, re);
        L::Store(yIm, im);
    }
}

// Transforms all columns; returns which work pair (0 or 1) holds the result, in natural
// order: point k1 of column j2 at k1 * lanes + j2.
template <class L>
int32_t TransformColumns(const RealFftTables& tables, const int16_t* samples) {
    int32_t length = tables.columnLength;
    int32_t stride = L::kCount;
    const float* twiddles = tables.stageTwiddles;
    RunStage<L>(SampleSource<L>{samples}, tables.work[0], tables.work[1], length, stride, twiddles);
    int32_t result = 0;
    while (length > 2) {  // the stage just run was radix-4
        twiddles += 6 * (length / 4);
        length /= 4;
        stride *= 4;
        if (length == 1) {
            break;
        }
        const WorkSource<L> source{tables.work[2 * result], tables.work[2 * result + 1]};
        result = 1 - result;
        RunStage<L>(source, tables.work[2 * result], tables.work[2 * result + 1], length, stride,
                    twiddles);
    }
    return result;
}

// Twiddles the column results, transposes lanes-by-lanes blocks and finishes with the
// lanes-point transform across columns: X[k1 + M k2] lands at z[k1 + M k2].
template <class L>
void FinishAcrossColumns(const RealFftTables& tables, const float* bRe, const float* bIm,
                         float* zRe, float* zIm) {
    using F = typename L::F;
    constexpr int32_t kLanes = L::kCount;
    const int32_t columnLength = tables.columnLength;
    for (int32_t block = 0; block < columnLength; block += kLanes) {
        F re[kLanes], im[kLanes];
        for (int32_t row = 0; row < kLanes; ++row) {
            const int32_t at = (block + row) * kLanes;
            re[row] = L::Load(bRe + at);
            im[row] = L::Load(bIm + at);
            Rotate(re[row], im[row], L::Load(tables.columnTwiddlesRe + at),
                   L::Load(tables.columnTwiddlesIm + at));
        }
        L::Transpose(re);
        L::Transpose(im);
        L::Dft(re, im);
        for (int32_t k2 = 0; k2 < kLanes; ++k2) {
            L::Store(zRe + k2 * columnLength + block, re[k2]);
            L::Store(zIm + k2 * columnLength + block, im[k2]);
        }
    }
}

// From Z, the N-point transform of the even and odd samples packed as z, to the magnitudes
// of the real transform: with E = Z[k] + conj Z[N-k] and O = -i (Z[k] - conj Z[N-k]) (twice
// the transforms of the even and of the odd samples), X[k] = (E + W^k O) / 2 and
// X[N-k] = conj(E - W^k O) / 2, W = exp(-2 pi i / n). Bins k and N-k come from one block.
template <class L>
void SplitMagnitudes(const RealFftTables& tables, const float* zRe, const float* zIm,
                     float* magnitudes) {
    using F = typename L::F;
    constexpr int32_t kLanes = L::kCount;
    const int32_t half = tables.length / 2;  // N
    // 1 / (2n) is a power of two: scaling by it adds no rounding.
    const float scale = 0.5f / float(tables.length);
    magnitudes[0] = __builtin_fabsf(zRe[0] + zIm[0]) * (2.0f * scale);
    const F scales = L::Splat(scale);
    // N/2 is a multiple of the lane count, so the last block ends at bin N/2 exactly.
    for (int32_t k = 1; k <= half / 2; k += kLanes) {
        const int32_t mirror = half - k - (kLanes - 1);
        const F zkRe = L::Load(zRe + k), zkIm = L::Load(zIm + k);
        const F conjRe = L::Reverse(L::Load(zRe + mirror));
        const F conjIm = -L::Reverse(L::Load(zIm + mirror));
        const F evenRe = zkRe + conjRe, evenIm = zkIm + conjIm;
        const F diffRe = zkRe - conjRe, diffIm = zkIm - conjIm;
        // W^k O with O = (diffIm, -diffRe)
        const F wRe = L::Load(tables.splitTwiddlesRe + k);
        const F wIm = L::Load(tables.splitTwiddlesIm + k);
        const F oddRe = wRe * diffIm + wIm * diffRe;
        const F oddIm = wIm * diffIm - wRe * diffRe;
        const F sumRe = evenRe + oddRe, sumIm = evenIm + oddIm;
        const F subRe = evenRe - oddRe, subIm = evenIm - oddIm;
        L::Store(magnitudes + k, L::Sqrt(sumRe * sumRe + sumIm * sumIm) * scales);
        L::Store(magnitudes + mirror, L::Reverse(L::Sqrt(subRe * subRe + subIm * subIm) * scales));
    }
}

template <class L>
void RunRealFft(const RealFftTables& tables, const int16_t* samples, float* magnitudes) {
    const int32_t result = TransformColumns<L>(tables, samples);
    const float* bRe = tables.work[2 * result];
    const float* bIm = tables.work[2 * result + 1];
    if constexpr (L::kCount > 1) {
        float* zRe = tables.work[2 * (1 - result)];
        float* zIm = tables.work[2 * (1 - result) + 1];
        FinishAcrossColumns<L>(tables, bRe, bIm, zRe, zIm);
        SplitMagnitudes<L>(tables, zRe, zIm, magnitudes);
    } else {
        SplitMagnitudes<L>(tables, bRe, bIm, magnitudes);
    }
}

}  // namespace
}  // namespace aurelix::analysis
