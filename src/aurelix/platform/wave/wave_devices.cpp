#include "aurelix/platform/wave/wave_devices.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "aurelix/platform/wave/wav_file_devices.h"
#include "aurelix/platform/wave/wave_handles.h"
#include "aurelix/platform/wave/wave_registry.h"

namespace aurelix::platform {

using wave_driver::Devices;

void RescanWaveDevices() {
    Devices().Rescan();
}

WaveDeviceRegistration AddFileInputDevice(const std::string& path, bool paced) {
    WaveDeviceRegistration registration;
    wave_driver::WavLayout layout;
    if (!wave_driver::ReadWavLayout(path, layout, registration.error)) {
        return registration;
    }
    auto device = wave_driver::MakeFileInputDevice(path, layout, paced);
    registration.key = Devices().AddInput(device);
    registration.deviceId = Devices().InputIndexOf(device.get()).value_or(0);
    return registration;
}

WaveDeviceRegistration AddFileOutputDevice(const std::string& path, bool paced) {
    WaveDeviceRegistration registration;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::error_code ignored;
    if (path.empty() || std::filesystem::is_directory(path, ignored)) {
        registration.error = path + ": not a file name";
        return registration;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        registration.error =
            path + ": cannot write to " + folder.string() + " (" + std::strerror(errno) + ")";
        return registration;
    }
    auto device = wave_driver::MakeFileOutputDevice(path, paced);
    registration.key = Devices().AddOutput(device);
    registration.deviceId = Devices().OutputIndexOf(device.get()).value_or(0);
    return registration;
}

bool RemoveWaveDevice(WaveDeviceKey key) {
    return Devices().Remove(key);
}

std::optional<uint32_t> WaveInDeviceIndex(WaveDeviceKey key) {
    auto device = Devices().AddedInput(key);
    return device ? Devices().InputIndexOf(device.get()) : std::nullopt;
}

std::optional<uint32_t> WaveOutDeviceIndex(WaveDeviceKey key) {
    auto device = Devices().AddedOutput(key);
    return device ? Devices().OutputIndexOf(device.get()) : std::nullopt;
}

std::optional<uint32_t> WaveInOverruns(HWAVEIN handle) {
    auto session = wave_driver::Sessions().Find(handle, wave_driver::Direction::Capture);
    return session ? std::optional(session->Overruns()) : std::nullopt;
}

std::optional<uint32_t> WaveOutUnderruns(HWAVEOUT handle) {
    auto session = wave_driver::Sessions().Find(handle, wave_driver::Direction::Playback);
    return session ? std::optional(session->Overruns()) : std::nullopt;
}

}  // namespace aurelix::platform
