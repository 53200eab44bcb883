// CalcSpectrum beside FFTW's float real transform doing the same job (int16 load, transform,
// magnitudes |X[k]| / n of bins 0..n/2-1) and beside the literal transform it replaced.
// After the runs a summary gives, per length, CalcSpectrum's time over FFTW's and the literal
// transform's time over CalcSpectrum's, from the CPU times of this run (the medians when run
// with --benchmark_repetitions).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "analysis/literal_spectrum.h"
#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/real_fft_kernels.h"
#include "aurelix/platform/runtime/bounded_array.h"
#include "aurelix/state/engine_state.h"

namespace {

using aurelix::platform::BoundedArray;

constexpr int64_t kShortest = 256;
constexpr int64_t kLongest = 65536;

// Full-range noise; the timing does not depend on the signal.
BoundedArray<int16_t> NoiseBlock(int32_t n) {
    BoundedArray<int16_t> samples(0, n - 1);
    std::mt19937 generator(static_cast<uint32_t>(n));
    std::uniform_int_distribution<int32_t> value(-32768, 32767);
    for (int32_t i = 0; i < n; ++i) {
        samples(i) = int16_t(value(generator));
    }
    return samples;
}

void BM_CalcSpectrum(benchmark::State& bench) {
    const auto n = int32_t(bench.range(0));
    const BoundedArray<int16_t> samples = NoiseBlock(n);
    aurelix::analysis::InitBitReverse(n, 0);
    const BoundedArray<int32_t>& table = aurelix::state::State().BitReverse;
    BoundedArray<float> spectrum(0, n - 1);
    aurelix::analysis::CalcSpectrum(samples, spectrum, table, n);  // builds the plan
    for (auto _ : bench) {
        // The call shrinks the array to its result; give back the entries it needs, as its
        // callers do (the capacity stays, so this only clears memory).
        spectrum.ReDim(0, n - 1);
        aurelix::analysis::CalcSpectrum(samples, spectrum, table, n);
        benchmark::DoNotOptimize(spectrum.data());
        benchmark::ClobberMemory();
    }
}

// FFTW's glue: int16 samples to its float input, and |X[k]| / n of bins 0..n/2-1. Each
// is compiled twice, for the baseline and for AVX2 with FMA, as the library's kernels are.
[[gnu::always_inline]] inline void LoadBody(const int16_t* samples, float* input, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        input[i] = samples[i];
    }
}
[[gnu::always_inline]] inline void MagnitudesBody(const fftwf_complex* output, float* magnitudes,
                                                  int32_t n) {
    const float scale = 1.0f / float(n);
    for (int32_t k = 0; k < n / 2; ++k) {
        const float re = output[k][0];
        const float im = output[k][1];
        magnitudes[k] = std::sqrt(re * re + im * im) * scale;
    }
}
void Load(const int16_t* samples, float* input, int32_t n) {
    LoadBody(samples, input, n);
}
void ScaledMagnitudes(const fftwf_complex* output, float* magnitudes, int32_t n) {
    MagnitudesBody(output, magnitudes, n);
}
[[gnu::target("avx2,fma")]] void LoadWide(const int16_t* samples, float* input, int32_t n) {
    LoadBody(samples, input, n);
}
[[gnu::target("avx2,fma")]] void MagnitudesWide(const fftwf_complex* output, float* magnitudes,
                                                int32_t n) {
    MagnitudesBody(output, magnitudes, n);
}

// FFTW's plan with its buffers; planned once per length with FFTW_PATIENT (its fastest
// plans) and kept for the whole run.
struct FftwReal {
    explicit FftwReal(int32_t n)
        : length(n),
          input(fftwf_alloc_real(size_t(n))),
          output(fftwf_alloc_complex(size_t(n / 2 + 1))),
          plan(fftwf_plan_dft_r2c_1d(n, input, output, FFTW_PATIENT)) {}
    ~FftwReal() {
        fftwf_destroy_plan(plan);
        fftwf_free(output);
        fftwf_free(input);
    }
    FftwReal(const FftwReal&) = delete;
    FftwReal& operator=(const FftwReal&) = delete;

