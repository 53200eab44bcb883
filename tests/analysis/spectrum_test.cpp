#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
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

template <class T>
std::vector<T> Entries(const BoundedArray<T>& array, int32_t from = 0) {
    return {array.data() + from, array.data() + array.Count()};
}

// Every failure is found before anything is written.
FRESH_TEST(CalcSpectrumTest, BadLengthsAndShortArraysRaiseAndLeaveTheSpectrum) {
    const int32_t n = 64;
    InitBitReverse(n, 0);
    const BoundedArray<int32_t>& table = State().BitReverse;
    const BoundedArray<int16_t> samples(0, n - 1);
    BoundedArray<float> spectrum(0, 2 * n);
    spectrum(5) = 42.0f;
    const BoundedArray<float> before = spectrum;
    const BoundedArray<int16_t> shortSamples(0, n - 2), shiftedSamples(1, n);
    const BoundedArray<int32_t> shortTable(0, n - 2), noTable;
    const std::tuple<const BoundedArray<int16_t>&, const BoundedArray<int32_t>&, int32_t> bad[] = {
        {samples, table, 0},      {samples, table, -64},      {samples, table, 3},
        {samples, table, 48},     {samples, table, 1000},     {samples, table, 2 * n},
        {shortSamples, table, n}, {shiftedSamples, table, n}, {samples, shortTable, n},
        {samples, noTable, n},
    };
    for (const auto& [input, indexes, length] : bad) {
        EXPECT_EQ(ErrorNumberOf([&] { CalcSpectrum(input, spectrum, indexes, length); }),
                  err::kSubscriptOutOfRange)
            << "n " << length;
    }
    EXPECT_EQ(ErrorNumberOf([&] { CalcSpectrum(samples, spectrum, table, 1); }), err::kOverflow);
    EXPECT_EQ(spectrum, before);
    BoundedArray<float> shortSpectrum(0, n - 2), unallocated;
    for (BoundedArray<float>* output : {&shortSpectrum, &unallocated}) {
        const BoundedArray<float> untouched = *output;
        EXPECT_EQ(ErrorNumberOf([&] { CalcSpectrum(samples, *output, table, n); }),
                  err::kSubscriptOutOfRange);
        EXPECT_EQ(*output, untouched);
    }
}

FRESH_TEST(BitReverse, ReversesTheLowestBitsAndFailuresKeepTheOldTable) {
    EXPECT_EQ(ReverseBits(1, 31), 1 << 30);
    // No bits, or a result beyond 32 bits, is an overflow.
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(5, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(1, 32); }), err::kOverflow);

    InitBitReverse(8, 2);  // explicit bits: only the lowest two are reversed
    EXPECT_EQ(Entries(State().BitReverse), (std::vector<int32_t>{0, 2, 1, 3, 0, 2, 1, 3}));
    InitBitReverse(1000, 0);  // bits = round(log2 1000) = 10
    EXPECT_EQ(State().BitReverseSize, 1000);
    EXPECT_EQ(State().BitReverse.Upper(), 999);
    EXPECT_EQ(State().BitReverse(999), ReverseBits(999, 10));
    InitBitReverse(8, 0);
    const std::vector<int32_t> table = {0, 4, 2, 6, 1, 5, 3, 7};
    EXPECT_EQ(Entries(State().BitReverse), table);

    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(1, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, 256); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, -1); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(0, 0); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(-8, 3); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(Entries(State().BitReverse), table);
    EXPECT_EQ(State().BitReverseSize, 8);
}

