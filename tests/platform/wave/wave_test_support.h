#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <optional>
#include <string>
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
    size_t Count(UINT message) const { return std::ranges::count(Messages(), message); }
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
        }
    }
    WAVEHDR* Header(size_t i) { return &headers_[i]; }
    std::vector<int16_t>& Samples(size_t i) { return samples_[i]; }
    size_t Count() const { return headers_.size(); }
    // Which buffer a header belongs to.
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
    MMRESULT openResult = MMSYSERR_ERROR;
    std::vector<int16_t> samples;  // everything the returned buffers held, in order
    std::vector<uint32_t> bytes;   // bytes recorded of each returned buffer
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    size_t beforeReset = 0;  // buffers that came back before the final reset
    std::chrono::steady_clock::time_point startedAt;  // right after waveInStart
    std::optional<uint32_t> overruns;                 // read just before the reset

    // The samples of the buffers that came back before the reset.
    std::vector<int16_t> SamplesBeforeReset() const {
        size_t count = 0;
        for (size_t i = 0; i < beforeReset; ++i) {
            count += bytes[i] / 2;
        }
        return {samples.begin(), samples.begin() + count};
    }
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
        EXPECT_EQ(event.thread, std::this_thread::get_id()) << "not the window's thread";
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
    QueueAll(handle, ring);
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
    ResetAndClose(handle, ring);
    return captured;
}

// Adds `path` as an input device, reads it through four `frames`-frame buffers until the
// short buffer that ends it and a while after, then removes the device.
inline CapturedBlocks ReadThrough(const std::string& path, const WAVEFORMATEX& format,
                                  uint32_t frames, bool paced = false) {
    using namespace std::chrono_literals;
    const WaveDeviceRegistration added = AddFileInputDevice(path, paced);
    EXPECT_TRUE(added) << added.error;
    std::optional<std::chrono::steady_clock::time_point> ended;
    const uint32_t full = frames * format.nBlockAlign;
    CapturedBlocks captured = CaptureFrom(
        added.deviceId, format, 4, frames,
        [&](const CapturedBlocks& c) {
            if (!ended && !c.bytes.empty() && c.bytes.back() < full) {
                ended = std::chrono::steady_clock::now();
            }
            // Long enough to see a buffer that should not come.
            return ended && std::chrono::steady_clock::now() - *ended > 50ms;
        },
        10s);
    EXPECT_TRUE(RemoveWaveDevice(added.key));
    return captured;
}

// The null output's id (the count of outputs when it is not listed).
inline uint32_t NullOutputId() {
    uint32_t id = 0;
    WAVEOUTCAPS caps;
    while (waveOutGetDevCapsA(id, &caps, kWaveOutCapsSize) == MMSYSERR_NOERROR &&
           std::string(caps.szPname) != "Null output (discards)") {
        ++id;
    }
    return id;
}

// Plays every buffer of `ring` on `device`, checks that they come back done in order, and
// returns the time from the first write to the last buffer's return.
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
    EXPECT_TRUE(window.WaitFor(MM_WOM_DONE, ring.Count(), std::chrono::seconds(10)));
    const auto lastDone = window.Events().back().at;
    for (size_t i = 0; i < ring.Count(); ++i) {
        EXPECT_EQ(window.Events()[i + 1].header, ring.Header(i)) << "done out of order";
        EXPECT_EQ(waveOutUnprepareHeader(handle, ring.Header(i), kWaveHdrSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    return lastDone - firstWrite;
}

}  // namespace aurelix::platform::testing
