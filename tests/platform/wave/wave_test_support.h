#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <ranges>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::platform::testing {

inline WAVEFORMATEX Pcm16(uint32_t rate, uint16_t channels) {
    const auto blockAlign = uint16_t(channels * 2);
    return {WAVE_FORMAT_PCM, channels, rate, rate * blockAlign, blockAlign, 16, 0};
}

// The simulated tones' sine at frame k, before scaling and rounding; the phase is taken
// over the rate so that it stays exact however far k runs.
inline double Sine(double frequency, uint64_t k, double rate) {
    return std::sin(2.0 * std::numbers::pi * std::fmod(frequency * double(k), rate) / rate);
}

struct WaveEvent {
    UINT message;
    WPARAM handle;
    WAVEHDR* header;
    uint32_t bytesRecorded;  // as the header held it when the message ran
    uint32_t flags;
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

    uintptr_t Callback() const { return window_; }
    std::vector<UINT> Messages() const {
        const auto messages = std::views::transform(events, &WaveEvent::message);
        return {messages.begin(), messages.end()};
    }
    size_t Count(UINT message) const { return std::ranges::count(Messages(), message); }

    std::vector<WaveEvent> events;
    std::function<void(const WaveEvent&)> onEvent;

  private:
    static LRESULT Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<WaveEventWindow*>(GetWindowUserData(window));
        if (self == nullptr || message < MM_WOM_OPEN || message > MM_WIM_DATA) {
            return 0;
        }
        auto* header = reinterpret_cast<WAVEHDR*>(lParam);
        self->events.push_back({message, wParam, header, header ? header->dwBytesRecorded : 0,
                                header ? header->dwFlags : 0, std::this_thread::get_id()});
        if (self->onEvent) {
            self->onEvent(self->events.back());
        }
        return 0;
    }

    HWND window_;
};

// `count` buffers of `frames` frames with their headers, at stable addresses.
class BufferRing {
  public:
    BufferRing(size_t count, uint32_t frames, uint16_t channels)
        : samples_(count, std::vector<int16_t>(size_t(frames) * channels)), headers_(count) {
        for (size_t i = 0; i < count; ++i) {
            headers_[i].lpData = reinterpret_cast<char*>(samples_[i].data());
            headers_[i].dwBufferLength = uint32_t(samples_[i].size() * sizeof(int16_t));
        }
    }
    WAVEHDR* Header(size_t i) { return &headers_[i]; }
    std::vector<int16_t>& Samples(size_t i) { return samples_[i]; }
    size_t Count() const { return headers_.size(); }
    size_t IndexOf(const WAVEHDR* header) const { return size_t(header - headers_.data()); }

  private:
    std::vector<std::vector<int16_t>> samples_;
    std::vector<WAVEHDR> headers_;
};

// Prepares the buffers of `ring` and queues them on a capture handle, in order.
inline void QueueAll(HWAVEIN handle, BufferRing& ring) {
    for (size_t i = 0; i < ring.Count(); ++i) {
        ASSERT_EQ(waveInPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
}

// Resets a capture handle, unprepares the buffers of `ring` and closes it.
inline void ResetAndClose(HWAVEIN handle, BufferRing& ring) {
    EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    DoEvents();
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(waveInUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    DoEvents();
}

struct CapturedBlocks {
    std::vector<int16_t> samples;  // everything the returned buffers held, in order
    std::vector<uint32_t> bytes;   // bytes recorded of each returned buffer
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    size_t beforeReset = 0;  // buffers that came back before the final reset
    std::chrono::steady_clock::time_point startedAt;  // right after waveInStart
};

// Opens input `device` in `format` on this thread, keeps `buffers` buffers of `frames`
// frames queued, and collects what comes back until `enough` says so (asked as each
// buffer comes back) or `timeout` has passed; then resets (collecting what that returns)
// and closes.
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
        EXPECT_EQ(event.thread, std::this_thread::get_id()) << "not the window's thread";
        if (event.message != MM_WIM_DATA) {
            return;
        }
        const auto* data = reinterpret_cast<const int16_t*>(event.header->lpData);
        captured.samples.insert(captured.samples.end(), data, data + event.bytesRecorded / 2);
        captured.bytes.push_back(event.bytesRecorded);
        captured.arrivals.push_back(std::chrono::steady_clock::now());
        if (!stopping) {
            waveInAddBuffer(handle, event.header, kWaveHdrSize);
        }
    };
    EXPECT_EQ(waveInOpen(&handle, device, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    QueueAll(handle, ring);
    waveInStart(handle);
    captured.startedAt = std::chrono::steady_clock::now();
    RunMessageLoop([&] { return enough(captured); }, timeout);
    stopping = true;
    captured.beforeReset = captured.bytes.size();
    ResetAndClose(handle, ring);
    return captured;
}

// Plays every buffer of `ring` on `device`, checks that they come back done in order, and
// returns the time from the first write until the last has come back.
inline std::chrono::steady_clock::duration PlayAll(uint32_t device, const WAVEFORMATEX& format,
                                                   BufferRing& ring) {
    WaveEventWindow window;
    HWAVEOUT handle = 0;
    EXPECT_EQ(waveOutOpen(&handle, device, &format, window.Callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    const auto firstWrite = std::chrono::steady_clock::now();
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(waveOutPrepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutWrite(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(RunMessageLoop([&] { return window.Count(MM_WOM_DONE) >= ring.Count(); },
                               std::chrono::seconds(10)));
    const auto took = std::chrono::steady_clock::now() - firstWrite;
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(window.events[i + 1].header, ring.Header(i)) << "done out of order";
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    return took;
}

}  // namespace aurelix::platform::testing
