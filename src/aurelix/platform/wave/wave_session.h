#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_driver.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::platform::wave_driver {

enum class Direction { Capture, Playback };

// One open wave handle: its header queue, the driver thread that feeds the stream, and the
// notifications to the callback window. Safe to use from any thread.
//
// Buffers are handed to the stream strictly in queue order, one at a time. A capture
// buffer comes back with dwBytesRecorded set, WHDR_DONE set and WHDR_INQUEUE cleared; the
// notification carries the handle as wParam and the header as lParam. Reset returns every
// queued buffer in queue order, the one being filled with what it holds so far.
class WaveSession final : public CapturePort, public PlaybackPort {
  public:
    WaveSession(Direction direction, uint32_t handle, const WAVEFORMATEX& format, HWND window);
    ~WaveSession() override;
    WaveSession(const WaveSession&) = delete;
    WaveSession& operator=(const WaveSession&) = delete;

    // Takes the opened stream and starts its driver thread if it needs one. Called once,
    // before the handle is published.
    void Begin(std::unique_ptr<CaptureStream> stream);
    void Begin(std::unique_ptr<PlaybackStream> stream);
    // Posts the open notification, once the handle is published.
    void AnnounceOpen() const;

    // The wave functions; each answers MMSYSERR_INVALHANDLE once the session is closed.
    MMRESULT Prepare(WAVEHDR* header);
    MMRESULT Unprepare(WAVEHDR* header);
    MMRESULT Queue(WAVEHDR* header);
    MMRESULT Start();
    MMRESULT Reset();
    // Refused with WAVERR_STILLPLAYING while buffers are queued. Otherwise stops the driver
    // thread, releases the device and posts the close notification.
    MMRESULT Close();

    uint32_t Overruns() const;

    bool FillNext(const int16_t* samples, size_t count) override;
    bool CompleteNext(std::vector<int16_t>* played) override;
    size_t QueuedCount() const override;
    bool IsStarted() const override;

    // Which window receives the notifications: 0 for CALLBACK_NULL, or the callback window
    // for CALLBACK_WINDOW. Fails with MMSYSERR_INVALFLAG for other callback kinds and with
    // MMSYSERR_INVALPARAM for a window that does not exist.
    static MMRESULT NotificationWindow(uintptr_t callback, uint32_t flags, HWND* window);

  private:
    class TransferControl;

    void StartDriverThread();
    void RunDriver();
    Transfer Move(WAVEHDR* header, StreamControl& control);
    void HaltStream();
    bool Interrupted(uint64_t generation) const { return closing_ || generation_ != generation; }
    bool IsQueued(const WAVEHDR* header) const;
    uint32_t FramesOf(const WAVEHDR* header) const { return header->dwBufferLength / blockAlign_; }
    void CompleteFront();
    void Notify(UINT message, LPARAM lParam) const;

    const Direction direction_;
    const uint32_t handle_;
    const uint32_t blockAlign_;
    const HWND window_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<WAVEHDR*> queue_;
    std::unordered_set<const WAVEHDR*> queued_;  // the same headers, for a constant-time IsQueued
    std::unique_ptr<CaptureStream> capture_;
    std::unique_ptr<PlaybackStream> playback_;
    std::thread driver_;
    uint64_t generation_ = 0;  // bumped by every reset: cancels the transfer in progress
    bool started_ = false;     // capture: between waveInStart and waveInReset
    bool busy_ = false;        // the driver thread is moving the front buffer
    int resetting_ = 0;        // resets under way: the driver thread takes no new buffer
    bool haltPending_ = false;
    bool ended_ = false;  // the stream's source or sink is gone
    bool closed_ = false;
    bool closing_ = false;
};

}  // namespace aurelix::platform::wave_driver
