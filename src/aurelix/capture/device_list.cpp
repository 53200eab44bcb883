#include "aurelix/capture/device_list.h"

#include <algorithm>
#include <cstdint>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/state/engine_state.h"

namespace aurelix::capture {

int32_t GetWavDevices(platform::BoundedArray<std::string>& Names) {
    return platform::Trapped(state::State().ErrorText, "Function GetWavDevices in Aurelix", [&] {
        const int32_t count = int32_t(std::min<uint32_t>(platform::waveInGetNumDevs(), INT32_MAX));
        if (count < 1) {
            return int32_t{0};
        }
        Names.ReDim(0, count - 1);
        // Cleared once: a failed query leaves the previous device's name in the record.
        platform::WAVEINCAPS caps{};
        for (int32_t device = 0; device < count; ++device) {
            platform::waveInGetDevCapsA(uint32_t(device), &caps, platform::kWaveInCapsSize);
            const std::string name(caps.szPname, sizeof caps.szPname);
            Names(device) = name.substr(0, name.find('\0'));
        }
        return count;
    });
}

}  // namespace aurelix::capture
