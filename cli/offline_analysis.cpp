#include "cli/offline_analysis.h"

#include <filesystem>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "cli/errors.h"
#include "cli/json_events.h"
#include "cli/sound_file.h"

namespace aurelix::cli {
namespace {

// The wave procedure swallows an error of the analysis (it removes its hook; the host sees
// only the silence that follows), keeping nothing but the error's text. The number is the
// one whose standard text that is.
std::string SwallowedError() {
    std::string text = state::State().ErrorText;
    const size_t lastLine = text.rfind('\n');
    if (lastLine != std::string::npos) {
        text = text.substr(lastLine + 1);
    }
    for (int32_t number = 1; number < 1100; ++number) {
        if (platform::StandardDescription(number) == text) {
            return DescribeRuntimeError(number, text);
        }
    }
    return text.empty() ? "an error of the analysis" : text;
}

// Dispatches what is pending until `done` or nothing is left.
template <class Done>
void PumpUntil(Done done) {
    for (int round = 0; round < 100 && !done(); ++round) {
        if (platform::DoEvents() == 0 && !done()) {
            platform::DoEvents();
            return;
        }
    }
}

}  // namespace

OfflineSummary AnalyzeFile(const OfflineOptions& options, const OfflineCallbacks& callbacks) {
    SoundFile file(options.path);
    platform::ManualWaveInput device(std::filesystem::path(options.path).filename().string() +
                                     " (file)");
    platform::SimpleContainer container(/*userMode=*/true);

    OfflineSummary summary;
    summary.rate = file.Rate();
    summary.channels = file.Channels();
    summary.format = file.Description();
    int64_t analysed = 0;
    control::Aurel* control = nullptr;
    CommandEventSink sink(
        [&](int32_t block, int32_t buffer, double) {
            ++analysed;
            BlockResult result = ReadBlockResult(*control, block, buffer, 0.0, options.spectrum);
            result.dt = double(block) * summary.samples / summary.rate;
            if (callbacks.block) {
                callbacks.block(result);
            }
        },
        callbacks.event);
    control::Aurel aurel(container, &sink);
    control = &aurel;
    aurel.InitProperties();

    CaptureOptions capture;
    capture.settings = options.settings;
    capture.analysis = options.analysis;
    capture.samples = options.samples;
    capture.threshold = options.threshold;
    capture.triggers = options.triggers;
    capture.rate = file.Rate();
    capture.channels = file.Channels();
    capture.buffers = 1;  // with more, a timer would pick the blocks to analyse
    capture.loop = 1;
    ApplyOptions(aurel, capture, {}, int32_t(*device.DeviceId()));
    summary.samples = aurel.Samples();
    summary.analysis = aurel.Analysis();

    aurel.Init();
    if ((aurel.Status() & 3) != 3) {
        throw CommandError(options.path + ": the engine could not open the file's input device");
    }
    aurel.Start();

    const int64_t samples = summary.samples;
    int64_t blocks = file.Frames() / samples;
    int64_t partial = file.Frames() % samples;
    std::vector<int16_t> block(size_t(samples) * size_t(file.Channels()));
    const int64_t step = std::max<int64_t>(1, blocks / 100);
    for (int64_t b = 1; b <= blocks; ++b) {
        const int64_t got = file.Read(block.data(), samples);
        if (got < samples) {  // the file ended before its header said
            blocks = b - 1;
            partial = got;
            break;
        }
        PumpUntil([&] { return device.QueuedCount() > 0; });
        if (!device.Fill(block)) {
            aurel.Reset();
            throw CommandError(options.path + ": the engine stopped taking blocks at block " +
                               std::to_string(b));
        }
        PumpUntil([&] { return analysed >= b; });
        if (analysed < b) {
            aurel.Reset();
            throw CommandError(options.path + ": the analysis stopped at block " +
                               std::to_string(b) + ": " + SwallowedError());
        }
        if (callbacks.progress && b % step == 0) {
            callbacks.progress(double(b) / double(blocks));
        }
    }
    summary.run.missed = aurel.MissedCount();
    aurel.Reset();
    PumpUntil([] { return false; });

    summary.run.blocks = blocks;
    summary.run.analysed = analysed;
    summary.run.seconds = double(file.Frames()) / file.Rate();
    summary.run.partialSamples = partial;
    return summary;
}

}  // namespace aurelix::cli
