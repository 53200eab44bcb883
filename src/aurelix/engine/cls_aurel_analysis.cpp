#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/triggers.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::engine {

int32_t clsAurel::AddTrigger(int32_t Index, double F1, double F2, float Threshold) {
    platform::Trapped(state::State().ErrorText, "Function AddTrigger in clsAurel",
                      [&] { analysis::SetTrigger(triggers_, Index, F1, F2, Threshold); });
    return 0;
}

int32_t clsAurel::GetTriggers(platform::BoundedArray<int32_t>& List) {
    auto& state = state::State();
    return platform::Trapped(state.ErrorText, "Function GetTriggers in clsAurel", [&] {
        return analysis::ListActiveTriggers(triggers_, state.SpectrumL, List);
    });
}

double clsAurel::AnalysisTime(int32_t nCycles, int32_t /*Typ*/) {
    auto& state = state::State();
    state.WaveL.ReDim(0, samples_);
    state.SpectrumL.ReDim(0, samples_);
    const float start = platform::SecondsSinceMidnight();
    if (state.BlockSamples != samples_) {
        SetGlobalConstants();
    }
    analysis::InitBitReverse(state.BlockSamples, 0);
    for (int32_t cycle = 0; cycle < nCycles; ++cycle) {
        // The reallocation is part of what a block's analysis costs, so it is timed too.
        state.SpectrumL.ReDim(0, samples_);
        analysis::CalcSpectrum(state.WaveL, state.SpectrumL, state.BitReverse, samples_);
    }
    return static_cast<double>(platform::SecondsSinceMidnight()) - start;
}

}  // namespace aurelix::engine
