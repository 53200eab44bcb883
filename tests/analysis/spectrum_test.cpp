#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <vector>

#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/block_measures.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/fit_samples.h"
#include "aurelix/analysis/peaks.h"
#include "aurelix/analysis/zero_cross.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

namespace err = aurelix::platform::err;
using aurelix::platform::BoundedArray;
using aurelix::state::State;
using aurelix::testing::ErrorNumberOf;

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
        return ErrorNumberOf([&] { CalcSpectrum(input, output, indexes, length); });
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

std::vector<int32_t> TableEntries() {
    const auto& table = State().BitReverse;
    std::vector<int32_t> entries;
    for (int32_t i = table.Lower(); i <= table.Upper(); ++i) {
        entries.push_back(table(i));
    }
    return entries;
}

TEST(ReverseBitsTest, ReversesTheLowestBitsDropsTheRestAndNeedsOneTo31Bits) {
    EXPECT_EQ(ReverseBits(1, 10), 512);
    EXPECT_EQ(ReverseBits(6, 3), 3);
    EXPECT_EQ(ReverseBits(5, 3), 5);
    EXPECT_EQ(ReverseBits(13, 2), 2);
    EXPECT_EQ(ReverseBits(1, 31), 1 << 30);
    // No bits, or a result beyond 32 bits, is an overflow.
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(0, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(5, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(1, 32); }), err::kOverflow);
}

FRESH_TEST(InitBitReverseTest, BuildsThePermutationForTheLength) {
    EXPECT_EQ(State().BitReverseSize, 0);
    InitBitReverse(8, 0);
    EXPECT_EQ(State().BitReverseSize, 8);
    EXPECT_EQ(State().BitReverse.Lower(), 0);
    EXPECT_EQ(TableEntries(), (std::vector<int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));

    InitBitReverse(8, 2);  // explicit bits: only the lowest two are reversed
    EXPECT_EQ(TableEntries(), (std::vector<int32_t>{0, 2, 1, 3, 0, 2, 1, 3}));

    InitBitReverse(1000, 0);  // bits = round(log2 1000) = 10
    EXPECT_EQ(State().BitReverseSize, 1000);
    EXPECT_EQ(State().BitReverse.Upper(), 999);
    EXPECT_EQ(State().BitReverse(1), 512);
    EXPECT_EQ(State().BitReverse(999), ReverseBits(999, 10));
}

FRESH_TEST(InitBitReverseTest, FailuresKeepTheOldTable) {
    InitBitReverse(4, 0);
    const std::vector<int32_t> before = TableEntries();
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(1, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, 256); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, -1); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(0, 0); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(-8, 3); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(TableEntries(), before);
    EXPECT_EQ(State().BitReverseSize, 4);
}

std::vector<float> Listed(const platform::BoundedArray<float>& peaks) {
    return {peaks.data(), peaks.data() + peaks.Count()};
}

FRESH_TEST(GetPeaks, ListsBinsStrictlyAboveTheLevelWithTheirMagnitudes) {
    state::State().ThresholdLevel = 160;
    platform::BoundedArray<float> spectrum(0, 511);
    spectrum(0) = 5000.0f;  // the mean is never listed
    spectrum(10) = 300.5f;
    spectrum(11) = 161.0f;
    spectrum(12) = 160.0f;  // at the level: not above it
    platform::BoundedArray<float> peaks(0, 40);
    EXPECT_EQ(GetPeaks(spectrum, peaks), 2);
    EXPECT_EQ(Listed(peaks), (std::vector<float>{0.0f, -10.0f, 300.5f, -11.0f, 161.0f}));
    EXPECT_FALSE(state::State().PeaksBusy);

    spectrum(10) = spectrum(11) = 0.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 0);
    EXPECT_EQ(Listed(peaks), std::vector<float>{0.0f});
}

FRESH_TEST(GetPeaks, ANegativeLevelListsEveryBinButTheMean) {
    state::State().ThresholdLevel = -320;
    platform::BoundedArray<float> spectrum(0, 3);
    spectrum(2) = 4.0f;
    platform::BoundedArray<float> peaks;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 3);
    EXPECT_EQ(Listed(peaks), (std::vector<float>{0, -1, 0, -2, 4, -3, 0}));
}

FRESH_TEST(GetPeaks, AFailureIsPassedOnAndLeavesPeaksBusy) {
    platform::BoundedArray<float> peaks;
    EXPECT_EQ(
        aurelix::testing::ErrorTextOf([&] { GetPeaks(platform::BoundedArray<float>(), peaks); }),
        "Function GetPeaks in Aurelix\r\nSubscript out of range");
    EXPECT_TRUE(state::State().PeaksBusy);
    GetPeaks(platform::BoundedArray<float>(0, 1), peaks);
    EXPECT_FALSE(state::State().PeaksBusy);
}

