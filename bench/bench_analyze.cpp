// The per-block analysis against its main ingredient, the bare transform of one channel:
// Analyze for each analysis kind, mono and stereo, at 1024 samples per block.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "aurelix/analysis/analyze.h"
#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/state/engine_state.h"

namespace {

using aurelix::state::State;

constexpr int32_t kSamples = 1024;
constexpr int32_t kRate = 11025;

// A 1 kHz tone with a weaker 2.5 kHz one, well above the level of Threshold 0.5.
int16_t TestSignal(int32_t i) {
    const double t = double(i) / kRate;
    return int16_t(std::lround(9000.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * t) +
                               3000.0 * std::sin(2.0 * std::numbers::pi * 2500.0 * t)));
}

// EngineState as the device opening leaves it, with one captured block in buffer 1.
void OpenOneBlock(int16_t channels, int32_t analysis) {
    auto& state = State();
    state.BlockSamples = kSamples;
    state.SampleRate = kRate;
    state.ChannelCount = channels;
    state.BufferCount = 1;
    state.AnalysisFlags = analysis;
    state.ThresholdLevel = 160;
    state.LoopMode = 1;
    state.BlockRecords.ReDim(1, 1);
    auto& record = state.BlockRecords(1);
    record.BlockNumber = 1;
    record.Left.ReDim(0, kSamples - 1);
    record.Right.ReDim(0, kSamples - 1);
    for (int32_t i = 0; i < kSamples; ++i) {
        record.Left(i) = TestSignal(i);
        record.Right(i) = TestSignal(i + 7);
    }
    state.WaveL.ReDim(0, kSamples - 1);
    state.WaveR.ReDim(0, kSamples - 1);
    state.SpectrumL.ReDim(0, kSamples - 1);
    state.SpectrumR.ReDim(0, kSamples - 1);
    state.PeaksL.ReDim(0, 0);
    state.Sequence.ReDim(1, 100);
    aurelix::analysis::InitBitReverse(kSamples, 0);
}

// Reference: the transform of one channel, with the reallocation Analyze does for it.
void BM_CalcSpectrumOneChannel(benchmark::State& bench) {
    OpenOneBlock(1, 3);
    auto& state = State();
    for (int32_t i = 0; i < kSamples; ++i)
        state.WaveL(i) = TestSignal(i);
    for (auto _ : bench) {
        state.SpectrumL.ReDim(0, 2 * kSamples);
        aurelix::analysis::CalcSpectrum(state.WaveL, state.SpectrumL, state.BitReverse, kSamples);
        benchmark::DoNotOptimize(state.SpectrumL.data());
    }
}
BENCHMARK(BM_CalcSpectrumOneChannel);

// One whole block: buffer choice, copies, results, yield, lamp and the key-up to a
// mailbox that records nothing (loop method 1, no triggers).
void BM_Analyze(benchmark::State& bench) {
    const auto analysis = int32_t(bench.range(0));
    const auto channels = int16_t(bench.range(1));
    aurelix::platform::TextBox mailbox;
    aurelix::platform::Label lamp;
    OpenOneBlock(channels, analysis);
    State().MailboxWindow = mailbox.hwnd();
    State().Lamp = &lamp;
    int32_t block = 1;
    for (auto _ : bench) {
        aurelix::analysis::Analyze(block++, 1);
    }
    benchmark::DoNotOptimize(State().MaxFrequencyL);
    State().Lamp = nullptr;
    bench.SetLabel(channels == 1 ? "mono" : "stereo");
}
BENCHMARK(BM_Analyze)->ArgNames({"Analysis", "Channels"})->ArgsProduct({{1, 3, 19, 33}, {1, 2}});

}  // namespace

BENCHMARK_MAIN();