    void Magnitudes(const int16_t* samples, float* magnitudes) {
        if (eightLanes) {
            LoadWide(samples, input, length);
            fftwf_execute(plan);
            MagnitudesWide(output, magnitudes, length);
        } else {
            Load(samples, input, length);
            fftwf_execute(plan);
            ScaledMagnitudes(output, magnitudes, length);
        }
    }

    // The library's load and magnitudes run in its AVX2 kernel where the processor has
    // it: the reference's glue loops take the same instruction set on the same test.
    const bool eightLanes = aurelix::analysis::CpuHasEightLanes();
    int32_t length;
    float* input;
    fftwf_complex* output;
    fftwf_plan plan;
};

FftwReal& FftwFor(int32_t n) {
    static std::map<int32_t, std::unique_ptr<FftwReal>> plans;
    std::unique_ptr<FftwReal>& plan = plans[n];
    if (!plan) {
        plan = std::make_unique<FftwReal>(n);
    }
    return *plan;
}

void BM_FftwReal(benchmark::State& bench) {
    const auto n = int32_t(bench.range(0));
    const BoundedArray<int16_t> samples = NoiseBlock(n);
    FftwReal& fftw = FftwFor(n);
    std::vector<float> magnitudes(size_t(n / 2));
    for (auto _ : bench) {
        fftw.Magnitudes(samples.data(), magnitudes.data());
        benchmark::DoNotOptimize(magnitudes.data());
        benchmark::ClobberMemory();
    }
}

void BM_LiteralSpectrum(benchmark::State& bench) {
    const auto n = int32_t(bench.range(0));
    const BoundedArray<int16_t> samples = NoiseBlock(n);
    aurelix::analysis::InitBitReverse(n, 0);
    const BoundedArray<int32_t>& table = aurelix::state::State().BitReverse;
    for (auto _ : bench) {
        std::vector<float> magnitudes =
            aurelix::testing::LiteralSpectrum(samples.data(), table.data(), n);
        benchmark::DoNotOptimize(magnitudes.data());
    }
}

BENCHMARK(BM_CalcSpectrum)->RangeMultiplier(2)->Range(kShortest, kLongest);
BENCHMARK(BM_FftwReal)->RangeMultiplier(2)->Range(kShortest, kLongest);
BENCHMARK(BM_LiteralSpectrum)->RangeMultiplier(2)->Range(kShortest, kLongest);

// Passes everything to the console and keeps the CPU time per iteration of each benchmark
// and length: the median when repetitions give one, else the run itself.
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal, so that redirected output stays plain text.
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median)) {
                continue;
            }
            Time& time = times_[run.run_name.function_name][std::stoi(run.run_name.args)];
            if (median || !time.fromMedian) {
                time = {ToNanoseconds(run), median};
            }
        }
    }

    void PrintSummary() const {
        std::printf("\n%8s %14s %14s %14s %16s %16s\n", "n", "CalcSpectrum", "FFTW", "literal",
                    "ratio vs FFTW", "x literal");
        const auto& ours = Times("BM_CalcSpectrum");
        for (const auto& [n, time] : ours) {
            const double fftw = Nanoseconds("BM_FftwReal", n);
            const double literal = Nanoseconds("BM_LiteralSpectrum", n);
            std::printf("%8d %11.0f ns %11.0f ns %11.0f ns %16.2f %16.1f\n", n, time.nanoseconds,
                        fftw, literal, time.nanoseconds / fftw, literal / time.nanoseconds);
        }
    }

  private:
    struct Time {
        double nanoseconds = NAN;
        bool fromMedian = false;
    };

    static double ToNanoseconds(const Run& run) {
        return run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
    }
    const std::map<int32_t, Time>& Times(const std::string& name) const {
        static const std::map<int32_t, Time> none;
        const auto found = times_.find(name);
        return found == times_.end() ? none : found->second;
    }
    double Nanoseconds(const std::string& name, int32_t n) const {
        const auto& times = Times(name);
        const auto found = times.find(n);
        return found == times.end() ? NAN : found->second.nanoseconds;
    }

    std::map<std::string, std::map<int32_t, Time>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    return 0;
}
