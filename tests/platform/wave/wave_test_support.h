#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::platform::testing {

inline WAVEFORMATEX Pcm16(uint32_t rate, uint16_t channels) {
    WAVEFORMATEX format;
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = uint16_t(channels * 2);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = 16;
    return format;
}

struct WaveEvent {
    UINT message;
    WPARAM handle;
    WAVEHDR* header;
    uint32_t bytesRecorded;  // as the header held it when the message ran
    uint32_t flags;
    std::chrono::steady_clock::time_point at;
    std::thread::id thread;
};

// A callback window that records every notification it receives, on the thread that
// created it. `onEvent` runs after recording (e.g. to re-queue a buffer).
class WaveEventWindow {
  public:
    WaveEventWindow() : window_(CreateMessageWindow(&Procedure)) {
        SetWindowUserData(window_, this);
    }
    ~WaveEventWindow() { DestroyWindow(window_); }
    WaveEventWindow(const WaveEventWindow&) = delete;
    WaveEventWindow& operator=(const WaveEventWindow&) = delete;

    HWND Handle() const { return window_; }
    uintptr_t Callback() const { return window_; }
    const std::vector<WaveEvent>& Events() const { return events_; }
    std::vector<UINT> Messages() const {
        std::vector<UINT> messages;
        for (const WaveEvent& event : events_) {
            messages.push_back(event.message);
        }
        return messages;
    }
    size_t Count(UINT message) const {
        size_t count = 0;
        for (const WaveEvent& event : events_) {
            count += event.message == message;
        }
        return count;
    }
    // Pumps this thread's messages until `message` has arrived `count` times in all.
    bool WaitFor(UINT message, size_t count, std::chrono::milliseconds timeout) {
        return RunMessageLoop([&] { return Count(message) >= count; }, timeout);
    }

    std::function<void(const WaveEvent&)> onEvent;

  private:
    static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<WaveEventWindow*>(GetWindowUserData(window));
        if (self == nullptr || message < MM_WOM_OPEN || message > MM_WIM_DATA) {
            return 0;
        }
        auto* header = reinterpret_cast<WAVEHDR*>(lParam);
        self->events_.push_back({message, wParam, header, header ? header->dwBytesRecorded : 0,
                                 header ? header->dwFlags : 0, std::chrono::steady_clock::now(),
                                 std::this_thread::get_id()});
        if (self->onEvent) {
            self->onEvent(self->events_.back());
        }
        return 0;
    }

    HWND window_;
    std::vector<WaveEvent> events_;
};

// `count` buffers of `frames` frames with their headers, at stable addresses.
class BufferRing {
  public:
    BufferRing(size_t count, uint32_t frames, uint16_t channels)
        : samples_(count, std::vector<int16_t>(size_t(frames) * channels)), headers_(count) {
        for (size_t i = 0; i < count; ++i) {
            headers_[i].lpData = reinterpret_cast<char*>(samples_[i].data());
            headers_[i].dwBufferLength = uint32_t(samples_[i].size() * sizeof(int16_t));
            headers_[i].dwUser = i;
        }
    }
    WAVEHDR* Header(size_t i) { return &headers_[i]; }
    std::vector<int16_t>& Samples(size_t i) { return samples_[i]; }
    const std::vector<int16_t>& Samples(size_t i) const { return samples_[i]; }
    size_t Count() const { return headers_.size(); }
    // Which buffer a header belongs to.
    size_t IndexOf(const WAVEHDR* header) const { return size_t(header - headers_.data()); }

  private:
    std::vector<std::vector<int16_t>> samples_;
    std::vector<WAVEHDR> headers_;
};

struct CapturedBlocks {
    MMRESULT openResult = MMSYSERR_ERROR;
    std::vector<int16_t> samples;  // everything the returned buffers held, in order
    std::vector<uint32_t> bytes;   // bytes recorded of each returned buffer
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    size_t beforeReset = 0;  // buffers that came back before the final reset
    std::chrono::steady_clock::time_point startedAt;  // right after waveInStart
    std::optional<uint32_t> overruns;                 // read just before the reset
};

// Opens input `device` in `format` on this thread, keeps `buffers` buffers of `frames`
// frames queued, and collects what comes back until `enough` says so or `timeout` has
// passed; then resets (collecting what that returns) and closes.
inline CapturedBlocks CaptureFrom(uint32_t device, const WAVEFORMATEX& format, size_t buffers,
                                  uint32_t frames,
                                  const std::function<bool(const CapturedBlocks&)>& enough,
                                  std::chrono::milliseconds timeout) {
    CapturedBlocks captured;
    WaveEventWindow window;
    BufferRing ring(buffers, frames, format.nChannels);
    HWAVEIN handle = 0;
    bool stopping = false;
    window.onEvent = [&](const WaveEvent& event) {
        if (event.message != MM_WIM_DATA) {
            return;
        }
        const auto* data = reinterpret_cast<const int16_t*>(event.header->lpData);
        captured.samples.insert(captured.samples.end(), data,
                                data + event.bytesRecorded / sizeof(int16_t));
        captured.bytes.push_back(event.bytesRecorded);
        captured.arrivals.push_back(event.at);
        if (!stopping) {
            waveInAddBuffer(handle, event.header, kWaveHdrSize);
        }
    };
    captured.openResult =
        waveInOpen(&handle, device, &format, window.Callback(), 0, CALLBACK_WINDOW);
    if (captured.openResult != MMSYSERR_NOERROR) {
        return captured;
    }
    for (size_t i = 0; i < buffers; ++i) {
        waveInPrepareHeader(handle, ring.Header(i), kWaveHdrSize);
        waveInAddBuffer(handle, ring.Header(i), kWaveHdrSize);
    }
    waveInStart(handle);
    captured.startedAt = std::chrono::steady_clock::now();
    // In short rounds: `enough` may turn true while no message comes.
    const auto deadline = captured.startedAt + timeout;
    while (!enough(captured) && std::chrono::steady_clock::now() < deadline) {
        RunMessageLoop([&] { return enough(captured); }, std::chrono::milliseconds(5));
    }
    stopping = true;
    captured.beforeReset = captured.bytes.size();
    captured.overruns = WaveInOverruns(handle);
    waveInReset(handle);
    DoEvents();
    for (size_t i = 0; i < buffers; ++i) {
        waveInUnprepareHeader(handle, ring.Header(i), kWaveHdrSize);
    }
    waveInClose(handle);
    DoEvents();
    return captured;
}

}  // namespace aurelix::platform::testing
