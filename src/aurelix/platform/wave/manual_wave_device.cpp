#include "aurelix/platform/wave/manual_wave_device.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "aurelix/platform/wave/wave_driver.h"
#include "aurelix/platform/wave/wave_registry.h"

namespace aurelix::platform::wave_driver {

// What the two manual devices share: the name, the one-handle rule, the last format and
// the port of the open handle.
template <class Port>
class ManualDeviceState {
  public:
    explicit ManualDeviceState(std::string name) : name_(std::move(name)) {}

    const std::string& DeviceName() const { return name_; }

    bool TryOpen(const WAVEFORMATEX& format) {
        std::lock_guard lock(mutex_);
        if (open_) {
            return false;
        }
        open_ = true;
        lastFormat_ = format;
        return true;
    }
    void Attach(Port& port) {
        std::lock_guard lock(mutex_);
        port_ = &port;
    }
    void Release() {
        std::lock_guard lock(mutex_);
        port_ = nullptr;
        open_ = false;
    }
    bool IsOpen() const {
        std::lock_guard lock(mutex_);
        return open_;
    }
    std::optional<WAVEFORMATEX> LastFormat() const {
        std::lock_guard lock(mutex_);
        return lastFormat_;
    }
    // Runs `use` on the open handle's port under the lock, so the port cannot go away
    // meanwhile; returns `otherwise` when no handle is open.
    template <class Use, class Result>
    Result WithPort(Use&& use, Result otherwise) const {
        std::lock_guard lock(mutex_);
        return port_ == nullptr ? otherwise : use(*port_);
    }

  private:
    const std::string name_;
    mutable std::mutex mutex_;
    Port* port_ = nullptr;
    bool open_ = false;
    std::optional<WAVEFORMATEX> lastFormat_;
};

class ManualInputDevice final : public InputDevice,
                                public ManualDeviceState<CapturePort>,
                                public std::enable_shared_from_this<ManualInputDevice> {
  public:
    using ManualDeviceState::ManualDeviceState;

    std::string Name() const override { return DeviceName(); }
    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) override;
    bool CapsAvailable() const override { return !capsFail_.load(); }
    void FailCaps(bool fail) { capsFail_.store(fail); }

  private:
    std::atomic<bool> capsFail_{false};
};

class ManualOutputDevice final : public OutputDevice,
                                 public ManualDeviceState<PlaybackPort>,
                                 public std::enable_shared_from_this<ManualOutputDevice> {
  public:
    using ManualDeviceState::ManualDeviceState;

    std::string Name() const override { return DeviceName(); }
    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<PlaybackStream>& stream) override;

    bool CompleteNext() {
        return WithPort(
            [this](PlaybackPort& port) {
                std::vector<int16_t> buffer;
                if (!port.CompleteNext(&buffer)) {
                    return false;
                }
                std::lock_guard lock(playedMutex_);
                played_.insert(played_.end(), buffer.begin(), buffer.end());
                return true;
            },
            false);
    }
    std::vector<int16_t> Played() const {
        std::lock_guard lock(playedMutex_);
        return played_;
    }

  private:
    mutable std::mutex playedMutex_;
    std::vector<int16_t> played_;  // since the latest open
};

namespace {

// Streams of the manual devices have no driver thread: the test moves the buffers
// through the port.
class ManualCaptureStream final : public CaptureStream {
  public:
    explicit ManualCaptureStream(std::shared_ptr<ManualInputDevice> device)
        : device_(std::move(device)) {}
    ~ManualCaptureStream() override { device_->Release(); }

    bool NeedsDriverThread() const override { return false; }
    void Attach(CapturePort& port) override { device_->Attach(port); }
    // Without a driver thread nothing reads.
    Transfer Read(int16_t*, uint32_t, StreamControl&) override { return {0, true}; }

  private:
    const std::shared_ptr<ManualInputDevice> device_;
};

class ManualPlaybackStream final : public PlaybackStream {
  public:
    explicit ManualPlaybackStream(std::shared_ptr<ManualOutputDevice> device)
        : device_(std::move(device)) {}
    ~ManualPlaybackStream() override { device_->Release(); }

