#pragma once

#include <memory>
#include <vector>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/wave/wave_driver.h"

namespace aurelix::platform::wave_driver {

// The four simulated inputs in device order: sine, two tones, white noise, silence.
const std::vector<std::shared_ptr<InputDevice>>& SimInputDevices();

}  // namespace aurelix::platform::wave_driver
