#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "aurelix/platform/wave/wave.h"

// The interface between the wave functions and the drivers behind them. The wave functions
// own handles, header queues and notifications; a driver only moves samples. One source
// file per driver implements these classes.
namespace aurelix::platform::wave_driver {

using Clock = std::chrono::steady_clock;

// Handed to a stream for the length of one transfer: lets it sleep without missing a reset
// or a close of its handle.
class StreamControl {
  public:
    virtual ~StreamControl() = default;
    // Sleeps until `deadline`; returns false as soon as the transfer is cancelled.
    virtual bool WaitUntil(Clock::time_point deadline) = 0;
    virtual bool Cancelled() = 0;
};

struct Transfer {
    uint32_t frames = 0;  // frames moved
    bool ended = false;   // the source or sink is gone for good (end of file, device lost)
};

// What the session offers a driver without a thread of its own (the manual test driver):
// buffers are filled or completed when the driver says so.
class CapturePort {
  public:
    virtual ~CapturePort() = default;
    // Fills the oldest queued buffer with `samples` (cut to its length) and returns it to
    // the application; false when the device is not started or nothing is queued.
    virtual bool FillNext(const int16_t* samples, size_t count) = 0;
    virtual size_t QueuedCount() const = 0;
    virtual bool IsStarted() const = 0;
};

class PlaybackPort {
  public:
    virtual ~PlaybackPort() = default;
    // Copies the oldest written buffer's samples to `played` (appending) and returns the
    // buffer as done; false when nothing is written.
    virtual bool CompleteNext(std::vector<int16_t>* played) = 0;
    virtual size_t QueuedCount() const = 0;
};

// One open capture stream. Read, Halt and the destructor never run at the same time.
class CaptureStream {
  public:
    virtual ~CaptureStream() = default;
    // Called on the session's driver thread. Fills `frames` frames, sleeping until they are
    // due for paced sources. Returns fewer when cancelled (what was captured so far) or
    // when the source ended.
    virtual Transfer Read(int16_t* samples, uint32_t frames, StreamControl& control) = 0;
    // After a reset, on the driver thread: stop capturing until the next Read.
    virtual void Halt() {}
    // Recovered overruns so far; safe from any thread.
    virtual uint32_t Overruns() const { return 0; }
    // False for streams filled through a CapturePort: no driver thread is started for them.
    virtual bool NeedsDriverThread() const { return true; }
    // True for streams that never wait (an unpaced file): the session fills their buffers
    // on the thread that owns the callback window, in its message order, with no driver
    // thread and no hand-off between threads.
    virtual bool FillsOnOwnerThread() const { return false; }
    // Called once after opening, before any notification.
    virtual void Attach(CapturePort& /*port*/) {}
};

class PlaybackStream {
  public:
    virtual ~PlaybackStream() = default;
    // Called on the driver thread: consumes `frames` frames, sleeping while the device is
    // full or until they are due.
    virtual Transfer Write(const int16_t* samples, uint32_t frames, StreamControl& control) = 0;
    // After a reset, on the driver thread: drop whatever is still pending.
    virtual void Halt() {}
    // Before the handle closes, on the driver thread: let what was written play out.
    virtual void Finish() {}
    virtual uint32_t Underruns() const { return 0; }
    virtual bool NeedsDriverThread() const { return true; }
    virtual void Attach(PlaybackPort& /*port*/) {}
};

// A listed device. Open may be called from any thread, also while other streams of the
// same device are open; a device that allows one stream at a time answers
// MMSYSERR_ALLOCATED while it is busy.
class InputDevice {
  public:
    virtual ~InputDevice() = default;
    virtual std::string Name() const = 0;
    virtual uint16_t Channels() const { return 2; }
    // `format` is already known to be 16-bit PCM. Result: MMSYSERR_NOERROR with `stream`
    // set, WAVERR_BADFORMAT, MMSYSERR_ALLOCATED or another error code.
    virtual MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) = 0;
    // False when the device cannot report its capabilities (the manual driver can fail so).
    virtual bool CapsAvailable() const { return true; }
};

class OutputDevice {
  public:
    virtual ~OutputDevice() = default;
    virtual std::string Name() const = 0;
    virtual uint16_t Channels() const { return 2; }
    virtual MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<PlaybackStream>& stream) = 0;
};

// 16-bit PCM, one or two channels, with consistent block align and byte rate: the only
// layout any driver accepts.
inline bool IsPcm16(const WAVEFORMATEX& format) {
    const uint32_t blockAlign = format.nChannels * 2u;
    return format.wFormatTag == WAVE_FORMAT_PCM && format.wBitsPerSample == 16 &&
           (format.nChannels == 1 || format.nChannels == 2) && format.nSamplesPerSec > 0 &&
           format.nBlockAlign == blockAlign &&
           format.nAvgBytesPerSec == uint64_t(format.nSamplesPerSec) * blockAlign;
}

}  // namespace aurelix::platform::wave_driver
