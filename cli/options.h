#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "aurelix/control/aurel.h"

namespace CLI {
class App;
}

// The options shared by the capture subcommands, and how they become the control's
// properties. Every option that was not given leaves the property as the settings file
// (--settings) or the subcommand's default has it.
namespace aurelix::cli {

struct Trigger {
    double f1 = 0.0;
    double f2 = 0.0;
    std::optional<float> threshold;  // the --threshold value when absent
};

struct CaptureOptions {
    std::string device;                 // index or a case-insensitive part of the name
    std::optional<int32_t> rate;        // SPS
    std::optional<int16_t> channels;    // 1 or 2
    std::optional<int32_t> samples;     // Samples
    std::optional<int32_t> buffers;     // Buffers
    std::optional<int16_t> loop;        // LoopMethod 0, 1 or 3
    std::optional<int32_t> interval;    // TimerInterval, ms
    std::string analysis;               // none|amplitude|fft|peaks|zerocross|NUMBER
    std::optional<float> threshold;     // Threshold
    std::vector<std::string> triggers;  // F1:F2[:THRESHOLD]
    std::optional<double> seconds;      // how long to run
    std::optional<int32_t> maxSeconds;  // MaxRecordingTime
    std::string settings;               // property bag to load first
    std::string saveSettings;           // property bag to write at the end
    bool json = false;
};

// What a subcommand registers: the live subcommands take every option; analyze leaves out
// the ones the file decides (--rate, --channels) or that it fixes (--loop, --buffers,
// --interval, --device).
enum class OptionSet { Live, Offline };
void AddCaptureOptions(CLI::App& command, CaptureOptions& options, OptionSet set);

// "fft" -> 3 and so on; a number is taken as the bits. Usage error otherwise.
int32_t ParseAnalysis(const std::string& text);
// "950:1050" or "950:1050:2.5". Usage error otherwise.
Trigger ParseTrigger(const std::string& text);

// The subcommand's own defaults for options that were not given (applied only when no
// settings file was loaded, whose values count instead).
struct CaptureDefaults {
    int32_t buffers = 4;
    int16_t loop = 1;
};

// Places the options on a control that has its defaults (InitProperties): loads
// --settings, then writes Analysis, then Samples (so the length is normalised by the
// analysis and ChangedSamples is raised), then the rest (SPS, Channels, Buffers,
// LoopMethod, TimerInterval, Threshold, MaxRecordingTime, Device) and adds the triggers,
// indexes 1, 2, ... `device` is the resolved device index (or nothing to leave Device).
void ApplyOptions(control::Aurel& aurel, const CaptureOptions& options,
                  const CaptureDefaults& defaults, std::optional<int32_t> device);

// Writes the control's property bag to --save-settings, when given.
void SaveSettings(control::Aurel& aurel, const CaptureOptions& options);

// The device an option names: a number is an index (checked against the list), anything
// else the first device whose name contains it, without regard to case. Empty: device 0.
// Usage error naming the choices when nothing matches.
enum class Direction { Input, Output };
int32_t ResolveDevice(const std::string& text, Direction direction);

// The names of the input or output devices, in device order.
std::vector<std::string> DeviceNames(Direction direction);

// "fft", "peaks", ... for a known value, else the number.
std::string AnalysisName(int32_t analysis);

}  // namespace aurelix::cli
