#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include <CLI/CLI.hpp>

#include "aurelix/capture/device_list.h"
#include "aurelix/platform/storage/property_bag.h"
#include "aurelix/platform/wave/wave.h"
#include "cli/errors.h"

namespace aurelix::cli {
namespace {

struct NamedAnalysis {
    const char* name;
    int32_t value;
};
constexpr NamedAnalysis kAnalyses[] = {
    {"none", 0}, {"amplitude", 1}, {"fft", 3}, {"peaks", 19}, {"zerocross", 33}};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

template <class Number>
bool ParseNumber(const std::string& text, Number& value) {
    const char* end = text.data() + text.size();
    auto [at, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && at == end && !text.empty();
}

// Registers an option whose value lands in an optional, so "not given" stays visible.
template <class Value>
CLI::Option* AddOptional(CLI::App& command, const std::string& name, std::optional<Value>& target,
                         const std::string& help) {
    return command.add_option_function<Value>(
        name, [&target](const Value& value) { target = value; }, help);
}

// The control's own threshold (its default or the settings file's), read through its
// property bag because the getter would replace it with the engine's level.
float StoredThreshold(control::Aurel& aurel) {
    platform::PropertyBag bag;
    aurel.WriteProperties(bag);
    return bag.ReadProperty("Threshold", 5.0f).ToSingle();
}

}  // namespace

int32_t ParseAnalysis(const std::string& text) {
    for (const NamedAnalysis& named : kAnalyses) {
        if (Lower(text) == named.name) {
            return named.value;
        }
    }
    int32_t bits = 0;
    if (ParseNumber(text, bits) && bits >= 0 && bits <= 63) {
        return bits;
    }
    UsageError("--analysis " + text +
               ": expected none, amplitude, fft, peaks, zerocross or a number 0 to 63");
}

std::string AnalysisName(int32_t analysis) {
    for (const NamedAnalysis& named : kAnalyses) {
        if (named.value == analysis) {
            return named.name;
        }
    }
    return std::to_string(analysis);
}

Trigger ParseTrigger(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1) {
        fields.push_back(text.substr(start, colon - start));
    }
    fields.push_back(text.substr(start));
    Trigger trigger;
    float level = 0.0f;
    const bool ok = (fields.size() == 2 || fields.size() == 3) &&
                    ParseNumber(fields[0], trigger.f1) && ParseNumber(fields[1], trigger.f2) &&
                    (fields.size() == 2 || ParseNumber(fields[2], level));
    if (!ok || trigger.f1 < 0 || trigger.f2 < trigger.f1) {
        UsageError("--trigger " + text + ": expected F1:F2 or F1:F2:THRESHOLD in Hz, F1 <= F2");
    }
    if (fields.size() == 3) {
        trigger.threshold = level;
    }
    return trigger;
}

void AddCaptureOptions(CLI::App& command, CaptureOptions& options, OptionSet set) {
    const bool live = set == OptionSet::Live;
    if (live) {
        command.add_option("-d,--device", options.device,
                           "input device: index, or a part of its name (default: device 0)");
        AddOptional(command, "-r,--rate", options.rate, "samples per second (SPS, 44100)")
            ->check(CLI::Range(1000, 384000));
        AddOptional(command, "-c,--channels", options.channels, "1 or 2 (1)")
            ->check(CLI::Range(1, 2));
    }
    AddOptional(command, "-n,--samples", options.samples, "samples per block (Samples, 1024)")
        ->check(CLI::Range(1, 1 << 20));
    if (live) {
        AddOptional(command, "-b,--buffers", options.buffers, "ring buffers (4)")
            ->check(CLI::Range(1, 255));
        AddOptional(command, "--loop", options.loop,
                    "loop method: 0 timer, 1 messages, 3 one buffer back per analysed block (1)")
            ->check(CLI::IsMember({0, 1, 3}));
        AddOptional(command, "--interval", options.interval,
                    "timer interval in ms for loop method 0 (TimerInterval)")
            ->check(CLI::Range(1, 60000));
    }
    command.add_option("-a,--analysis", options.analysis,
                       "none|amplitude|fft|peaks|zerocross|NUMBER (Analysis bits; fft)");
    AddOptional(command, "-t,--threshold", options.threshold,
                "quietest level that reports a frequency, in steps of 320 sample units (about 1 % "
                "of full scale) (Threshold, 5)");
    command
        .add_option("--trigger", options.triggers,
                    "frequency band F1:F2[:THRESHOLD] in Hz; repeatable (AddTrigger 1, 2, ...)")
        ->allow_extra_args(false);
    if (live) {
        AddOptional(command, "-s,--seconds", options.seconds, "stop after this many seconds")
            ->check(CLI::PositiveNumber);
    }
    command.add_option("--settings", options.settings,
                       "load the control's properties from this file first");
    if (live) {
        command.add_option("--save-settings", options.saveSettings,
                           "write the control's properties to this file at the end");
    }
    command.add_flag("--json", options.json, "one JSON object per line on stdout");
}

void ApplyOptions(control::Aurel& aurel, const CaptureOptions& options,
                  const CaptureDefaults& defaults, std::optional<int32_t> device) {
    const bool fromFile = !options.settings.empty();
    if (fromFile) {
        platform::PropertyBag bag;
        try {
            bag.LoadFromFile(options.settings);
        } catch (const platform::RuntimeError& error) {
            throw CommandError(options.settings + ": cannot load settings (error " +
                               std::to_string(error.Number()) + ": " + error.Description() + ")");
        }
        aurel.ReadProperties(bag);
    }
    if (!options.analysis.empty()) {
        aurel.Analysis(ParseAnalysis(options.analysis));
    }
    if (options.samples) {
        aurel.Samples(*options.samples);
    }
    if (options.rate) {
        aurel.SPS(*options.rate);
    }
    if (options.channels) {
        aurel.Channels(*options.channels);
    }
    if (options.buffers || !fromFile) {
        aurel.Buffers(options.buffers.value_or(defaults.buffers));
    }
    if (options.loop || !fromFile) {
        aurel.LoopMethod(options.loop.value_or(defaults.loop));
    }
    if (options.interval) {
        aurel.TimerInterval(*options.interval);
    }
    // Written always: the getter answers from the engine, which knows the level only once
    // it was written (reading it earlier would store 0 as the control's threshold).
    const float threshold = options.threshold.value_or(StoredThreshold(aurel));
    aurel.Threshold(threshold);
    if (options.maxSeconds) {
        aurel.MaxRecordingTime(*options.maxSeconds);
    }
    if (device) {
        aurel.Device(*device);
    }
    int32_t index = 0;
    for (const std::string& text : options.triggers) {
        const Trigger trigger = ParseTrigger(text);
        aurel.AddTrigger(++index, trigger.f1, trigger.f2, trigger.threshold.value_or(threshold));
    }
}

void SaveSettings(control::Aurel& aurel, const CaptureOptions& options) {
    if (options.saveSettings.empty()) {
        return;
    }
    platform::PropertyBag bag;
    aurel.WriteProperties(bag);
    bag.SaveToFile(options.saveSettings);
}

std::vector<std::string> DeviceNames(Direction direction) {
    std::vector<std::string> names;
    if (direction == Direction::Input) {
        platform::BoundedArray<std::string> list;
        const int32_t count = capture::GetWavDevices(list);
        for (int32_t i = 0; i < count; ++i) {
            names.push_back(list(i));
        }
        return names;
    }
    const uint32_t count = platform::waveOutGetNumDevs();
    for (uint32_t i = 0; i < count; ++i) {
        platform::WAVEOUTCAPS caps{};
        platform::waveOutGetDevCapsA(i, &caps, platform::kWaveOutCapsSize);
        names.emplace_back(caps.szPname);
    }
    return names;
}

int32_t ResolveDevice(const std::string& text, Direction direction) {
    const std::vector<std::string> names = DeviceNames(direction);
    const char* kind = direction == Direction::Input ? "input" : "output";
    if (names.empty()) {
        throw CommandError(std::string("no ") + kind + " device is listed");
    }
    if (text.empty()) {
        return 0;
    }
    int32_t index = -1;
    if (ParseNumber(text, index)) {
        if (index < 0 || size_t(index) >= names.size()) {
            UsageError("--device " + text + ": there are " + std::to_string(names.size()) + " " +
                       kind + " devices (0 to " + std::to_string(names.size() - 1) +
                       "); see aurelix devices");
        }
        return index;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (Lower(names[i]).find(Lower(text)) != std::string::npos) {
            return int32_t(i);
        }
    }
    UsageError("--device " + text + ": no " + kind +
               " device name contains it; see aurelix devices" +
               (direction == Direction::Output ? " --output" : ""));
}

}  // namespace aurelix::cli
