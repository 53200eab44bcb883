// The fast transform against the literal one (the oracle) and both against FFTW in double
// precision, for every length from 2 to 65536 and every kernel this processor runs.
#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/literal_spectrum.h"
#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/real_fft_plan.h"
#include "aurelix/platform/runtime/bounded_array.h"

namespace {

using aurelix::analysis::RealFftPlan;
using aurelix::platform::BoundedArray;

// Float rounding, relative to the block's largest magnitude.
constexpr double kTolerance = 4e-7;

// Noise, a full-scale tone on a bin and one between bins, a constant and silence.
std::vector<BoundedArray<int16_t>> Blocks(int32_t n) {
    std::mt19937 generator{uint32_t(n)};
    std::uniform_int_distribution<int32_t> noise(-32768, 32767);
    const double bin = std::max(n / 8, 1);
    auto tone = [n](int32_t i, double cycles, double amplitude, double phase) {
        return std::lround(amplitude * std::sin(2.0 * std::numbers::pi * cycles * i / n + phase));
    };
    std::vector<BoundedArray<int16_t>> blocks(5, BoundedArray<int16_t>(0, n - 1));
    for (int32_t i = 0; i < n; ++i) {
        blocks[0](i) = int16_t(noise(generator));
        blocks[1](i) = int16_t(tone(i, bin, 32767.0, 0.0));
        blocks[2](i) = int16_t(tone(i, bin + 0.37, 30000.0, 0.3));
        blocks[3](i) = -32768;
    }
    return blocks;
}

// |X[k]| / n of bins 0..n/2-1 by FFTW in double precision.
std::vector<double> ReferenceSpectrum(const BoundedArray<int16_t>& samples) {
    const int32_t n = samples.Count();
    std::vector<double> input(samples.data(), samples.data() + n);
    std::vector<fftw_complex> output(size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, input.data(), output.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> magnitudes(size_t(n / 2));
    for (size_t k = 0; k < magnitudes.size(); ++k) {
        magnitudes[k] = std::hypot(output[k][0], output[k][1]) / n;
    }
    return magnitudes;
}

// The largest difference over the bins, relative to the largest magnitude of `reference`
// (absolute when that is 0, so that zeros must give zeros exactly).
template <class Got, class Reference>
double RelativeDifference(const std::vector<Got>& got, const std::vector<Reference>& reference) {
    EXPECT_EQ(got.size(), reference.size());
    double largest = 0.0;
    double difference = 0.0;
    for (size_t k = 0; k < std::min(got.size(), reference.size()); ++k) {
        largest = std::max(largest, std::abs(double(reference[k])));
        difference = std::max(difference, std::abs(double(got[k]) - double(reference[k])));
    }
    return largest > 0.0 ? difference / largest : difference;
}

class RealFftAccuracyTest : public ::testing::TestWithParam<int32_t> {};

// The oracle against double precision; then CalcSpectrum and every kernel this processor
// runs (not only the one CalcSpectrum picks) against the oracle and double precision. A
// constant is its magnitude in bin 0 exactly and nothing elsewhere, or a level-0 peak list
// would fill with rounding noise.
TEST_P(RealFftAccuracyTest, EveryTransformIsWithinFloatRoundingOfTheOthers) {
    const int32_t n = int32_t{1} << GetParam();
    BoundedArray<int32_t> table(0, n - 1);
    for (int32_t i = 0; i < n; ++i) {
        table(i) = aurelix::analysis::ReverseBits(i, uint8_t(GetParam()));
    }
    const std::vector<BoundedArray<int16_t>> blocks = Blocks(n);
    for (size_t b = 0; b < blocks.size(); ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        const BoundedArray<int16_t>& samples = blocks[b];
        const std::vector<float> literal =
            aurelix::testing::LiteralSpectrum(samples.data(), table.data(), n);
        const std::vector<double> reference = ReferenceSpectrum(samples);
        EXPECT_LE(RelativeDifference(literal, reference), kTolerance) << "literal";

        BoundedArray<float> spectrum(-3, 2 * n);  // re-dimensioned to 0..n/2-1
        aurelix::analysis::CalcSpectrum(samples, spectrum, table, n);
        EXPECT_EQ(spectrum.Lower(), 0);
        std::vector<float> calculated(spectrum.data(), spectrum.data() + spectrum.Count());
        EXPECT_LE(RelativeDifference(calculated, literal), kTolerance);

        for (int32_t lanes : {1, 4, 8}) {
            if (!RealFftPlan::Fits(n, lanes)) {
                continue;
            }
            RealFftPlan(n, lanes).Run(samples.data(), calculated.data());
            EXPECT_LE(RelativeDifference(calculated, literal), kTolerance) << lanes << " lanes";
            EXPECT_LE(RelativeDifference(calculated, reference), kTolerance)
                << lanes << " lanes against double precision";
            if (b >= 3) {
                std::vector<float> exact(size_t(n / 2), 0.0f);
                exact[0] = b == 3 ? 32768.0f : 0.0f;
                EXPECT_EQ(calculated, exact) << lanes << " lanes";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, RealFftAccuracyTest, ::testing::Range(1, 17),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "n" + std::to_string(int32_t{1} << info.param);
                         });

}  // namespace
