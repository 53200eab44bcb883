#pragma once

#include <memory>
#include <string>
#include <vector>

#include "aurelix/platform/wave/wave_driver.h"

// Real capture and playback devices through libasound.
namespace aurelix::platform::wave_driver::alsa {

// The ALSA devices worth offering, "System default (ALSA)" first. Nothing when "default"
// does not open, that is when there is no real sound system. The rest come from ALSA's
// device hints, named by the first line of their description: each hardware device once
// (its "plughw" form, which converts formats) and the devices the configuration names
// (sound servers, user-defined ones); format converters and bridges that are no devices
// by themselves are left out. Quiet: ALSA's error messages are silenced.
std::vector<std::shared_ptr<InputDevice>> ScanInputDevices();
std::vector<std::shared_ptr<OutputDevice>> ScanOutputDevices();

// A capture (playback) device on the ALSA PCM `pcm`, listed as `name`.
std::shared_ptr<InputDevice> MakeInputDevice(const std::string& pcm, const std::string& name);
std::shared_ptr<OutputDevice> MakeOutputDevice(const std::string& pcm, const std::string& name);

}  // namespace aurelix::platform::wave_driver::alsa