TEST(MaxBin, KeepsTheFirstOfEqualMaximaInAnyLaneAndTheTail) {
    platform::BoundedArray<float> spectrum(0, 20);
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 0);  // all zero
    spectrum(0) = 900.0f;                   // outside the range
    spectrum(13) = spectrum(5) = spectrum(19) = 7.0f;
    spectrum(20) = 6.0f;
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 5);
    EXPECT_EQ(MaxBin(spectrum, 6, 20), 13);
    EXPECT_EQ(MaxBin(spectrum, 14, 20), 19);
    spectrum(20) = 7.5f;
    EXPECT_EQ(MaxBin(spectrum, 1, 20), 20);
    EXPECT_EQ(MaxBin(spectrum, 0, 20), 0);
    EXPECT_THROW(MaxBin(spectrum, 1, 21), platform::RuntimeError);
}

TEST(MaxSample, LowersLastToTheBlockAndNeverGoesBelowZero) {
    platform::BoundedArray<int16_t> block(0, 2);
    block(0) = -30000;
    block(1) = -2;
    EXPECT_EQ(MaxSample(block, 1024), 0);
    block(2) = 11;
    EXPECT_EQ(MaxSample(block, 1024), 11);
    EXPECT_EQ(MaxSample(block, 1), 0);
    EXPECT_EQ(MaxSample(block, -1), 0);
}

struct FitCase {
    int32_t requested;
    int32_t analysis;
    int32_t expected;
};

TEST(FitSamplesTest, ZeroMeansDefaultLengthOnlyTheFftBitRoundsAndBadLengthsRaise) {
    const FitCase cases[] = {
        {0, 0, 1024},     {0, 3, 1024},     {1000, 1, 1000},   {1000, 0, 1000},  {1000, 4, 1000},
        {1000, 33, 1000}, {-7, 1, -7},      {1000, 3, 1024},   {1449, 19, 2048}, {1448, 3, 1024},
        {3000, 7, 4096},  {5000, 11, 4096}, {44100, 3, 32768}, {700, 3, 512},    {1536, 3, 2048},
        {1, 3, 1},        {2, 2, 2},        {65536, 3, 65536},
    };
    for (const FitCase& c : cases) {
        EXPECT_EQ(FitSamples(c.requested, c.analysis), c.expected)
            << "FitSamples(" << c.requested << ", " << c.analysis << ")";
    }
    // Lengths without a logarithm or a power of two in range raise.
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(-5, 3); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(std::numeric_limits<int32_t>::max(), 3); }),
              err::kOverflow);
}

// A block of +-100 whose sign flips after each index of `flips` (a crossing at each).
platform::BoundedArray<int16_t> SignFlips(int32_t n, const std::vector<int32_t>& flips) {
    platform::BoundedArray<int16_t> block(0, n - 1);
    int16_t value = 100;
    for (int32_t i = 0, next = 0; i < n; ++i) {
        block(i) = value;
        if (next < int32_t(flips.size()) && flips[size_t(next)] == i) {
            value = int16_t(-value);
            ++next;
        }
    }
    return block;
}

std::vector<int16_t> Kept(const platform::BoundedArray<int16_t>& positions) {
    return {positions.data() + 1, positions.data() + positions.Count()};
}

FRESH_TEST(ZeroCrossFrequency, DropsCrossingsCloserThanHalfTheMeanSpacing) {
    state::State().SampleRate = 11025;
    platform::BoundedArray<int16_t> positions;
    // Mean spacing 30: 11 and 111, one sample after a kept crossing, are glitches.
    const double hz = ZeroCrossFrequency(SignFlips(200, {10, 11, 60, 110, 111, 160}), positions);
    EXPECT_EQ(Kept(positions), (std::vector<int16_t>{10, 60, 110, 160}));
    EXPECT_DOUBLE_EQ(hz, 3.0 / (150.0 / 11025) / 2.0);
}

FRESH_TEST(ZeroCrossFrequency, KeepsNoCrossingAtZeroAndStopsAfterAThousand) {
    state::State().SampleRate = 8000;
    platform::BoundedArray<int16_t> positions;
    EXPECT_EQ(ZeroCrossFrequency(SignFlips(100, {0, 50}), positions), 0.0);
    EXPECT_EQ(Kept(positions), std::vector<int16_t>{50});
    // 1200 crossings at every sample, then slow ones that must not count.
    std::vector<int32_t> flips;
    for (int32_t i = 0; i < 1200; ++i)
        flips.push_back(i);
    for (int32_t i = 1300; i < 4000; i += 100)
        flips.push_back(i);
    EXPECT_DOUBLE_EQ(ZeroCrossFrequency(SignFlips(4096, flips), positions), 4000.0);
    EXPECT_EQ(positions.Upper(), 999);
}

}  // namespace
}  // namespace aurelix::analysis
