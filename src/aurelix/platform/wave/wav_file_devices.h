#pragma once

#include <memory>
#include <string>

#include "aurelix/platform/wave/wav_file_layout.h"
#include "aurelix/platform/wave/wave_driver.h"

namespace aurelix::platform::wave_driver {

// A WAV file read into capture buffers (see AddFileInputDevice in wave_devices.h).
std::shared_ptr<InputDevice> MakeFileInputDevice(const std::string& path, const WavLayout& layout,
                                                 bool paced);

// Played buffers written to a WAV file (see AddFileOutputDevice in wave_devices.h).
std::shared_ptr<OutputDevice> MakeFileOutputDevice(const std::string& path, bool paced);

// The name a file device is listed under: "tone.wav (file)".
std::string FileDeviceName(const std::string& path);

}  // namespace aurelix::platform::wave_driver
