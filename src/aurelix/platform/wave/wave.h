#pragma once

#include <cstdint>

#include "aurelix/platform/windows/window.h"

// Wave-audio devices. Functions return result codes (0 = success) as the platform's do;
// nothing here throws, and every function may be called from any thread. Device
// notifications are posted to the callback window given at open (CALLBACK_WINDOW; with
// CALLBACK_NULL there are none) and so run on the thread that owns that window: open and
// close with lParam 0, data (capture) and done (playback) with the header; wParam is the
// handle. Which devices exist, and in which order, is in wave_devices.h.
//
// - Open refuses a missing device id (MMSYSERR_BADDEVICEID), anything but 16-bit PCM in
//   one or two channels with consistent block align and byte rate, or a rate the device
//   does not take (WAVERR_BADFORMAT), and a device that takes one handle at a time and is
//   in use (MMSYSERR_ALLOCATED). A refused open leaves the handle 0 and nothing open.
// - Only prepared headers are queued (else WAVERR_UNPREPARED); a header already queued is
//   refused (WAVERR_STILLPLAYING) and stays queued once. Preparing or unpreparing a queued
//   header is refused the same way. Header calls pass kWaveHdrSize or more.
// - Queued buffers are filled (played) one at a time in queue order. A capture buffer comes
//   back with dwBytesRecorded set, WHDR_DONE set and WHDR_INQUEUE cleared. Capture runs
//   between waveInStart and waveInReset; playback runs as soon as a buffer is written.
// - Reset returns every queued buffer in queue order, the one being filled with what it
//   holds so far (possibly 0 bytes), and stops capture until the next waveInStart.
// - Close is refused with WAVERR_STILLPLAYING while buffers are queued; after it, and for
//   any handle this process did not open, every call answers MMSYSERR_INVALHANDLE.
namespace aurelix::platform {

using MMRESULT = uint32_t;
using HWAVEIN = uint32_t;  // non-zero, never repeats across processes
using HWAVEOUT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

inline constexpr uint32_t CALLBACK_NULL = 0;
inline constexpr uint32_t CALLBACK_WINDOW = 0x10000;
// Device id that opens device 0, the default device.
inline constexpr uint32_t WAVE_MAPPER = 0xFFFFFFFF;
inline constexpr uint32_t WAVE_FORMAT_PCM = 1;

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

// Device notifications, posted to the callback window; lParam is the WAVEHDR* where a
// buffer is concerned, wParam the device handle.
inline constexpr UINT MM_WOM_OPEN = 955;
inline constexpr UINT MM_WOM_CLOSE = 956;
inline constexpr UINT MM_WOM_DONE = 957;
inline constexpr UINT MM_WIM_OPEN = 958;
inline constexpr UINT MM_WIM_CLOSE = 959;
inline constexpr UINT MM_WIM_DATA = 960;

struct WAVEFORMATEX {
    uint16_t wFormatTag = 0;
    uint16_t nChannels = 0;
    uint32_t nSamplesPerSec = 0;
    uint32_t nAvgBytesPerSec = 0;
    uint16_t nBlockAlign = 0;
    uint16_t wBitsPerSample = 0;
    uint16_t cbSize = 0;
};

struct WAVEHDR {
    char* lpData = nullptr;        // buffer
    uint32_t dwBufferLength = 0;   // bytes
    uint32_t dwBytesRecorded = 0;  // bytes filled (capture)
    uintptr_t dwUser = 0;          // owner's value
    uint32_t dwFlags = 0;          // WHDR_*
    uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;  // owned by the device
    uintptr_t reserved = 0;     // owned by the device
};
// The header size passed with every header call.
inline constexpr uint32_t kWaveHdrSize = sizeof(WAVEHDR);

inline constexpr int kMaxPnameLen = 32;
struct WAVEINCAPS {
    uint16_t wMid = 0;
    uint16_t wPid = 0;
    uint32_t vDriverVersion = 0;
    char szPname[kMaxPnameLen] = {};  // NUL-terminated unless exactly 32 characters
    uint32_t dwFormats = 0;
    uint16_t wChannels = 0;
    uint16_t wReserved1 = 0;
};
static_assert(sizeof(WAVEINCAPS) == 48);
inline constexpr uint32_t kWaveInCapsSize = sizeof(WAVEINCAPS);

struct WAVEOUTCAPS {
    uint16_t wMid = 0;
    uint16_t wPid = 0;
    uint32_t vDriverVersion = 0;
    char szPname[kMaxPnameLen] = {};  // NUL-terminated unless exactly 32 characters
    uint32_t dwFormats = 0;
    uint16_t wChannels = 0;
    uint16_t wReserved1 = 0;
    uint32_t dwSupport = 0;
};
static_assert(sizeof(WAVEOUTCAPS) == 52);
inline constexpr uint32_t kWaveOutCapsSize = sizeof(WAVEOUTCAPS);

uint32_t waveInGetNumDevs();
MMRESULT waveInGetDevCapsA(uint32_t deviceId, WAVEINCAPS* caps, uint32_t size);
MMRESULT waveInOpen(HWAVEIN* handle, uint32_t deviceId, const WAVEFORMATEX* format,
                    uintptr_t callback, uintptr_t instance, uint32_t flags);
MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size);
MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, uint32_t size);
MMRESULT waveInStart(HWAVEIN handle);
MMRESULT waveInReset(HWAVEIN handle);
MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, uint32_t size);
MMRESULT waveInClose(HWAVEIN handle);

uint32_t waveOutGetNumDevs();
MMRESULT waveOutGetDevCapsA(uint32_t deviceId, WAVEOUTCAPS* caps, uint32_t size);
MMRESULT waveOutOpen(HWAVEOUT* handle, uint32_t deviceId, const WAVEFORMATEX* format,
                     uintptr_t callback, uintptr_t instance, uint32_t flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t size);
MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, uint32_t size);
MMRESULT waveOutReset(HWAVEOUT handle);
MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, uint32_t size);
MMRESULT waveOutClose(HWAVEOUT handle);

}  // namespace aurelix::platform
