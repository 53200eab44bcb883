#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_driver.h"
#include "aurelix/platform/wave/wave_handles.h"
#include "aurelix/platform/wave/wave_session.h"

// What the capture and the playback functions have in common.
namespace aurelix::platform::wave_driver {

// Opens `device` and publishes the new handle. Nothing stays open on failure.
template <class Device, class Stream>
MMRESULT OpenHandle(Direction direction, uint32_t* handle, const std::shared_ptr<Device>& device,
                    const WAVEFORMATEX* format, uintptr_t callback, uint32_t flags) {
    if (handle == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *handle = 0;
    HWND window = 0;
    if (MMRESULT refused = WaveSession::NotificationWindow(callback, flags, &window)) {
        return refused;
    }
    if (device == nullptr) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!IsPcm16(*format)) {
        return WAVERR_BADFORMAT;
    }
    std::unique_ptr<Stream> stream;
    if (MMRESULT refused = device->Open(*format, stream)) {
        return refused;
    }
    const uint32_t opened = Sessions().NewHandle();
    auto session = std::make_shared<WaveSession>(direction, opened, *format, window);
    session->Begin(std::move(stream));
    Sessions().Insert(opened, session, direction);
    session->AnnounceOpen();
    *handle = opened;
    return MMSYSERR_NOERROR;
}

// Runs `call` on the open session of `handle`, after checking the header arguments.
template <class Call>
MMRESULT WithHeader(uint32_t handle, Direction direction, WAVEHDR* header, uint32_t size,
                    Call&& call) {
    std::shared_ptr<WaveSession> session = Sessions().Find(handle, direction);
    if (session == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size < kWaveHdrSize) {
        return MMSYSERR_INVALPARAM;
    }
    return call(*session, header);
}

template <class Call>
MMRESULT WithSession(uint32_t handle, Direction direction, Call&& call) {
    std::shared_ptr<WaveSession> session = Sessions().Find(handle, direction);
    return session == nullptr ? MMSYSERR_INVALHANDLE : call(*session);
}

MMRESULT CloseHandle(uint32_t handle, Direction direction);

// Fills a capability name: the first 32 bytes, NUL-terminated when shorter.
void CopyDeviceName(const std::string& name, char (&field)[kMaxPnameLen]);

}  // namespace aurelix::platform::wave_driver
