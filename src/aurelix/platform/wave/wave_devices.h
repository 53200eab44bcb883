#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "aurelix/platform/wave/wave.h"

// The devices behind the wave functions, and what a host can do with them beyond the
// wave functions themselves.
//
// Input device order (waveInGetNumDevs, waveInOpen ids):
//   1. ALSA capture devices, the system default first; listed only when ALSA's "default"
//      device opens for capture, i.e. when a real sound system is there;
//   2. the four simulated inputs (sim_devices.h): sine, two tones, white noise, silence;
//   3. devices added at run time (WAV files, manual test devices), in the order added.
// So device 0 is the system's default capture device when there is one, otherwise the
// simulated sine. Output order: ALSA playback devices (default first), the null output,
// then devices added at run time. WAVE_MAPPER opens device 0.
//
// ALSA is asked once, at the first use of the device lists, and again on
// RescanWaveDevices(); adding or removing a device changes the counts at once, as
// plugging one in or out does. Removing a device leaves its open handles working until
// they are closed.
namespace aurelix::platform {

// Identifies a device added at run time, whatever its index becomes.
using WaveDeviceKey = uint64_t;

struct WaveDeviceRegistration {
    WaveDeviceKey key = 0;  // 0 when refused
    uint32_t deviceId = 0;  // its index when it was added
    std::string error;      // why it was refused, naming the file
    explicit operator bool() const { return key != 0; }
};

// Asks ALSA for its devices again.
void RescanWaveDevices();

// A WAV file (16-bit PCM, any rate, mono or stereo) as an input device. It opens only in
// the file's own rate and channel count (else WAVERR_BADFORMAT); each handle reads the
// file from its start. Paced, buffers come back in real time; otherwise as fast as they
// are queued, none skipped. The buffer in which the file ends comes back with fewer
// bytes than its length (0 when the file ends exactly at a buffer boundary); after that
// no buffer comes back until a reset returns them.
WaveDeviceRegistration AddFileInputDevice(const std::string& path, bool paced);

// An output device that writes what is played to a WAV file, created (or emptied) when a
// handle opens it and completed when the handle closes. One handle at a time. Paced, it
// consumes in real time; otherwise as fast as buffers are written.
WaveDeviceRegistration AddFileOutputDevice(const std::string& path, bool paced);

// Removes a device added at run time; false for an unknown key.
bool RemoveWaveDevice(WaveDeviceKey key);

// Where a device added at run time is now listed; nothing once removed.
std::optional<uint32_t> WaveInDeviceIndex(WaveDeviceKey key);
std::optional<uint32_t> WaveOutDeviceIndex(WaveDeviceKey key);

// Overruns (capture) or underruns (playback) the driver of an open handle recovered from;
// nothing for a handle that is not open.
std::optional<uint32_t> WaveInOverruns(HWAVEIN handle);
std::optional<uint32_t> WaveOutUnderruns(HWAVEOUT handle);

}  // namespace aurelix::platform
