#include "aurelix/engine/allocate_arrays.h"

#include <cmath>

#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::engine {

using platform::CheckedMul32;
using platform::CheckedSub32;

namespace {

void FillWaveFormat(state::EngineState& state) {
    auto& format = state.WaveFormat;
    format.wFormatTag = static_cast<uint16_t>(platform::WAVE_FORMAT_PCM);
    format.nChannels = static_cast<uint16_t>(state.ChannelCount);
    format.nSamplesPerSec = static_cast<uint32_t>(state.SampleRate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<uint16_t>(CheckedMul32(state.ChannelCount, 16) / 8);
    format.nAvgBytesPerSec =
        static_cast<uint32_t>(CheckedMul32(format.nBlockAlign, state.SampleRate));
    format.cbSize = 0;
}

void BuildBitReverseTable(state::EngineState& state) {
    const int32_t n = state.BlockSamples;
    const int32_t bits = platform::RoundToInt32(std::log(double(n)) / std::log(2.0));
    const int32_t length = platform::RoundToInt32(std::ldexp(1.0, bits));
    state.BitReverse.ReDim(0, length);
    analysis::InitBitReverse(n, bits);
}

}  // namespace

void AllocateArrays() {
    auto& state = state::State();
    FillWaveFormat(state);

    const int32_t n = state.BlockSamples;
    const int32_t lastSample = CheckedSub32(n, 1);
    const int32_t lastInterleaved = CheckedSub32(CheckedMul32(state.ChannelCount, n), 1);
    const bool stereo = state.ChannelCount == 2;

    state.BlockRecords.ReDim(1, state.BufferCount);
    state.BufferData.ReDim(0, lastInterleaved, 1, state.BufferCount);
    state.SpectrumL.ReDim(0, lastSample);
    state.InterleavedBlock.ReDim(0, lastInterleaved);
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        state.BlockRecords(i).Left.ReDim(0, lastSample);
    }
    state.WaveL.ReDim(0, lastSample);
    if (stereo) {
        state.SpectrumR.ReDim(0, lastSample);
        state.WaveR.ReDim(0, lastSample);
        for (int32_t i = 1; i <= state.BufferCount; ++i) {
            state.BlockRecords(i).Right.ReDim(0, lastSample);
        }
    }
    state.PeaksL.ReDim(0, 0);
    state.Sequence.ReDim(1, 100);
    if (state.AnalysisFlags != 0) {
        BuildBitReverseTable(state);
    }
}

}  // namespace aurelix::engine
