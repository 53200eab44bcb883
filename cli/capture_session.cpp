#include "cli/capture_session.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <set>

#include <unistd.h>

#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "cli/errors.h"
#include "cli/interrupt.h"
#include "cli/json_events.h"
#include "cli/json_lines.h"
#include "cli/sound_file.h"
#include "cli/terminal_view.h"

namespace aurelix::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRefresh = std::chrono::milliseconds(100);
constexpr int32_t kRecordingDataStart = 45;  // FilePointer of an empty recording
constexpr int16_t kOneShotLoop = 3;          // buffers go back only through SetOneShot

std::string Hertz(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string FormatLine(control::Aurel& aurel) {
    return std::to_string(aurel.SPS()) + " Hz, " + (aurel.Channels() == 2 ? "stereo" : "mono") +
           ", " + std::to_string(aurel.Samples()) + " samples, " + std::to_string(aurel.Buffers()) +
           " buffers, loop " + std::to_string(aurel.LoopMethod()) + ", analysis " +
           AnalysisName(aurel.Analysis()) + ", threshold " + Hertz(aurel.Threshold());
}

// Seconds of sound in the recording file so far.
double RecordedSeconds(control::Aurel& aurel) {
    const double bytes = std::max(0, aurel.FilePointer() - kRecordingDataStart);
    return bytes / (2.0 * aurel.Channels() * aurel.SPS());
}

// One line about the finished file, read back as any reader would.
void ReportRecording(const std::string& path, std::FILE* out) {
    try {
        SoundFile file(path);
        std::fprintf(out, "recorded %s: %.3f s, %d Hz, %s\n", path.c_str(),
                     double(file.Frames()) / file.Rate(), file.Rate(),
                     file.Channels() == 2 ? "stereo" : "mono");
    } catch (const CommandError&) {
        std::fprintf(out, "recorded nothing: no block arrived before the end\n");
    }
}

}  // namespace

int RunCapture(const CaptureOptions& options, const CaptureTarget& target) {
    CatchInterrupts();
    const bool recording = !target.recordFile.empty();
    if (recording) {
        std::string reason;
        if (!CanWrite(target.recordFile, reason)) {
            throw CommandError(target.recordFile + ": " + reason);
        }
    }
    std::ostream* json = options.json ? &std::cout : nullptr;
    platform::SimpleContainer container(/*userMode=*/true);
    control::Aurel* control = nullptr;
    LiveState live;
    RunSummary summary;
    int64_t newestBlock = 0;
    bool recordingDone = false;
    CommandEventSink sink(
        [&](int32_t block, int32_t buffer, double dt) {
            ++summary.analysed;
            newestBlock = std::max<int64_t>(newestBlock, block);
            if (control->LoopMethod() == kOneShotLoop) {
                control->SetOneShot(0);  // the host hands a buffer back per analysed block
            }
            if (json != nullptr) {
                WriteJsonLine(*json,
                              BlockToJson(ReadBlockResult(*control, block, buffer, dt, false)));
                return;
            }
            live.amplitude[0] = control->MaxAmplitudeL();
            live.amplitude[1] = control->MaxAmplitudeR();
            live.frequency[0] = control->MaxFrequencyL();
            live.frequency[1] = control->MaxFrequencyR();
            live.spectrum = ReadSpectrum(*control, 1);
        },
        JsonEventWriter(json,
                        [&](const control::EventInfo& event, std::span<platform::Variant> args) {
                            if (event.name == "DoneRecordig") {
                                recordingDone = true;
                            } else if (event.name == "FrequencyTrigger" && args.size() > 1) {
                                std::set<int32_t> active;
                                const auto& indexes = args[1].Array<int32_t>();
                                for (int32_t i = 0; i < indexes.Count(); ++i) {
                                    active.insert(indexes.data()[i]);
                                }
                                for (size_t i = 0; i < live.triggerActive.size(); ++i) {
                                    live.triggerActive[i] = active.count(int32_t(i + 1)) > 0;
                                }
                            } else if (event.name == "FrequencyTriggersOff") {
                                live.triggerActive.assign(live.triggerActive.size(), false);
                            }
                        }));
    control::Aurel aurel(container, &sink);
    control = &aurel;
    aurel.InitProperties();
    const int32_t device = ResolveDevice(options.device, Direction::Input);
    ApplyOptions(aurel, options, {}, device);
    if (recording) {
        aurel.FileName(target.recordFile);
        aurel.Recording(true);
    }
    for (const std::string& text : options.triggers) {
        const Trigger trigger = ParseTrigger(text);
        live.triggers.push_back(Hertz(trigger.f1) + "-" + Hertz(trigger.f2) + " Hz");
    }
    live.triggerActive.assign(live.triggers.size(), false);
    live.title = target.title;
    live.device = std::to_string(device) + ": " + aurel.DeviceName(device);
    live.format = FormatLine(aurel);
    live.channels = aurel.Channels();
    live.rate = aurel.SPS();

    aurel.Init();
    if ((aurel.Status() & 2) == 0) {
        throw CommandError("device " + live.device + " could not be opened");
    }
    aurel.Start();
    const Clock::time_point start = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    // Recording stops on the sound written, so the file holds --seconds (to the block).
    auto finished = [&] {
        if (Interrupted() || recordingDone) {
            return true;
        }
        if (!options.seconds) {
            return false;
        }
        return (recording ? RecordedSeconds(aurel) : elapsed()) >= *options.seconds;
    };
    {
        TerminalView view(std::cout, json == nullptr && TerminalView::IsTerminal(STDOUT_FILENO));
        while (!finished()) {
            platform::RunMessageLoop(finished, kRefresh);
            if (json == nullptr) {
                live.elapsed = elapsed();
                live.lampColour = aurel.lSub().BackColor();
                live.missed = aurel.MissedCount();
                live.blocks = std::max(newestBlock, summary.analysed);
                if (recording && !recordingDone) {
                    char text[64];
                    std::snprintf(text, sizeof text, "%.2f s", RecordedSeconds(aurel));
                    live.recording = target.recordFile + " " + text;
                }
                view.Show(live);
            }
        }
        summary.missed = aurel.MissedCount();
        summary.seconds = elapsed();
        aurel.Reset();
        for (int round = 0; round < 10; ++round) {
            platform::DoEvents();
        }
    }
    SaveSettings(aurel, options);
    summary.blocks = std::max(newestBlock, summary.analysed);
    if (json != nullptr) {
        WriteJsonLine(*json, SummaryToJson(summary));
    } else {
        std::printf("%lld blocks, %lld analysed, %d missed in %.2f s\n", (long long)summary.blocks,
                    (long long)summary.analysed, summary.missed, summary.seconds);
    }
    if (recording) {
        ReportRecording(target.recordFile, json != nullptr ? stderr : stdout);
    }
    return 0;
}

}  // namespace aurelix::cli
