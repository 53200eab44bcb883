#pragma once

#include <cstdint>
#include <string>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::capture {

// Lists the product names of the wave-input devices in device order: Names is
// re-dimensioned to 0..n-1 and entry d names device d. Returns n; with no device it
// returns 0 and leaves Names as it was. A device whose capabilities cannot be read gets
// the name read for the device before it (empty for device 0). Errors are passed on with
// "Function GetWavDevices in Aurelix".
int32_t GetWavDevices(platform::BoundedArray<std::string>& Names);

}  // namespace aurelix::capture
