#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/options.h"

// The subcommands of `aurelix`, each in its own file; main.cpp parses the arguments into
// these options and calls one of them. Each returns the exit status and throws
// CommandError or a library RuntimeError on failure (see errors.h).
namespace aurelix::cli {

struct DevicesOptions {
    bool output = false;  // list the output devices instead of the inputs
    bool json = false;
};
int RunDevices(const DevicesOptions& options);

int RunMonitor(const CaptureOptions& options);

struct RecordOptions {
    std::string file;
    CaptureOptions capture;
};
int RunRecord(const RecordOptions& options);

struct PlayOptions {
    std::string file;
    std::string device;  // output device: index or part of its name
    std::string to;      // or a WAV file to play into
    bool json = false;
};
int RunPlay(const PlayOptions& options);

struct AnalyzeOptions {
    std::string file;
    CaptureOptions capture;
    bool spectrum = false;  // each block's spectrum in its JSON line
    std::string plot;       // spectrogram PNG
};
int RunAnalyze(const AnalyzeOptions& options);

struct ScriptOptions {
    std::string file;  // empty: standard input
};
int RunScriptCommand(const ScriptOptions& options);

struct RepairOptions {
    std::string file;
    std::optional<int32_t> rate;      // needed when the header is all zeros
    std::optional<int16_t> channels;  // likewise
};
int RunRepair(const RepairOptions& options);

// "1.0.52", from the build's version.
std::string VersionText();

}  // namespace aurelix::cli
