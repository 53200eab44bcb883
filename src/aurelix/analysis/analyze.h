#pragma once

#include <cstdint>

namespace aurelix::analysis {

// Analyses one captured block: chooses the ring buffer (by `index`, or with the multimedia
// timer running by the backlog search), copies it into WaveL/WaveR and computes what
// EngineState::AnalysisFlags asks for, then notifies the control. Only while AnalysisBusy
// is false; on an error AnalysisBusy stays set until Reset.
void Analyze(int32_t block, int32_t index);

}  // namespace aurelix::analysis
