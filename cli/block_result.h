#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "aurelix/control/aurel.h"

// The results of one analysed block, read from the control while its Complete event runs.
namespace aurelix::cli {

struct BlockResult {
    int32_t block = 0;
    int32_t buffer = 0;
    double dt = 0.0;  // seconds: since Start (live) or the end of the block in the file
    int32_t maxAmplitude[2] = {0, 0};
    double maxFrequency[2] = {0.0, 0.0};
    int32_t missed = 0;
    // The reduced spectrum, (bin, magnitude) with positive bin numbers: with the
    // analysis bits 2 and 16; the right channel in stereo only.
    std::optional<std::vector<std::pair<int32_t, float>>> peaks, peaksRight;
    // The magnitude spectrum, when asked for; the right channel in stereo only.
    std::optional<std::vector<float>> spectrum, spectrumRight;
};

// Reads the control's results for the block that Complete(block, buffer, dt) announces.
// Reads (and so consumes) the peak lists when the analysis makes them.
BlockResult ReadBlockResult(control::Aurel& aurel, int32_t block, int32_t buffer, double dt,
                            bool withSpectrum);

// The spectrum of one channel (1 or 2) of the last analysed block; empty when none.
std::vector<float> ReadSpectrum(control::Aurel& aurel, int32_t channel);

// What a run did, for its last line.
struct RunSummary {
    int64_t blocks = 0;    // blocks captured
    int64_t analysed = 0;  // blocks analysed (Complete events)
    int32_t missed = 0;
    double seconds = 0.0;
    int64_t partialSamples = 0;  // trailing samples per channel that did not fill a block
};

}  // namespace aurelix::cli
