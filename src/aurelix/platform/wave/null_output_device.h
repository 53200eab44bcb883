#pragma once

#include <memory>

#include "aurelix/platform/wave/wave_driver.h"

namespace aurelix::platform::wave_driver {

// "Null output": accepts any 16-bit PCM format and discards what is played, at real-time
// pace. Any number of handles at once.
std::shared_ptr<OutputDevice> NullOutputDevice();

}  // namespace aurelix::platform::wave_driver
