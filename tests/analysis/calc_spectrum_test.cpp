#include "aurelix/analysis/calc_spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"

namespace {

using aurelix::analysis::CalcSpectrum;
using aurelix::analysis::InitBitReverse;
using aurelix::platform::BoundedArray;
using aurelix::platform::RuntimeError;
using aurelix::state::State;
using aurelix::testing::OnFreshThread;
namespace err = aurelix::platform::err;

BoundedArray<int16_t> Block(int32_t n, auto&& sample) {
    BoundedArray<int16_t> samples(0, n - 1);
    for (int32_t i = 0; i < n; ++i) {
        samples(i) = int16_t(sample(i));
    }
    return samples;
}

// The spectrum of `samples` as the analysis computes it: table built for n, spectrum
// allocated 0..2n.
BoundedArray<float> SpectrumOf(const BoundedArray<int16_t>& samples, int32_t n) {
    InitBitReverse(n, 0);
    BoundedArray<float> spectrum(0, 2 * n);
    CalcSpectrum(samples, spectrum, State().BitReverse, n);
    return spectrum;
}

FRESH_TEST(CalcSpectrumTest, AConstantIsItsMagnitudeInBinZeroOnly) {
    for (int32_t n : {2, 4, 8, 64, 1024, 65536}) {
        for (int32_t c : {-32768, -1, 0, 7, 32767}) {
            const BoundedArray<float> spectrum =
                SpectrumOf(Block(n, [c](int32_t) { return c; }), n);
            EXPECT_EQ(spectrum(0), float(std::abs(c))) << "n " << n << ", c " << c;
            for (int32_t k = 1; k < n / 2; ++k) {
                ASSERT_EQ(spectrum(k), 0.0f) << "n " << n << ", c " << c << ", bin " << k;
            }
        }
    }
}

FRESH_TEST(CalcSpectrumTest, AFullScaleSineOnABinIsHalfItsAmplitudeThere) {
    const int32_t n = 1024;
    auto eightCycles = [](int32_t i) {
        return std::lround(32767.0 * std::sin(2.0 * std::numbers::pi * 8.0 * i / n));
    };
    const BoundedArray<float> spectrum = SpectrumOf(Block(n, eightCycles), n);
    // Rounding the samples moves each by at most 0.5, so each bin by at most 0.5.
    EXPECT_NEAR(spectrum(8), 32767.0 / 2.0, 0.5);
    for (int32_t k = 0; k < n / 2; ++k) {
        if (k != 8) {
            ASSERT_LE(spectrum(k), 0.5f) << "bin " << k;
        }
    }
}

FRESH_TEST(CalcSpectrumTest, TheSpectrumEndsAtHalfTheLengthWhateverItsSizeBefore) {
    const int32_t n = 1024;
    InitBitReverse(n, 0);
    const BoundedArray<int16_t> samples = Block(n, [](int32_t i) { return i % 7 - 3; });
    BoundedArray<float> expected(0, n - 1);
    CalcSpectrum(samples, expected, State().BitReverse, n);
    for (auto [lower, upper] : {std::pair{0, n - 1}, {0, 2 * n}, {-3, 5000}}) {
        BoundedArray<float> spectrum(lower, upper);
        CalcSpectrum(samples, spectrum, State().BitReverse, n);
        EXPECT_EQ(spectrum.Lower(), 0);
        EXPECT_EQ(spectrum.Upper(), n / 2 - 1);
        EXPECT_EQ(spectrum, expected) << "entry bounds " << lower << ".." << upper;
    }
}

// Every failure is found before anything is written.
FRESH_TEST(CalcSpectrumTest, BadLengthsAndShortArraysRaiseAndLeaveTheSpectrum) {
    const int32_t n = 64;
    InitBitReverse(n, 0);
    const BoundedArray<int32_t>& table = State().BitReverse;
    const BoundedArray<int16_t> samples = Block(n, [](int32_t i) { return 100 * i; });
    BoundedArray<float> spectrum(0, 2 * n);
    spectrum(5) = 42.0f;
    const BoundedArray<float> before = spectrum;
    auto errorOf = [&](const BoundedArray<int16_t>& input, BoundedArray<float>& output,
                       const BoundedArray<int32_t>& indexes, int32_t length) {
        try {
            CalcSpectrum(input, output, indexes, length);
        } catch (const RuntimeError& error) {
            return error.Number();
        }
        return 0;
    };

    for (int32_t length : {0, -64, 3, 48, 1000}) {
        EXPECT_EQ(errorOf(samples, spectrum, table, length), err::kSubscriptOutOfRange)
            << "n " << length;
    }
    EXPECT_EQ(errorOf(samples, spectrum, table, 1), err::kOverflow);
    EXPECT_EQ(errorOf(samples, spectrum, table, 2 * n), err::kSubscriptOutOfRange);

    const BoundedArray<int16_t> shortSamples = Block(n - 1, [](int32_t) { return 1; });
    BoundedArray<int16_t> shiftedSamples(1, n);
    BoundedArray<int32_t> shortTable(0, n - 2);
    EXPECT_EQ(errorOf(shortSamples, spectrum, table, n), err::kSubscriptOutOfRange);
    EXPECT_EQ(errorOf(shiftedSamples, spectrum, table, n), err::kSubscriptOutOfRange);
    EXPECT_EQ(errorOf(samples, spectrum, shortTable, n), err::kSubscriptOutOfRange);
    EXPECT_EQ(errorOf(samples, spectrum, BoundedArray<int32_t>{}, n), err::kSubscriptOutOfRange);
    EXPECT_EQ(spectrum, before);

    BoundedArray<float> shortSpectrum(0, n - 2);
    const BoundedArray<float> shortBefore = shortSpectrum;
    EXPECT_EQ(errorOf(samples, shortSpectrum, table, n), err::kSubscriptOutOfRange);
    EXPECT_EQ(shortSpectrum, shortBefore);
    BoundedArray<float> unallocated;
    EXPECT_EQ(errorOf(samples, unallocated, table, n), err::kSubscriptOutOfRange);
    EXPECT_FALSE(unallocated.IsAllocated());
}

}  // namespace
