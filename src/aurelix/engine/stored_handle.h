#pragma once

#include <cstdint>
#include <string>

namespace aurelix::engine {

// The last device handle opened under this user, per device kind, kept in the settings
// store with the process that opened it, so that a later opening can close a device an
// earlier run left open, and never one whose owner still runs.
inline constexpr const char* kWaveInSection = "WaveInDevices";
inline constexpr const char* kWaveOutSection = "WaveOutDevices";

// The stored handle of a section; 0 when there is none or it is not a number. Handles are
// stored as signed 32-bit decimal text, as DeviceHandle shows them; the unsigned text of
// earlier versions reads as the same handle.
uint32_t ReadStoredHandle(const std::string& section);

// The stored handle when its owner is gone (or unknown: earlier versions stored none),
// else 0. Only such a handle may be closed by recovery: another engine of this process,
// or another running process, may still be capturing through it.
uint32_t OrphanedStoredHandle(const std::string& section);

// Stores `handle` as this process's. The store is a recovery aid: when it cannot be
// written, that is reported once per process (message box) and the engine goes on.
void StoreHandle(const std::string& section, uint32_t handle);

}  // namespace aurelix::engine
