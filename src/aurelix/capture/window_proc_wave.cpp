#include "aurelix/capture/window_proc_wave.h"

#include "aurelix/analysis/analyze.h"
#include "aurelix/capture/buffer_cycle.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/capture/wav_recorder.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/lamp.h"
#include "aurelix/state/mailbox.h"

namespace aurelix::capture {
namespace {

using platform::WAVEHDR;
using state::EngineState;

constexpr int32_t kLastCount = 2147483646;  // counters wrap to 1 after this
constexpr uintptr_t kPrimedByStart = 999;   // playback header states
constexpr uintptr_t kPlayedOut = 1;
constexpr uintptr_t kRefilled = 0;
constexpr int32_t kLampPlaybackDark = platform::RGB(0, 0, 175);
constexpr int32_t kLampPlaybackBright = platform::RGB(0, 0, 255);

// Alternates the lamp on each played-out buffer.
thread_local int32_t PlaybackLampPhase = 0;

int32_t Incremented(int32_t count) {
    return count >= kLastCount ? 1 : count + 1;
}

int32_t NextInRing(int32_t index, int32_t count) {
    return index >= count ? 1 : index + 1;
}

// A routine that fails only because an object (the lamp) is missing does not stop the
// message: processing goes on with the next statement.
template <class Statement>
void IgnoringMissingObject(Statement&& statement) {
    try {
        statement();
    } catch (const platform::RuntimeError& error) {
        if (error.Number() != platform::err::kObjectNotSet) {
            throw;
        }
    }
}

// The header a notification refers to, when it is one of the ring's: a notification of
// an earlier device can still be queued after the ring was reallocated.
WAVEHDR* RingHeader(state::EngineState& state, platform::LPARAM lParam) {
    auto* header = reinterpret_cast<WAVEHDR*>(lParam);
    WAVEHDR* first = state.WaveHeaders.data();
    if (first == nullptr || header < first || header >= first + state.WaveHeaders.Count()) {
        return nullptr;
    }
    return header;
}

void OnCaptureData(state::EngineState& state, platform::LPARAM lParam) {
    state.BlocksDone = Incremented(state.BlocksDone);
    auto& stopwatch = state::Stopwatch();
    stopwatch.Stopp();
    state.LastBlockTime = stopwatch.TimeElapsed();
    if ((state.Status & 7) != 7) {
        return;  // paused or closing: the buffer stays with us
    }
    WAVEHDR* header = RingHeader(state, lParam);
    if (header == nullptr) {
        return;
    }
    state.CallbackBuffer = int32_t(header->dwUser);
    state.BlockRecords(state.CallbackBuffer).CaptureTime = state.LastBlockTime;
    if (state.LoopMode == 1) {
        auto& record = state.BlockRecords(state.CallbackBuffer);
        record.RequeueTime = state.LastBlockTime;
        record.Analyzed = 0;
        // Back to the device before anything else is done with the samples.
        if (int32_t(platform::waveInGetNumDevs()) == state.InDeviceCount) {
            platform::waveInAddBuffer(state.WaveHandle, header, platform::kWaveHdrSize);
        }
    }
    IgnoringMissingObject([&] { CopyBuffer(state.BlocksDone, state.CallbackBuffer); });
    if (!state.FileBusy && state.FileNumber > 0) {
        IgnoringMissingObject([&] { WriteBuffer(state.CallbackBuffer); });
    }
    if (state.AnalysisFlags != 999) {
        if (!state.AnalysisBusy) {
            if (state.TimerId == 0 || state.BufferCount == 1) {
                IgnoringMissingObject(
                    [&] { analysis::Analyze(state.BlocksDone, state.CallbackBuffer); });
            }
        } else {
            state.MissedCount = Incremented(state.MissedCount);
        }
    }
}

void OnDeviceOpen(state::EngineState& state, int32_t lampColour) {
    state.Status |= 1;
    IgnoringMissingObject([&] { state::SendMailText(state.MailboxWindow, "start"); });
    state::ShowLamp(lampColour);
}

// Refills, in ring order, the played-out buffers from k on; returns the samples per
// channel of the last refill.
int32_t RefillPlayedOut(state::EngineState& state, int32_t k) {
    int32_t n = state.BlockSamples;
    int32_t j = k;
    while (state.WaveHeaders(j).dwUser == kPlayedOut) {
        n = QueuePlaybackBuffer(j);
        state.WaveHeaders(j).dwUser = kRefilled;
        j = NextInRing(j, state.BufferCount);
        state.PlayPrimed = NextInRing(state.PlayPrimed, state.BufferCount);
    }
    return n;
}

void OnPlaybackDone(state::EngineState& state, platform::LPARAM lParam) {
    WAVEHDR* header = RingHeader(state, lParam);
    if (header == nullptr) {
        return;
    }
    // Playback buffers are as long as capture buffers (all channels of a block).
    const double blockBytes = double(state.BlockSamples) * 2.0 * state.ChannelCount;
    const double offset = double(header->lpData - reinterpret_cast<char*>(state.BufferData.data()));
    const int32_t k = platform::RoundToInt32(platform::Divide(offset, blockBytes) + 1);
    state.PlayCounter = NextInRing(state.PlayCounter, state.BufferCount);
    int32_t n = state.BlockSamples;
    if (k == state.PlayPrimed) {
        if (state.WaveHeaders(k).dwUser != kPrimedByStart && state.AnalysisFlags > 0) {
            state.CallbackBuffer = k;
            if (!state.AnalysisBusy) {
                IgnoringMissingObject([&] { analysis::Analyze(state.BlocksDone, k); });
            } else {
                state.MissedCount = Incremented(state.MissedCount);
            }
        }
        state.WaveHeaders(k).dwUser = kPlayedOut;
        n = RefillPlayedOut(state, k);
    } else {
        state.WaveHeaders(k).dwUser = kPlayedOut;  // refilled when the expected one is done
    }
    if (PlaybackLampPhase == 1) {
        state::ShowLamp(kLampPlaybackDark);
        PlaybackLampPhase = 0;
    } else {
        state::ShowLamp(kLampPlaybackBright);
        PlaybackLampPhase = 1;
    }
    if (n == 0 && PlaybackExhausted()) {
        IgnoringMissingObject([&] { state::SendMailText(state.MailboxWindow, "doneplay"); });
    }
}

void Dispatch(state::EngineState& state, platform::UINT message, platform::LPARAM lParam) {
    switch (message) {
        case platform::MM_WIM_DATA:
            OnCaptureData(state, lParam);
            break;
        case platform::MM_WIM_OPEN:
            OnDeviceOpen(state, state::kLampPaused);
            break;
        case platform::MM_WOM_OPEN:
            OnDeviceOpen(state, state::kLampPlaybackOpen);
            break;
        case platform::MM_WIM_CLOSE:
            IgnoringMissingObject([&] { state::SendMailText(state.MailboxWindow, "closed"); });
            break;
        case platform::MM_WOM_DONE:
            OnPlaybackDone(state, lParam);
            break;
        default:
            break;  // MM_WOM_CLOSE and everything else: consumed
    }
}

}  // namespace

platform::LRESULT WindowProcWave(platform::HWND /*window*/, platform::UINT message,
                                 platform::WPARAM /*wParam*/, platform::LPARAM lParam) {
    auto& state = state::State();
    state.CallbackDepth += 1;
    if (state.CallbackDepth > kMaxCallbackDepth || state.SubclassMark != 0) {
        state.CallbackDepth -= 1;
        return 0;
    }
    try {
        Dispatch(state, message, lParam);
    } catch (const platform::RuntimeError& error) {
        state.SubclassMark = error.Number();
        SubClassWaveIn(0);
    }
    state.CallbackDepth -= 1;
    return 0;
}

}  // namespace aurelix::capture
