#pragma once

#include <cstdint>
#include <string_view>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::state {

// The host's copy of the last block of a channel: channel 1 the left one, any other the
// right one when there are two channels; otherwise Data is left as it is. Returns the
// number of elements of Data, 0 when it has none; other errors are passed on with
// `context`.
int32_t CopyWaveData(platform::BoundedArray<int16_t>& Data, int32_t Channel, int32_t channels,
                     std::string_view context);

// The host's copy of the last spectrum of a channel, as above, returning the number of
// bins copied (0 when nothing was copied). Every error, a spectrum that does not exist
// yet included, is passed on with `context`.
int32_t CopySpectrumData(platform::BoundedArray<float>& SpecData, int32_t Channel, int32_t channels,
                         std::string_view context);

}  // namespace aurelix::state