// Pairs of (-bin, magnitude) after entry 0, for bins strictly above the level; never bin 0.
FRESH_TEST(GetPeaks, ListsBinsStrictlyAboveTheLevelOrFailsLeavingPeaksBusy) {
    State().ThresholdLevel = 160;
    BoundedArray<float> spectrum(0, 511);
    spectrum(0) = 5000.0f;
    spectrum(10) = 300.5f;
    spectrum(11) = 161.0f;
    spectrum(12) = 160.0f;
    BoundedArray<float> peaks(0, 40);
    EXPECT_EQ(GetPeaks(spectrum, peaks), 2);
    EXPECT_EQ(Entries(peaks), (std::vector<float>{0.0f, -10.0f, 300.5f, -11.0f, 161.0f}));
    EXPECT_FALSE(State().PeaksBusy);
    spectrum(10) = spectrum(11) = 0.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 0);
    EXPECT_EQ(Entries(peaks), std::vector<float>{0.0f});

    State().ThresholdLevel = -320;  // every bin but the mean
    spectrum.ReDim(0, 3);
    spectrum(2) = 4.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 3);
    EXPECT_EQ(Entries(peaks), (std::vector<float>{0, -1, 0, -2, 4, -3, 0}));

    EXPECT_EQ(aurelix::testing::ErrorTextOf([&] { GetPeaks(BoundedArray<float>(), peaks); }),
              "Function GetPeaks in Aurelix\r\nSubscript out of range");
    EXPECT_TRUE(State().PeaksBusy);
    GetPeaks(BoundedArray<float>(0, 1), peaks);
    EXPECT_FALSE(State().PeaksBusy);
}

TEST(MaxBin, KeepsTheFirstOfEqualMaximaInAnyLaneAndTheTail) {
    BoundedArray<float> spectrum(0, 20);
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
    BoundedArray<int16_t> block(0, 2);
    block(0) = -30000;
    block(1) = -2;
    EXPECT_EQ(MaxSample(block, 1024), 0);
    block(2) = 11;
    EXPECT_EQ(MaxSample(block, 1024), 11);
    EXPECT_EQ(MaxSample(block, 1), 0);
    EXPECT_EQ(MaxSample(block, -1), 0);
}

// Zero means the default length; only the FFT bit rounds to a power of two.
TEST(FitSamplesTest, ZeroMeansDefaultLengthOnlyTheFftBitRoundsAndBadLengthsRaise) {
    const std::tuple<int32_t, int32_t, int32_t> cases[] = {
        {0, 0, 1024},  {0, 3, 1024},      {1000, 1, 1000},  {1000, 33, 1000},
        {-7, 1, -7},   {1000, 3, 1024},   {1449, 19, 2048}, {1448, 3, 1024},
        {700, 3, 512}, {44100, 3, 32768}, {1, 3, 1},        {65536, 3, 65536},
    };
    for (const auto& [requested, analysis, expected] : cases) {
        EXPECT_EQ(FitSamples(requested, analysis), expected)
            << "FitSamples(" << requested << ", " << analysis << ")";
    }
    // Lengths without a logarithm or a power of two in range raise.
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(-5, 3); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([&] { FitSamples(std::numeric_limits<int32_t>::max(), 3); }),
              err::kOverflow);
}

// A block of +-100 whose sign flips after each index of `flips` (a crossing at each).
BoundedArray<int16_t> SignFlips(int32_t n, const std::vector<int32_t>& flips) {
    BoundedArray<int16_t> block(0, n - 1);
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

// Crossings closer than half the mean spacing to a kept one are dropped, one at sample 0 is
// never kept, and counting stops after a thousand.
FRESH_TEST(ZeroCrossFrequency, DropsCloseCrossingsAndStopsAfterAThousand) {
    State().SampleRate = 11025;
    BoundedArray<int16_t> positions;
    // Mean spacing 30: 11 and 111, one sample after a kept crossing, are glitches.
    const double hz = ZeroCrossFrequency(SignFlips(200, {10, 11, 60, 110, 111, 160}), positions);
    EXPECT_EQ(Entries(positions, 1), (std::vector<int16_t>{10, 60, 110, 160}));
    EXPECT_DOUBLE_EQ(hz, 3.0 / (150.0 / 11025) / 2.0);

    State().SampleRate = 8000;
    EXPECT_EQ(ZeroCrossFrequency(SignFlips(100, {0, 50}), positions), 0.0);
    EXPECT_EQ(Entries(positions, 1), std::vector<int16_t>{50});
    // A sample at exactly 0 is a crossing with either neighbour.
    BoundedArray<int16_t> throughZero = SignFlips(100, {50});
    throughZero(50) = 0;
    ZeroCrossFrequency(throughZero, positions);
    EXPECT_EQ(Entries(positions, 1), (std::vector<int16_t>{49, 50}));
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
