#include "aurelix/platform/wave/wave_calls.h"

#include <algorithm>
#include <cstring>

namespace aurelix::platform::wave_driver {

MMRESULT CloseHandle(uint32_t handle, Direction direction) {
    std::shared_ptr<WaveSession> session = Sessions().Find(handle, direction);
    if (session == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const MMRESULT result = session->Close();
    if (result == MMSYSERR_NOERROR) {
        Sessions().Erase(handle);
    }
    return result;
}

void CopyDeviceName(const std::string& name, char (&field)[kMaxPnameLen]) {
    std::memset(field, 0, sizeof field);
    std::memcpy(field, name.data(), std::min(name.size(), sizeof field));
}

}  // namespace aurelix::platform::wave_driver
