#include <algorithm>
#include <cstring>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_calls.h"
#include "aurelix/platform/wave/wave_registry.h"

namespace aurelix::platform {

using wave_driver::Direction;
using wave_driver::WaveSession;

uint32_t waveInGetNumDevs() {
    return wave_driver::Devices().InputCount();
}

MMRESULT waveInGetDevCapsA(uint32_t deviceId, WAVEINCAPS* caps, uint32_t size) {
    if (caps == nullptr || size == 0) {
        return MMSYSERR_INVALPARAM;
    }
    auto device = wave_driver::Devices().Input(deviceId);
    if (device == nullptr) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!device->CapsAvailable()) {
        return MMSYSERR_NODRIVER;
    }
    WAVEINCAPS filled;
    wave_driver::CopyDeviceName(device->Name(), filled.szPname);
    filled.wChannels = device->Channels();
    std::memcpy(caps, &filled, std::min<size_t>(size, sizeof filled));
    return MMSYSERR_NOERROR;
}

MMRESULT waveInOpen(HWAVEIN* handle, uint32_t deviceId, const WAVEFORMATEX* format,
                    uintptr_t callback, uintptr_t /*instance*/, uint32_t flags) {
    return wave_driver::OpenHandle<wave_driver::InputDevice, wave_driver::CaptureStream>(
        Direction::Capture, handle, wave_driver::Devices().Input(deviceId), format, callback,
        flags);
}

MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Capture, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Prepare(h); });
}

MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Capture, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Queue(h); });
}

MMRESULT waveInStart(HWAVEIN handle) {
    return wave_driver::WithSession(handle, Direction::Capture,
                                    [](WaveSession& s) { return s.Start(); });
}

MMRESULT waveInReset(HWAVEIN handle) {
    return wave_driver::WithSession(handle, Direction::Capture,
                                    [](WaveSession& s) { return s.Reset(); });
}

MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size) {
    return wave_driver::WithHeader(handle, Direction::Capture, header, size,
                                   [](WaveSession& s, WAVEHDR* h) { return s.Unprepare(h); });
}

MMRESULT waveInClose(HWAVEIN handle) {
    return wave_driver::CloseHandle(handle, Direction::Capture);
}

}  // namespace aurelix::platform
