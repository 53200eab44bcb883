#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "aurelix/control/aurel_dispatch.h"
#include "cli/block_result.h"
#include "cli/options.h"

// Offline analysis of a sound file through the same engine path as live capture: a control
// (loop method 1, one buffer) opens an input device that delivers the file's blocks, each as
// soon as the previous one is handed back, so the wave procedure, CopyBuffer and Analyze run
// exactly as for a microphone, and every whole block is analysed once, numbered from 1 in
// file order. The trailing partial block is not delivered; the summary reports its length.
// `aurelix analyze` and the Python module's analyze both run this function.
namespace aurelix::cli {

struct OfflineOptions {
    std::string path;                   // any file libsndfile reads (see sound_file.h)
    std::string settings;               // property bag loaded first (optional)
    std::string analysis;               // as --analysis; empty: the control's (fft)
    std::optional<int32_t> samples;     // Samples
    std::optional<float> threshold;     // Threshold
    std::vector<std::string> triggers;  // F1:F2[:THRESHOLD]
    bool spectrum = false;              // read each block's spectrum into its result
};

struct OfflineCallbacks {
    // Each analysed block, in order; `dt` is the end of the block in the file, in seconds.
    std::function<void(const BlockResult&)> block;
    // Every event other than Complete, as the control raises it (a block's trigger events
    // come right after that block).
    std::function<void(const control::EventInfo&, std::span<platform::Variant>)> event;
    // Progress, 0 to 1, about every 1 % of the file.
    std::function<void(double)> progress;
};

struct OfflineSummary {
    RunSummary run;  // blocks = whole blocks in the file; seconds = the file's duration
    int32_t rate = 0;
    int16_t channels = 0;
    int32_t samples = 0;   // the block length used (after the analysis normalised it)
    int32_t analysis = 0;  // the Analysis bits used
    std::string format;    // the file's format, for people
};

// Runs the analysis. Errors: CommandError naming the file (unreadable, refused) or the
// block at which an analysis error stopped the engine; RuntimeError from the control.
OfflineSummary AnalyzeFile(const OfflineOptions& options, const OfflineCallbacks& callbacks);

}  // namespace aurelix::cli
