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
using aurelix::testing::LiteralSpectrum;

// Float rounding, relative to the block's largest magnitude.
constexpr double kTolerance = 4e-7;

struct Block {
    std::string name;
    BoundedArray<int16_t> samples;
};

std::vector<Block> Blocks(int32_t n) {
    auto block = [n](std::string name, auto&& sample) {
        Block made{std::move(name), BoundedArray<int16_t>(0, n - 1)};
        for (int32_t i = 0; i < n; ++i) {
            made.samples(i) = int16_t(sample(i));
        }
        return made;
    };
    std::vector<Block> blocks;
    for (uint32_t seed : {1u, 2u}) {
        std::mt19937 generator(seed * 100003u + uint32_t(n));
        std::uniform_int_distribution<int32_t> value(-32768, 32767);
        blocks.push_back(
            block("noise " + std::to_string(seed), [&](int32_t) { return value(generator); }));
    }
    auto tone = [n](double cycles, double amplitude, double phase) {
        return [=](int32_t i) {
            return std::lround(amplitude *
                               std::sin(2.0 * std::numbers::pi * cycles * i / n + phase));
        };
    };
    const double bin = std::max(n / 8, 1);
    blocks.push_back(block("tone on a bin", tone(bin, 32767.0, 0.0)));
    blocks.push_back(block("tone between bins", tone(bin + 0.37, 30000.0, 0.3)));
    blocks.push_back(block("constant", [](int32_t) { return -12345; }));
    blocks.push_back(block("zeros", [](int32_t) { return 0; }));
    return blocks;
}

BoundedArray<int32_t> BitReverseTable(int32_t n) {
    const auto bits = uint8_t(std::lround(std::log2(n)));
    BoundedArray<int32_t> table(0, n - 1);
    for (int32_t i = 0; i < n; ++i) {
        table(i) = aurelix::analysis::ReverseBits(i, bits);
    }
    return table;
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

class RealFftAccuracyTest : public ::testing::TestWithParam<int32_t> {
  protected:
    int32_t Length() const { return int32_t{1} << GetParam(); }
};

// The oracle against double precision; then CalcSpectrum and every kernel this processor
// runs (not only the one CalcSpectrum picks) against the oracle and double precision.
TEST_P(RealFftAccuracyTest, EveryTransformIsWithinFloatRoundingOfTheOthers) {
    const int32_t n = Length();
    const BoundedArray<int32_t> table = BitReverseTable(n);
    for (const Block& block : Blocks(n)) {
        const std::vector<float> literal = LiteralSpectrum(block.samples.data(), table.data(), n);
        const std::vector<double> reference = ReferenceSpectrum(block.samples);
        EXPECT_LE(RelativeDifference(literal, reference), kTolerance) << block.name << ", literal";

        BoundedArray<float> spectrum(0, 2 * n);
        aurelix::analysis::CalcSpectrum(block.samples, spectrum, table, n);
        const std::vector<float> calculated(spectrum.data(), spectrum.data() + spectrum.Count());
        EXPECT_LE(RelativeDifference(calculated, literal), kTolerance) << block.name;

        for (int32_t lanes : {1, 4, 8}) {
            if (!RealFftPlan::Fits(n, lanes)) {
                continue;
            }
            RealFftPlan plan(n, lanes);
            std::vector<float> magnitudes(size_t(n / 2));
            plan.Run(block.samples.data(), magnitudes.data());
            EXPECT_LE(RelativeDifference(magnitudes, literal), kTolerance)
                << block.name << ", " << lanes << " lanes";
            EXPECT_LE(RelativeDifference(magnitudes, reference), kTolerance)
                << block.name << ", " << lanes << " lanes against double precision";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, RealFftAccuracyTest, ::testing::Range(1, 17),
                         [](const ::testing::TestParamInfo<int32_t>& info) {
                             return "n" + std::to_string(int32_t{1} << info.param);
                         });

}  // namespace
