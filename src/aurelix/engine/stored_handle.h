#pragma once

#include <cstdint>
#include <string>

namespace aurelix::engine {

// The last device handle opened under this user, per device kind, kept in the settings
// store so that a later opening can close a device an earlier run left open.
inline constexpr const char* kWaveInSection = "WaveInDevices";
inline constexpr const char* kWaveOutSection = "WaveOutDevices";

// The stored handle of a section; 0 when there is none or it is not a number.
uint32_t ReadStoredHandle(const std::string& section);
void StoreHandle(const std::string& section, uint32_t handle);

}  // namespace aurelix::engine
