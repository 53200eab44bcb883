#include <cstring>

#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/export.h"
#include "aurelix/analysis/fit_samples.h"
#include "aurelix/control/aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/channel_copies.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::control {

namespace {

constexpr int32_t kFftBit = 2;

}  // namespace

int32_t Aurel::WaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel) {
    return state::CopyWaveData(Data, Channel, channels_, "Property Get WaveData in Aurelix");
}

int32_t Aurel::Spectrum(platform::BoundedArray<float>& SpecData, int32_t Channel) {
    return state::CopySpectrumData(SpecData, Channel, channels_,
                                   "Property Get Spectrum in Aurelix");
}

int32_t Aurel::RawData(platform::BoundedArray<int16_t>& WaveData, int32_t BufferIndex) {
    if (BufferIndex < 1 || BufferIndex > buffers_) {
        return 0;
    }
    const auto& ring = state::State().BufferData;
    const int32_t upper = ring.Upper(1);
    const int16_t* column = ring.Address(0, BufferIndex);
    platform::BoundedArray<int16_t> copy(0, upper);
    std::memcpy(copy.data(), column, sizeof(int16_t) * static_cast<size_t>(upper + 1));
    WaveData = std::move(copy);
    return upper + 1;
}

int32_t Aurel::Peaks(platform::BoundedArray<float>& PeakData, int32_t Channel) {
    auto& state = state::State();
    auto& source = Channel == 1 ? state.PeaksL : state.PeaksR;
    PeakData = source;
    source.ReDim(0, 1);
    return 0;
}

int32_t Aurel::DoFFT(platform::BoundedArray<int16_t>& WaveData,
                     platform::BoundedArray<float>& SpecData) {
    auto& state = state::State();
    const int32_t n = WaveData.Upper() - WaveData.Lower() + 1;
    const int32_t m = analysis::FitSamples(n, kFftBit);
    if (samples_ != m) {
        samples_ = m;
        RaiseChangedSamples(m);
        state.BlockSamples = m;
        Changed("Samples");
    }
    if (state.BitReverseSize != samples_) {
        analysis::InitBitReverse(samples_, 0);
    }
    SpecData.ReDim(0, 2 * m);
    analysis::CalcSpectrum(WaveData, SpecData, state.BitReverse, m);

    // The strongest bin above 0 (the first of equals), 0 when no bin is above 0.
    int32_t strongest = 0;
    float best = 0.0f;
    const int32_t upper = SpecData.Upper();
    const float* magnitudes = SpecData.data();
    for (int32_t k = 1; k <= upper; ++k) {
        if (magnitudes[k] > best) {
            best = magnitudes[k];
            strongest = k;
        }
    }
    return strongest;
}

int32_t Aurel::AddTrigger(int32_t Index, double F1, double F2, float Threshold) {
    return Engine().AddTrigger(Index, F1, F2, Threshold);
}

float Aurel::AnalysisTime(int32_t nCycles, int32_t Typ) {
    PushSettings();
    return static_cast<float>(Engine().AnalysisTime(nCycles, Typ));
}

void Aurel::ExportData() {
    analysis::ExportData();
}

}  // namespace aurelix::control