    bool NeedsDriverThread() const override { return false; }
    void Attach(PlaybackPort& port) override { device_->Attach(port); }
    // Without a driver thread nothing writes.
    Transfer Write(const int16_t*, uint32_t, StreamControl&) override { return {0, true}; }

  private:
    const std::shared_ptr<ManualOutputDevice> device_;
};

}  // namespace

MMRESULT ManualInputDevice::Open(const WAVEFORMATEX& format,
                                 std::unique_ptr<CaptureStream>& stream) {
    if (!TryOpen(format)) {
        return MMSYSERR_ALLOCATED;
    }
    stream = std::make_unique<ManualCaptureStream>(shared_from_this());
    return MMSYSERR_NOERROR;
}

MMRESULT ManualOutputDevice::Open(const WAVEFORMATEX& format,
                                  std::unique_ptr<PlaybackStream>& stream) {
    if (!TryOpen(format)) {
        return MMSYSERR_ALLOCATED;
    }
    {
        std::lock_guard lock(playedMutex_);
        played_.clear();
    }
    stream = std::make_unique<ManualPlaybackStream>(shared_from_this());
    return MMSYSERR_NOERROR;
}

}  // namespace aurelix::platform::wave_driver

namespace aurelix::platform {

using wave_driver::CapturePort;
using wave_driver::Devices;
using wave_driver::PlaybackPort;

ManualWaveInput::ManualWaveInput(std::string name)
    : device_(std::make_shared<wave_driver::ManualInputDevice>(std::move(name))) {
    Plug();
}

ManualWaveInput::~ManualWaveInput() {
    Unplug();
}

void ManualWaveInput::Plug() {
    if (!DeviceId()) {
        Devices().AddInput(device_);
    }
}

void ManualWaveInput::Unplug() {
    Devices().RemoveInput(device_.get());
}

std::optional<uint32_t> ManualWaveInput::DeviceId() const {
    return Devices().InputIndexOf(device_.get());
}

bool ManualWaveInput::Fill(std::span<const int16_t> samples) {
    return device_->WithPort(
        [samples](CapturePort& port) { return port.FillNext(samples.data(), samples.size()); },
        false);
}

size_t ManualWaveInput::QueuedCount() const {
    return device_->WithPort([](CapturePort& port) { return port.QueuedCount(); }, size_t(0));
}

bool ManualWaveInput::IsOpen() const {
    return device_->IsOpen();
}

bool ManualWaveInput::IsStarted() const {
    return device_->WithPort([](CapturePort& port) { return port.IsStarted(); }, false);
}

std::optional<WAVEFORMATEX> ManualWaveInput::LastFormat() const {
    return device_->LastFormat();
}

void ManualWaveInput::FailCapsQuery(bool fail) {
    device_->FailCaps(fail);
}

ManualWaveOutput::ManualWaveOutput(std::string name)
    : device_(std::make_shared<wave_driver::ManualOutputDevice>(std::move(name))) {
    Plug();
}

ManualWaveOutput::~ManualWaveOutput() {
    Unplug();
}

void ManualWaveOutput::Plug() {
    if (!DeviceId()) {
        Devices().AddOutput(device_);
    }
}

void ManualWaveOutput::Unplug() {
    Devices().RemoveOutput(device_.get());
}

std::optional<uint32_t> ManualWaveOutput::DeviceId() const {
    return Devices().OutputIndexOf(device_.get());
}

size_t ManualWaveOutput::WrittenCount() const {
    return device_->WithPort([](PlaybackPort& port) { return port.QueuedCount(); }, size_t(0));
}

bool ManualWaveOutput::CompleteNext() {
    return device_->CompleteNext();
}

std::vector<int16_t> ManualWaveOutput::Played() const {
    return device_->Played();
}

bool ManualWaveOutput::IsOpen() const {
    return device_->IsOpen();
}

std::optional<WAVEFORMATEX> ManualWaveOutput::LastFormat() const {
    return device_->LastFormat();
}

}  // namespace aurelix::platform
