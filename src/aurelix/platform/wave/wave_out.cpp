#include <algorithm>
#include <cstring>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_calls.h"
#include "aurelix/platform/wave/wave_registry.h"

namespace aurelix::platform {

using wave_driver::Direction;
using wave_driver::WaveSession;

uint32_t waveOutGetNumDevs() {
    return wave_driver::Devices().OutputCount();
}

MMRESULT waveOutGetDevCapsA(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t size) {
    if (caps == nullptr || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    auto device = wave_driver::Devices().Output(deviceId);
    if (device == nullptr) {
        return MMSYSERR_BADDEVICEID;
    }
    WAVEOUTCAPS filled;
    wave_driver::CopyDeviceName(device->Name(), filled.szPname);
    filled.wChannels = device->Channels();
    std::memcpy(caps, &filled, std::min<size_t>(size, sizeof filled));
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutOpen(HWAVEOUT* handle, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t /*instance*/, uint32_t flags) {
    return wave_driver::OpenHandle<wave_driver::OutputDevice, wave_driver::PlaybackStream>(
        Direction::Playback, handle, wave_driver::Devices().Output(deviceId), format, callback,
        flags);
}

MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Playback, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Prepare(h); });
}

MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Playback, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Queue(h); });
}

MMRESULT waveOutReset(HWAVEOUT handle) {
    return wave_driver::WithSession(handle, Direction::Playback,
                                    [](WaveSession& s) { return s.Reset(); });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Playback, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Unprepare(h); });
}

MMRESULT waveOutClose(HWAVEOUT handle) {
    return wave_driver::CloseHandle(handle, Direction::Playback);
}

}  // namespace aurelix::platform
