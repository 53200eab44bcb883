#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/wave/wave_driver.h"

namespace aurelix::platform::wave_driver {

// The device lists in the order wave_devices.h describes. Safe from any thread.
class DeviceRegistry {
  public:
    uint32_t InputCount();
    uint32_t OutputCount();
    // The device with that id (WAVE_MAPPER: device 0); nullptr when there is none.
    std::shared_ptr<InputDevice> Input(uint32_t id);
    std::shared_ptr<OutputDevice> Output(uint32_t id);
    std::optional<uint32_t> InputIndexOf(const InputDevice* device);
    std::optional<uint32_t> OutputIndexOf(const OutputDevice* device);

    WaveDeviceKey AddInput(std::shared_ptr<InputDevice> device);
    WaveDeviceKey AddOutput(std::shared_ptr<OutputDevice> device);
    bool Remove(WaveDeviceKey key);
    void RemoveInput(const InputDevice* device);
    void RemoveOutput(const OutputDevice* device);
    std::shared_ptr<InputDevice> AddedInput(WaveDeviceKey key);
    std::shared_ptr<OutputDevice> AddedOutput(WaveDeviceKey key);

    void Rescan();

  private:
    template <class Device>
    using Added = std::vector<std::pair<WaveDeviceKey, std::shared_ptr<Device>>>;

    // The lists as they are now, asking ALSA first if it has not been asked. Caller holds
    // the mutex.
    std::vector<std::shared_ptr<InputDevice>> InputsLocked();
    std::vector<std::shared_ptr<OutputDevice>> OutputsLocked();
    void ScanSystemLocked();

    std::mutex mutex_;
    bool scanned_ = false;
    std::vector<std::shared_ptr<InputDevice>> systemInputs_;
    std::vector<std::shared_ptr<OutputDevice>> systemOutputs_;
    Added<InputDevice> addedInputs_;
    Added<OutputDevice> addedOutputs_;
    WaveDeviceKey lastKey_ = 0;
};

DeviceRegistry& Devices();

}  // namespace aurelix::platform::wave_driver
