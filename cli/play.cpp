#include <chrono>
#include <cstdio>
#include <iostream>
#include <optional>

#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "cli/commands.h"
#include "cli/errors.h"
#include "cli/interrupt.h"
#include "cli/json_events.h"
#include "cli/json_lines.h"
#include "cli/sound_file.h"

namespace aurelix::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t kPlayback = 2;  // Init kind: open an output device
constexpr int32_t kPlayBuffers = 4;

// A WAV file as an output device for as long as this lives.
class FileOutput {
  public:
    explicit FileOutput(const std::string& path) {
        std::string reason;
        if (!CanWrite(path, reason)) {
            throw CommandError(path + ": " + reason);
        }
        const platform::WaveDeviceRegistration added = platform::AddFileOutputDevice(path, false);
        if (!added) {
            throw CommandError(added.error);
        }
        key_ = added.key;
    }
    ~FileOutput() { platform::RemoveWaveDevice(key_); }
    FileOutput(const FileOutput&) = delete;
    FileOutput& operator=(const FileOutput&) = delete;
    int32_t Index() const { return int32_t(platform::WaveOutDeviceIndex(key_).value_or(0)); }

  private:
    platform::WaveDeviceKey key_ = 0;
};

}  // namespace

int RunPlay(const PlayOptions& options) {
    CatchInterrupts();
    // The engine plays the samples after a plain 44-byte header: every file goes through
    // one, which also makes any format libsndfile reads playable.
    SoundFile file(options.file);
    TemporaryFile canonical(".wav");
    WriteCanonicalWav(file, canonical.Path());

    std::optional<FileOutput> fileOutput;
    int32_t device = 0;
    if (!options.to.empty()) {
        fileOutput.emplace(options.to);
        device = fileOutput->Index();
    } else {
        device = ResolveDevice(options.device, Direction::Output);
    }

    std::ostream* json = options.json ? &std::cout : nullptr;
    platform::SimpleContainer container(/*userMode=*/true);
    control::Aurel* control = nullptr;
    RunSummary summary;
    CommandEventSink sink(
        [&](int32_t block, int32_t buffer, double dt) {
            ++summary.analysed;
            if (json != nullptr) {
                WriteJsonLine(*json,
                              BlockToJson(ReadBlockResult(*control, block, buffer, dt, false)));
            }
        },
        JsonEventWriter(json));
    control::Aurel aurel(container, &sink);
    control = &aurel;
    aurel.InitProperties();
    aurel.SPS(file.Rate());
    aurel.Channels(file.Channels());
    aurel.Buffers(kPlayBuffers);
    aurel.Device(device);
    aurel.FileName(canonical.Path());
    aurel.Init(kPlayback);
    if ((aurel.Status() & 2) == 0) {
        throw CommandError("output device " + std::to_string(device) + " could not be opened");
    }
    if (json == nullptr) {
        std::printf("playing %s (%s, %d Hz, %s, %.2f s) to %s\n", options.file.c_str(),
                    file.Description().c_str(), file.Rate(),
                    file.Channels() == 2 ? "stereo" : "mono", double(file.Frames()) / file.Rate(),
                    options.to.empty() ? ("output device " + std::to_string(device)).c_str()
                                       : options.to.c_str());
        std::fflush(stdout);
    }
    const Clock::time_point start = Clock::now();
    aurel.Start();
    // The control resets itself when the file has played out.
    platform::RunMessageLoop([&] { return Interrupted() || aurel.Status() == 0; });
    if (aurel.Status() != 0) {
        aurel.Reset();
    }
    for (int round = 0; round < 10; ++round) {
        platform::DoEvents();
    }
    summary.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    summary.missed = aurel.MissedCount();
    summary.blocks = summary.analysed;
    if (json != nullptr) {
        WriteJsonLine(*json, SummaryToJson(summary));
    } else {
        std::printf("%s after %.2f s\n", Interrupted() ? "stopped" : "played", summary.seconds);
    }
    return 0;
}

}  // namespace aurelix::cli
