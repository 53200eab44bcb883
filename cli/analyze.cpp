#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

#include <unistd.h>

#include "cli/commands.h"
#include "cli/json_lines.h"
#include "cli/offline_analysis.h"
#include "cli/spectrogram.h"
#include "cli/terminal_view.h"

namespace aurelix::cli {
namespace {

constexpr int kProgressWidth = 40;

void ShowProgress(double fraction) {
    const int filled = int(fraction * kProgressWidth);
    std::string bar;
    for (int i = 0; i < kProgressWidth; ++i) {
        bar += i < filled ? "█" : "·";
    }
    std::fprintf(stderr, "\r%s %3d %%", bar.c_str(), int(fraction * 100));
    std::fflush(stderr);
}

// The most frequent non-zero dominant frequency of a channel, for the plain report.
double MostFrequent(const std::map<double, int64_t>& counts) {
    double best = 0.0;
    int64_t most = 0;
    for (const auto& [frequency, count] : counts) {
        if (frequency > 0 && count > most) {
            best = frequency;
            most = count;
        }
    }
    return best;
}

}  // namespace

int RunAnalyze(const AnalyzeOptions& options) {
    const bool json = options.capture.json;
    OfflineOptions offline;
    offline.path = options.file;
    offline.settings = options.capture.settings;
    offline.analysis = options.capture.analysis;
    offline.samples = options.capture.samples;
    offline.threshold = options.capture.threshold;
    offline.triggers = options.capture.triggers;
    offline.spectrum = options.spectrum || !options.plot.empty();

    Spectrogram spectrogram;
    std::map<double, int64_t> dominant[2];
    int32_t loudest[2] = {0, 0};
    int64_t triggerEvents = 0;
    OfflineCallbacks callbacks;
    callbacks.block = [&](const BlockResult& block) {
        if (json) {
            BlockResult shown = block;
            if (!options.spectrum) {
                shown.spectrum.reset();
                shown.spectrumRight.reset();
            }
            WriteJsonLine(std::cout, BlockToJson(shown));
        }
        if (!options.plot.empty()) {
            spectrogram.Add(block);
        }
        for (int c = 0; c < 2; ++c) {
            ++dominant[c][block.maxFrequency[c]];
            loudest[c] = std::max(loudest[c], block.maxAmplitude[c]);
        }
    };
    callbacks.event = [&](const control::EventInfo& event, std::span<platform::Variant> args) {
        if (json) {
            WriteJsonLine(std::cout, EventToJson(event, args));
        }
        triggerEvents += event.name == "FrequencyTrigger";
    };
    const bool progress = TerminalView::IsTerminal(STDERR_FILENO);
    if (progress) {
        callbacks.progress = ShowProgress;
    }
    OfflineSummary summary;
    try {
        summary = AnalyzeFile(offline, callbacks);
    } catch (...) {
        if (progress) {
            std::fprintf(stderr, "\r\x1b[2K");
        }
        throw;
    }
    if (progress) {
        std::fprintf(stderr, "\r\x1b[2K");
    }
    if (!options.plot.empty()) {
        spectrogram.Write(options.plot, summary.rate, summary.samples,
                          options.file + "  (" + std::to_string(summary.rate) + " Hz, " +
                              std::to_string(summary.samples) + "-sample blocks)");
    }
    if (json) {
        WriteJsonLine(std::cout, SummaryToJson(summary.run));
        return 0;
    }
    std::printf("%s: %s, %d Hz, %s, %.3f s\n", options.file.c_str(), summary.format.c_str(),
                summary.rate, summary.channels == 2 ? "stereo" : "mono", summary.run.seconds);
    std::printf("analysis %s, %d samples per block: %lld blocks analysed",
                AnalysisName(summary.analysis).c_str(), summary.samples,
                (long long)summary.run.analysed);
    if (summary.run.partialSamples > 0) {
        std::printf(" (%lld trailing samples not analysed)", (long long)summary.run.partialSamples);
    }
    std::printf("\n");
    for (int c = 0; c < summary.channels; ++c) {
        std::printf("%s: dominant frequency %.2f Hz (most blocks), peak amplitude %d\n",
                    c == 0 ? "left" : "right", MostFrequent(dominant[c]), loudest[c]);
    }
    if (!offline.triggers.empty()) {
        std::printf("frequency trigger events: %lld\n", (long long)triggerEvents);
    }
    if (!options.plot.empty()) {
        std::printf("spectrogram: %s\n", options.plot.c_str());
    }
    return 0;
}

}  // namespace aurelix::cli
