#include "aurelix/platform/wave/sim_input_device.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "aurelix/platform/wave/source_capture_stream.h"
#include "aurelix/platform/wave/tone_sine.h"
#include "aurelix/platform/wave/wave_registry.h"

namespace aurelix::platform::wave_driver {
namespace {

constexpr uint32_t kMinRate = 8000;
constexpr uint32_t kMaxRate = 96000;

uint64_t SplitMix64(uint64_t state) {
    uint64_t z = state + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int16_t RoundToSample(double value) {
    return int16_t(std::nearbyint(value));
}

// The tones' sines come from tables over their period, equal to the formula bit for bit.
int16_t Sample(SimSignal signal, const SimSignalSettings& s, uint64_t k, ToneSine& tone,
               ToneSine& tone2) {
    switch (signal) {
        case SimSignal::Sine:
            return RoundToSample(s.amplitude * tone.At(k));
        case SimSignal::TwoTones:
            return RoundToSample(s.amplitude / 2 * (tone.At(k) + tone2.At(k)));
        case SimSignal::WhiteNoise: {
            const double u = double(SplitMix64(k) >> 11) * 0x1.0p-53;
            return RoundToSample(s.amplitude * (2 * u - 1));
        }
        case SimSignal::Silence:
            break;
    }
    return 0;
}

// "1 kHz", "2.5 kHz", "440 Hz", "12.5 Hz"
std::string FrequencyText(double hertz) {
    char text[32];
    if (hertz >= 1000 && std::fmod(hertz, 100) == 0) {
        std::snprintf(text, sizeof text, "%g kHz", hertz / 1000);
    } else {
        std::snprintf(text, sizeof text, "%g Hz", hertz);
    }
    return text;
}

class SimCaptureStream final : public SourceCaptureStream {
  public:
    SimCaptureStream(SimSignal signal, const SimSignalSettings& settings,
                     const WAVEFORMATEX& format)
        : SourceCaptureStream(format.nSamplesPerSec, true),
          signal_(signal),
          settings_(settings),
          channels_(format.nChannels),
          tone_(settings.frequency, format.nSamplesPerSec),
          tone2_(settings.frequency2, format.nSamplesPerSec) {}

  private:
    uint32_t Produce(uint64_t position, int16_t* samples, uint32_t frames) override {
        for (uint32_t i = 0; i < frames; ++i) {
            const int16_t value = Sample(signal_, settings_, position + i, tone_, tone2_);
            for (uint16_t c = 0; c < channels_; ++c) {
                *samples++ = value;
            }
        }
        return frames;
    }

    const SimSignal signal_;
    const SimSignalSettings settings_;
    const uint16_t channels_;
    ToneSine tone_;
    ToneSine tone2_;
};

class SimInputDevice final : public InputDevice {
  public:
    explicit SimInputDevice(SimSignal signal)
        : signal_(signal), settings_(DefaultSimSettings(signal)) {}

    std::string Name() const override {
        const SimSignalSettings s = Settings();
        switch (signal_) {
            case SimSignal::Sine:
                return "Sine " + FrequencyText(s.frequency) + " (simulated)";
            case SimSignal::TwoTones:
                return FrequencyText(s.frequency) + " + " + FrequencyText(s.frequency2) +
                       " (simulated)";
            case SimSignal::WhiteNoise:
                return "White noise (simulated)";
            case SimSignal::Silence:
                break;
        }
        return "Silence (simulated)";
    }

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) override {
        if (format.nSamplesPerSec < kMinRate || format.nSamplesPerSec > kMaxRate) {
            return WAVERR_BADFORMAT;
        }
        stream = std::make_unique<SimCaptureStream>(signal_, Settings(), format);
        return MMSYSERR_NOERROR;
    }

    SimSignalSettings Settings() const {
        std::lock_guard lock(mutex_);
        return settings_;
    }
    void SetSettings(const SimSignalSettings& settings) {
        std::lock_guard lock(mutex_);
        settings_ = settings;
    }

  private:
    const SimSignal signal_;
    mutable std::mutex mutex_;
    SimSignalSettings settings_;
};

constexpr std::array kSignals{SimSignal::Sine, SimSignal::TwoTones, SimSignal::WhiteNoise,
                              SimSignal::Silence};

const std::vector<std::shared_ptr<SimInputDevice>>& TheSimDevices() {
    static const auto* devices = [] {
        auto* made = new std::vector<std::shared_ptr<SimInputDevice>>();
        for (SimSignal signal : kSignals) {
            made->push_back(std::make_shared<SimInputDevice>(signal));
        }
        return made;
    }();
    return *devices;
}

SimInputDevice& DeviceOf(SimSignal signal) {
    return *TheSimDevices().at(size_t(signal));
}

}  // namespace

const std::vector<std::shared_ptr<InputDevice>>& SimInputDevices() {
    static const auto* devices = new std::vector<std::shared_ptr<InputDevice>>(
        TheSimDevices().begin(), TheSimDevices().end());
    return *devices;
}

}  // namespace aurelix::platform::wave_driver

namespace aurelix::platform {

SimSignalSettings DefaultSimSettings(SimSignal signal) {
    switch (signal) {
        case SimSignal::Sine:
            return {1000.0, 0.0, 16384.0};
        case SimSignal::TwoTones:
            return {440.0, 2000.0, 16384.0};
        case SimSignal::WhiteNoise:
            return {0.0, 0.0, 8192.0};
        case SimSignal::Silence:
            break;
    }
    return {};
}

SimSignalSettings GetSimInput(SimSignal signal) {
    return wave_driver::DeviceOf(signal).Settings();
}

bool ConfigureSimInput(SimSignal signal, const SimSignalSettings& settings) {
    auto inRange = [](double value, double highest) {
        return std::isfinite(value) && value >= 0 && value <= highest;
    };
    if (!inRange(settings.frequency, 1e6) || !inRange(settings.frequency2, 1e6) ||
        !inRange(settings.amplitude, 32767)) {
        return false;
    }
    wave_driver::DeviceOf(signal).SetSettings(settings);
    return true;
}

void RestoreSimInputDefaults() {
    for (SimSignal signal : wave_driver::kSignals) {
        wave_driver::DeviceOf(signal).SetSettings(DefaultSimSettings(signal));
    }
}

uint32_t SimInputDeviceId(SimSignal signal) {
    return wave_driver::Devices().InputIndexOf(&wave_driver::DeviceOf(signal)).value_or(0);
}

}  // namespace aurelix::platform
