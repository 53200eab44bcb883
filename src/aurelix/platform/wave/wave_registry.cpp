#include "aurelix/platform/wave/wave_registry.h"

#include <algorithm>

#include "aurelix/platform/wave/null_output_device.h"
#include "aurelix/platform/wave/sim_input_device.h"
#ifdef AURELIX_HAVE_ALSA
#include "aurelix/platform/wave/alsa/alsa_devices.h"
#endif

namespace aurelix::platform::wave_driver {
namespace {

template <class Device>
std::shared_ptr<Device> At(const std::vector<std::shared_ptr<Device>>& list, uint32_t id) {
    if (id == WAVE_MAPPER) {
        id = 0;
    }
    return id < list.size() ? list[id] : nullptr;
}

template <class Device>
std::optional<uint32_t> IndexIn(const std::vector<std::shared_ptr<Device>>& list,
                                const Device* device) {
    auto found = std::find_if(list.begin(), list.end(),
                              [device](const auto& listed) { return listed.get() == device; });
    if (found == list.end()) {
        return std::nullopt;
    }
    return uint32_t(found - list.begin());
}

template <class Device>
std::shared_ptr<Device> FindKey(
    const std::vector<std::pair<WaveDeviceKey, std::shared_ptr<Device>>>& added,
    WaveDeviceKey key) {
    for (const auto& [addedKey, device] : added) {
        if (addedKey == key) {
            return device;
        }
    }
    return nullptr;
}

}  // namespace

void DeviceRegistry::ScanSystemLocked() {
#ifdef AURELIX_HAVE_ALSA
    systemInputs_ = alsa::ScanInputDevices();
    systemOutputs_ = alsa::ScanOutputDevices();
#endif
    scanned_ = true;
}

std::vector<std::shared_ptr<InputDevice>> DeviceRegistry::InputsLocked() {
    if (!scanned_) {
        ScanSystemLocked();
    }
    std::vector<std::shared_ptr<InputDevice>> list = systemInputs_;
    const auto& sims = SimInputDevices();
    list.insert(list.end(), sims.begin(), sims.end());
    for (const auto& entry : addedInputs_) {
        list.push_back(entry.second);
    }
    return list;
}

std::vector<std::shared_ptr<OutputDevice>> DeviceRegistry::OutputsLocked() {
    if (!scanned_) {
        ScanSystemLocked();
    }
    std::vector<std::shared_ptr<OutputDevice>> list = systemOutputs_;
    list.push_back(NullOutputDevice());
    for (const auto& entry : addedOutputs_) {
        list.push_back(entry.second);
    }
    return list;
}

// Counted without building the lists: the engine asks for every block.
uint32_t DeviceRegistry::InputCount() {
    std::lock_guard lock(mutex_);
    if (!scanned_) {
        ScanSystemLocked();
    }
    return uint32_t(systemInputs_.size() + SimInputDevices().size() + addedInputs_.size());
}

uint32_t DeviceRegistry::OutputCount() {
    std::lock_guard lock(mutex_);
    if (!scanned_) {
        ScanSystemLocked();
    }
    return uint32_t(systemOutputs_.size() + 1 + addedOutputs_.size());
}

std::shared_ptr<InputDevice> DeviceRegistry::Input(uint32_t id) {
    std::lock_guard lock(mutex_);
    return At(InputsLocked(), id);
}

std::shared_ptr<OutputDevice> DeviceRegistry::Output(uint32_t id) {
    std::lock_guard lock(mutex_);
    return At(OutputsLocked(), id);
}

std::optional<uint32_t> DeviceRegistry::InputIndexOf(const InputDevice* device) {
    std::lock_guard lock(mutex_);
    return IndexIn(InputsLocked(), device);
}

std::optional<uint32_t> DeviceRegistry::OutputIndexOf(const OutputDevice* device) {
    std::lock_guard lock(mutex_);
    return IndexIn(OutputsLocked(), device);
}

WaveDeviceKey DeviceRegistry::AddInput(std::shared_ptr<InputDevice> device) {
    std::lock_guard lock(mutex_);
    addedInputs_.emplace_back(++lastKey_, std::move(device));
    return lastKey_;
}

WaveDeviceKey DeviceRegistry::AddOutput(std::shared_ptr<OutputDevice> device) {
    std::lock_guard lock(mutex_);
    addedOutputs_.emplace_back(++lastKey_, std::move(device));
    return lastKey_;
}

bool DeviceRegistry::Remove(WaveDeviceKey key) {
    std::lock_guard lock(mutex_);
    auto matches = [key](const auto& entry) { return entry.first == key; };
    return std::erase_if(addedInputs_, matches) + std::erase_if(addedOutputs_, matches) > 0;
}

void DeviceRegistry::RemoveInput(const InputDevice* device) {
    std::lock_guard lock(mutex_);
    std::erase_if(addedInputs_,
                  [device](const auto& entry) { return entry.second.get() == device; });
}

void DeviceRegistry::RemoveOutput(const OutputDevice* device) {
    std::lock_guard lock(mutex_);
    std::erase_if(addedOutputs_,
                  [device](const auto& entry) { return entry.second.get() == device; });
}

std::shared_ptr<InputDevice> DeviceRegistry::AddedInput(WaveDeviceKey key) {
    std::lock_guard lock(mutex_);
    return FindKey(addedInputs_, key);
}

std::shared_ptr<OutputDevice> DeviceRegistry::AddedOutput(WaveDeviceKey key) {
    std::lock_guard lock(mutex_);
    return FindKey(addedOutputs_, key);
}

void DeviceRegistry::Rescan() {
    std::lock_guard lock(mutex_);
    ScanSystemLocked();
}

// Never destroyed: driver threads may outlive main.
DeviceRegistry& Devices() {
    static auto* registry = new DeviceRegistry();
    return *registry;
}

}  // namespace aurelix::platform::wave_driver
