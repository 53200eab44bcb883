#include "aurelix/platform/wave/sim_input_device.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
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
            return RoundToSample(s.amplitude * tone.At(k) + s.amplitude2 * tone2.At(k));
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

// One simulated input: what it delivers can change at any time, from any thread.
class SimInputDevice final : public InputDevice {
  public:
    explicit SimInputDevice(SimSignal kind)
        : kind_(kind), signal_{kind, DefaultSimSettings(kind)} {}

    std::string Name() const override {
        const auto [kind, s] = Signal();
        switch (kind) {
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

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) override;

    // The kind of signal the input is listed for, whatever it delivers now.
    SimSignal Kind() const { return kind_; }
    TestSignal Signal() const {
        std::lock_guard lock(mutex_);
        return signal_;
    }
    void SetSignal(const TestSignal& signal) {
        std::lock_guard lock(mutex_);
        signal_ = signal;
    }

  private:
    class SimCaptureStream;

    const SimSignal kind_;
    mutable std::mutex mutex_;
    TestSignal signal_;
};

// Reads the device's signal once per buffer, so that a change is heard from the next one.
// The devices live as long as the process, so a stream may keep a reference to its own.
class SimInputDevice::SimCaptureStream final : public SourceCaptureStream {
  public:
    SimCaptureStream(const SimInputDevice& device, const WAVEFORMATEX& format)
        : SourceCaptureStream(format.nSamplesPerSec, true),
          device_(device),
          rate_(format.nSamplesPerSec),
          channels_(format.nChannels) {}

  private:
    uint32_t Produce(uint64_t position, int16_t* samples, uint32_t frames) override {
        const auto [kind, settings] = device_.Signal();
        Tune(tone_, settings.frequency);
        Tune(tone2_, settings.frequency2);
        for (uint32_t i = 0; i < frames; ++i) {
            const int16_t value = Sample(kind, settings, position + i, *tone_, *tone2_);
            for (uint16_t c = 0; c < channels_; ++c) {
                *samples++ = value;
            }
        }
        return frames;
    }

    // A table for `frequency`, kept while the signal keeps that frequency.
    void Tune(std::optional<ToneSine>& tone, double frequency) const {
        if (!tone || tone->Frequency() != frequency) {
            tone.emplace(frequency, rate_);
        }
    }

    const SimInputDevice& device_;
    const uint32_t rate_;
    const uint16_t channels_;
    std::optional<ToneSine> tone_;
    std::optional<ToneSine> tone2_;
};

MMRESULT SimInputDevice::Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) {
    if (format.nSamplesPerSec < kMinRate || format.nSamplesPerSec > kMaxRate) {
        return WAVERR_BADFORMAT;
    }
    stream = std::make_unique<SimCaptureStream>(*this, format);
    return MMSYSERR_NOERROR;
}

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
            return {440.0, 2000.0, 8192.0, 8192.0};
        case SimSignal::WhiteNoise:
            return {0.0, 0.0, 8192.0};
        case SimSignal::Silence:
            break;
    }
    return {};
}

SimSignalSettings GetSimInput(SimSignal signal) {
    return wave_driver::DeviceOf(signal).Signal().settings;
}

namespace {

bool InRange(const SimSignalSettings& s) {
    auto inRange = [](double value, double highest) {
        return std::isfinite(value) && value >= 0 && value <= highest;
    };
    return inRange(s.frequency, 1e6) && inRange(s.frequency2, 1e6) && inRange(s.amplitude, 32767) &&
           inRange(s.amplitude2, 32767) && s.amplitude + s.amplitude2 <= 32767;
}

}  // namespace

bool ConfigureSimInput(SimSignal signal, const SimSignalSettings& settings) {
    if (!InRange(settings)) {
        return false;
    }
    auto& device = wave_driver::DeviceOf(signal);
    device.SetSignal({device.Kind(), settings});
    return true;
}

void RestoreSimInputDefaults() {
    for (SimSignal signal : wave_driver::kSignals) {
        wave_driver::DeviceOf(signal).SetSignal({signal, DefaultSimSettings(signal)});
    }
}

bool SetTestSignal(const TestSignal& signal) {
    if (!InRange(signal.settings)) {
        return false;
    }
    wave_driver::DeviceOf(SimSignal::Sine).SetSignal(signal);
    return true;
}

TestSignal GetTestSignal() {
    return wave_driver::DeviceOf(SimSignal::Sine).Signal();
}

uint32_t SimInputDeviceId(SimSignal signal) {
    return wave_driver::Devices().InputIndexOf(&wave_driver::DeviceOf(signal)).value_or(0);
}

}  // namespace aurelix::platform
