#include "aurelix/analysis/analyze.h"

#include <cstring>
#include <optional>

#include "aurelix/analysis/block_measures.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/peaks.h"
#include "aurelix/analysis/zero_cross.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/lamp.h"
#include "aurelix/state/mailbox.h"

namespace aurelix::analysis {

namespace {

using platform::RGB;
using state::EngineState;

constexpr int32_t kAmplitudeBit = 1;
constexpr int32_t kSpectrumBit = 2;
constexpr int32_t kReducedSpectrumBit = 16;
constexpr int32_t kZeroCrossingsBit = 32;
constexpr int32_t kYellow = RGB(255, 255, 0);
constexpr int32_t kCompleteKind = 256;
constexpr int32_t kHistoryLength = 100;

// No buffer to analyse: the search found none, or only one already analysed.
constexpr int32_t kNoBuffer = 0;

// The first ring buffer holding block `Backlog`; none when no buffer holds it or that
// one has been analysed already.
int32_t SearchBacklog(state::EngineState& state) {
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        const state::BlockRecord& record = state.BlockRecords(i);
        if (record.BlockNumber == state.Backlog) {
            return record.Analyzed ? kNoBuffer : i;
        }
    }
    return kNoBuffer;
}

// Without the multimedia timer the caller names the buffer; with it the analysis works
// on `Backlog`, a block that trails the capture by a distance set by the ring size.
// Nothing (not even buffer 0) when the analysis has caught up with the capture.
std::optional<int32_t> ChooseBuffer(state::EngineState& state, int32_t block, int32_t index) {
    if (state.TimerId == 0) {
        state.Backlog = block;
        return index;
    }
    switch (state.BufferCount) {
        case 1:
            state.Backlog = block;
            return 1;
        case 2:
            return SearchBacklog(state);
        case 3:
            state.Backlog = platform::CheckedSub32(block, 1);
            return SearchBacklog(state);
        default:
            if (state.Backlog == 0) {
                state.Backlog = platform::CheckedSub32(block, state.BacklogLimit);
            } else if (platform::CheckedSub32(state.BlocksDone, state.Backlog) < state.BacklogMin) {
                return std::nullopt;
            } else {
                state.Backlog = platform::CheckedAdd32(state.Backlog, 1);
            }
            if (state.Backlog <= 0) {
                return std::nullopt;
            }
            return SearchBacklog(state);
    }
}

void ShiftHistory(state::EngineState& state) {
    int32_t* history = state.Sequence.Range(1, kHistoryLength);
    std::memmove(history, history + 1, (kHistoryLength - 1) * sizeof(int32_t));
}

// The block move of one channel: n samples from index 0 of `from` to index 0 of `to`.
void CopyBlock(const platform::BoundedArray<int16_t>& from, platform::BoundedArray<int16_t>& to,
               int32_t n) {
    if (n <= 0) {
        return;
    }
    std::memcpy(to.Range(0, n - 1), from.Range(0, n - 1), size_t(n) * sizeof(int16_t));
}

// Alternates the lamp between the bright and the dark shade on every analysed block.
void BlinkLamp(state::EngineState& state, int32_t bright, int32_t dark) {
    const bool wasBright = state.LampPhase == 1;
    state.LampPhase = wasBright ? 0 : 1;
    state::ShowLamp(wasBright ? dark : bright);
}

// Bin k of an n-point spectrum stands for k x SampleRate / n Hz.
double DominantFrequency(const state::EngineState& state,
                         const platform::BoundedArray<float>& spectrum, int32_t n) {
    const int32_t lastBin = platform::RoundToInt32(n / 2.0 - 1.0);
    const int32_t bin = MaxBin(spectrum, 1, lastBin);
    return platform::Divide(static_cast<double>(bin) * state.SampleRate, n);
}

void ComputeSpectrum(state::EngineState& state, const platform::BoundedArray<int16_t>& wave,
                     platform::BoundedArray<float>& spectrum, int32_t n) {
    spectrum.ReDim(0, platform::CheckedMul32(2, n));
    CalcSpectrum(wave, spectrum, state.BitReverse, n);
}

void ComputeResults(state::EngineState& state, int32_t n) {
    const int32_t flags = state.AnalysisFlags;
    const bool stereo = state.ChannelCount == 2;

    if (flags & kAmplitudeBit) {
        state.MaxAmplitudeL = MaxSample(state.WaveL, n);
        state.MaxAmplitudeR = stereo ? MaxSample(state.WaveR, n) : 0;
    } else {
        state.MaxAmplitudeL = 0;
        state.MaxAmplitudeR = 0;
    }

    if (flags & kSpectrumBit) {
        ComputeSpectrum(state, state.WaveL, state.SpectrumL, n);
        if (stereo) {
            ComputeSpectrum(state, state.WaveR, state.SpectrumR, n);
        }
        state.MaxFrequencyL = state.MaxAmplitudeL <= state.ThresholdLevel
                                  ? 0.0
                                  : DominantFrequency(state, state.SpectrumL, n);
        if (state.MaxAmplitudeL == 0) {
            state.MaxFrequencyL = 0.0;
        }
        if (stereo) {
            state.MaxFrequencyR = state.MaxAmplitudeR <= state.ThresholdLevel
                                      ? 0.0
                                      : DominantFrequency(state, state.SpectrumR, n);
        }
        if (state.MaxAmplitudeR == 0) {
            state.MaxFrequencyR = 0.0;
        }
    } else {
        state.SpectrumL.ReDim(0, 1);
    }

    if ((flags & kSpectrumBit) && (flags & kReducedSpectrumBit)) {
        GetPeaks(state.SpectrumL, state.PeaksL);
        if (stereo) {
            GetPeaks(state.SpectrumR, state.PeaksR);
        }
    }

    // Strictly below the level here, where the spectrum's test is "not above": a block
    // peaking exactly at the level still gets a zero-crossing frequency.
    if (flags & kZeroCrossingsBit) {
        // Only the frequency is wanted; the positions' storage is kept for the next block.
        thread_local platform::BoundedArray<int16_t> positions;
        state.MaxFrequencyL = state.MaxAmplitudeL < state.ThresholdLevel
                                  ? 0.0
                                  : ZeroCrossFrequency(state.WaveL, positions);
    }
}

void Notify(state::EngineState& state, int32_t block, int32_t buffer) {
    switch (state.LoopMode) {
        case 0:
            BlinkLamp(state, RGB(0, 255, 0), RGB(0, 175, 0));
            break;
        case 1:
        case 3:
            BlinkLamp(state, RGB(255, 0, 0), RGB(175, 0, 0));
            state.LastAnalyzedBlock = block;
            state::SendMailKey(state.MailboxWindow, platform::CheckedAdd32(kCompleteKind, buffer));
            if (state.TriggerCount > 0) {
                state::SendMailText(state.MailboxWindow, state.MaxAmplitudeL > state.ThresholdLevel
                                                             ? "triggers"
                                                             : "triggersoff");
            }
            break;
        default:
            break;
    }
}

void AnalyzeBlock(state::EngineState& state, int32_t block, int32_t index) {
    // Set before anything that can yield, so that re-entered window procedures skip us.
    state.AnalysisBusy = true;
    const std::optional<int32_t> chosen = ChooseBuffer(state, block, index);
    if (!chosen) {
        state.AnalysisBusy = false;
        return;
    }
    const int32_t buffer = *chosen;
    ShiftHistory(state);
    if (buffer == kNoBuffer) {
        state::ShowLamp(kYellow);
        state.Backlog = platform::CheckedSub32(block, 1);
        state.AnalysisBusy = false;
        state.Sequence(kHistoryLength) = 0;
        return;
    }

    const int32_t n = state.BlockSamples;
    {
        const state::BlockRecord& record = state.BlockRecords(buffer);
        state.Sequence(kHistoryLength) = record.BlockNumber;
        CopyBlock(record.Left, state.WaveL, n);
        if (state.ChannelCount == 2) {
            CopyBlock(record.Right, state.WaveR, n);
        }
    }
    if (state.AnalysisFlags != 0) {
        ComputeResults(state, n);
    }
    state.BlockRecords(buffer).Analyzed = -1;

    platform::DoEvents();
    Notify(state, block, buffer);
    state.AnalysisBusy = false;
}

}  // namespace

void Analyze(int32_t block, int32_t index) {
    auto& state = state::State();
    platform::Trapped(state.ErrorText, "Function Analyze in Aurelix",
                      [&] { AnalyzeBlock(state, block, index); });
}

}  // namespace aurelix::analysis
