#include <cstdint>
#include <string>

#include "aurelix/capture/buffer_cycle.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/capture/wav_recorder.h"
#include "aurelix/capture/window_proc_timer.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/engine/stored_handle.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/mm_timer.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/lamp.h"
#include "aurelix/state/mailbox.h"

namespace aurelix::engine {
namespace {

using platform::RuntimeError;
namespace err = platform::err;

constexpr uintptr_t kPrimedByStart = 999;

void KillAnalysisTimer(state::EngineState& state) {
    if (state.TimerId != 0) {
        platform::timeKillEvent(state.TimerId);
    }
    state.TimerId = 0;
}

// Queues every capture buffer and sets the pacing of the timer-driven analysis. False
// when the number of wave-in devices changed since the opening: then nothing is queued.
bool StartCapture(const clsAurel& engine, state::EngineState& state) {
    state.Backlog = 0;
    if (int32_t(platform::waveInGetNumDevs()) != state.InDeviceCount) {
        return false;
    }
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        platform::WAVEHDR& header = state.WaveHeaders(i);
        header.dwBytesRecorded = 0;
        header.dwUser = uintptr_t(i);
        platform::waveInAddBuffer(state.WaveHandle, &header, platform::kWaveHdrSize);
    }
    state.BacklogLimit = platform::FloorToInt32(engine.Buffers() / 2.0) + 1;
    state.BacklogMin = engine.Buffers() < 3 ? 1 : 2;
    if (state.BufferCount > 1) {
        state.TimerPeriod = platform::FloorToInt32(
            platform::Divide(double(engine.Samples()) * 1000.0, engine.SPS()));
        if (state.BufferCount == 2) {
            state.TimerPeriod = platform::RoundToInt32(state.TimerPeriod / 2.0);
        }
        KillAnalysisTimer(state);
        if ((engine.Analysis() & 2) != 0) {
            state.TimerId =
                platform::timeSetEvent(uint32_t(state.TimerPeriod), 1000, &capture::TimerProc,
                                       capture::TimerProcTarget(), platform::TIME_PERIODIC);
        }
    }
    return true;
}

void StartPlayback(state::EngineState& state) {
    const int32_t first = state.WaveHeaders.Lower();
    const int32_t last = state.WaveHeaders.Upper();
    for (int32_t i = first; i <= last; ++i) {
        state.WaveHeaders(i).dwFlags = platform::WHDR_PREPARED;
        state.WaveHeaders(i).dwUser = 0;
    }
    state.PlayPrimed = 1;
    for (int32_t i = first; i <= last; ++i) {
        state.WaveHeaders(i).dwBytesRecorded = 0;
        state.WaveHeaders(i).dwUser = kPrimedByStart;
    }
    state.PlayCounter = 0;
    // The output device plays only what is queued to it: every buffer is primed with the
    // file's first blocks and queued here; the played-out handler refills and queues
    // them again from then on.
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        capture::QueuePlaybackBuffer(i);
    }
    if (capture::PlaybackExhausted()) {
        state::SendMailText(state.MailboxWindow, "doneplay");
    }
}

// Reset keeps a mark of where it is; an error's handling depends on its number and the
// mark in force (set before the marked step, kept by the unmarked steps after it).
enum class ResetMark {
    Other,
    UnprepareIn,
    UnprepareOut,
    HostTimer,
    Hooks,
    FileLength,
    FilePosition,
    Lamp
};

enum class ResetAction { Continue, EndQuietly, PassOn };

ResetAction HandlingOf(ResetMark mark, int32_t number) {
    switch (mark) {
        case ResetMark::UnprepareIn:
        case ResetMark::UnprepareOut:
            if (number == err::kSubscriptOutOfRange || number == err::kObjectNotSet) {
                return ResetAction::Continue;  // on with closing the device
            }
            break;
        case ResetMark::HostTimer:
        case ResetMark::Hooks:
        case ResetMark::Lamp:
            if (number == err::kObjectNotSet) {
                return ResetAction::Continue;
            }
            break;
        case ResetMark::FileLength:
            if (number == err::kFileNotFound) {
                return ResetAction::Continue;
            }
            break;
        case ResetMark::FilePosition:
            if (number == err::kBadFileNameOrNumber) {
                return ResetAction::Continue;
            }
            break;
        case ResetMark::Other:
            break;
    }
    switch (number) {
        case err::kInvalidCall:
        case err::kSubscriptOutOfRange:
        case err::kBadFileNameOrNumber:
        case err::kFileNotFound:
            return ResetAction::EndQuietly;
        default:
            return ResetAction::PassOn;
    }
}

// Runs Reset's statements one by one under the current mark.
class ResetSteps {
  public:
    explicit ResetSteps(state::EngineState& state) : state_(state) {}

    void Mark(ResetMark mark) noexcept { mark_ = mark; }

    template <class Statement>
    void Run(Statement&& statement) {
        if (ended_) {
            return;
        }
        try {
            statement();
        } catch (const RuntimeError& error) {
            switch (HandlingOf(mark_, error.Number())) {
                case ResetAction::Continue:
                    return;
                case ResetAction::EndQuietly:
                    ended_ = true;
                    return;
                case ResetAction::PassOn:
                    platform::PassOn(error, state_.ErrorText,
                                     "Error in Function Reset of clsAurel:");
            }
        }
    }

  private:
    state::EngineState& state_;
    ResetMark mark_ = ResetMark::Other;
    bool ended_ = false;
};

void UnprepareAll(state::EngineState& state, bool capture) {
    for (int32_t i = 1; i <= state.WaveHeaders.Upper(); ++i) {
        if (capture) {
            platform::waveInUnprepareHeader(state.WaveHandle, &state.WaveHeaders(i),
                                            platform::kWaveHdrSize);
        } else {
            platform::waveOutUnprepareHeader(state.WaveHandle, &state.WaveHeaders(i),
                                             platform::kWaveHdrSize);
        }
    }
}

}  // namespace

void clsAurel::SetGlobalConstants() {
    auto& state = state::State();
    state.ThresholdLevel = state::ThresholdLevelOf(threshold_);
    state.LoopMode = loopMethod_;
    state.SampleRate = sps_;
    state.BlockSamples = samples_;
    state.AnalysisFlags = analysis_;
    state.BufferCount = buffers_;
    state.ChannelCount = channels_;
    state.MaxFileBytes = 0;
}

int32_t clsAurel::Start() {
    auto& state = state::State();
    return platform::Trapped(state.ErrorText, "Function Start in clsAurel", [&] {
        state.CurrentBuffer = 1;
        state.CallbackBuffer = 1;
        state.Status |= 4;
        switch (loopMethod_) {
            case 0: {
                if (timerInterval_ == 0) {
                    TimerInterval(
                        platform::FloorToInt32(platform::Divide(double(samples_) * 1000.0, sps_)));
                }
                platform::UiTimer* timer = state.Timer;
                if (timer == nullptr) {
                    platform::Raise(err::kObjectNotSet);
                }
                timer->Interval(timerInterval_);
                timer->Enabled(true);
                break;
            }
            case 1:
            case 3:
                state.NotifyCount = 1;
                if (state.DeviceMode == 1 && !StartCapture(*this, state)) {
                    return 0;  // the device list changed: capture stays dry, quietly
                }
                if (state.DeviceMode == 2) {
                    StartPlayback(state);
                }
                break;
            default:
                break;
        }
        state.StartTime = platform::SecondsSinceMidnight();
        state::Stopwatch().Calibrate();
        state::Stopwatch().Start();
        return 0;
    });
}

int32_t clsAurel::Pause() {
    auto& state = state::State();
    try {
        state.Status &= ~4;
        KillAnalysisTimer(state);
        if (state.Timer == nullptr) {
            return 0;  // no host timer (91): Pause ends here
        }
        if (state.Timer->Enabled()) {
            state.Timer->Enabled(false);
        }
        state::ShowLamp(loopMethod_ == 0 ? state::kLampReady : state::kLampPaused);
        return 0;
    } catch (const RuntimeError& error) {
        if (error.Number() == err::kObjectNotSet) {
            return 0;
        }
        state.ErrorText = error.Description();
        platform::Raise(error.Number(), state.ErrorText);
    }
}

int32_t clsAurel::Reset() {
    auto& state = state::State();
    ResetSteps steps(state);
    std::string section;
    steps.Run([&] {
        section = state.DeviceMode == 1   ? kWaveInSection
                  : state.DeviceMode == 2 ? kWaveOutSection
                                          : "x";
    });
    // This thread's handle, or one a crashed earlier run stored, is closed below; a stored
    // handle whose owner still runs belongs to a live engine and is left alone.
    steps.Run([&] {
        if (state.WaveHandle != 0) {
            if (ReadStoredHandle(section) != state.WaveHandle) {
                StoreHandle(section, state.WaveHandle);
            }
        } else {
            state.WaveHandle = OrphanedStoredHandle(section);
        }
    });
    steps.Run([&] { KillAnalysisTimer(state); });
    // Not running any more: the buffers the device gives back below (empty, or the one it
    // was filling) are not blocks of the run and must not reach the recording.
    steps.Run([&] { state.Status &= ~4; });
    if (state.WaveHandle != 0 && state.DeviceMode == 1) {
        steps.Run([&] { platform::waveInReset(state.WaveHandle); });
        steps.Mark(ResetMark::UnprepareIn);
        steps.Run([&] { UnprepareAll(state, true); });
        steps.Run([&] { platform::waveInClose(state.WaveHandle); });
    } else if (state.WaveHandle != 0 && state.DeviceMode == 2) {
        steps.Run([&] { platform::waveOutReset(state.WaveHandle); });
        steps.Mark(ResetMark::UnprepareOut);
        steps.Run([&] { UnprepareAll(state, false); });
        steps.Run([&] { platform::waveOutClose(state.WaveHandle); });
    }
    steps.Run([] { platform::DoEvents(); });
    steps.Run([&] {
        state.SpectrumL.ReDim(0, 1);
        state.BufferData.ReDim(0, 1, 1, 1);
    });
    steps.Mark(ResetMark::HostTimer);
    steps.Run([&] {
        if (state.Timer == nullptr) {
            platform::Raise(err::kObjectNotSet);
        }
        state.Timer->Enabled(false);
    });
    steps.Run([&] {
        state.Status = 0;
        state.AnalysisBusy = false;
    });
    if (state.ResettingForInit) {
        return 0;
    }
    steps.Mark(ResetMark::Hooks);
    if (loopMethod_ == 1 || loopMethod_ == 3) {
        steps.Run([] { capture::SubClassWaveIn(0); });
        steps.Run([] { capture::SubClassTimer(0); });
    }
    if (state.DeviceMode == 1) {
        steps.Run([&] {
            if (state.FileNumber > 0 && platform::FileLength(state.FileNumber) > 0) {
                state.MaxFileBytes = 0;
                capture::WriteBuffer(0);  // finishes the recording
            }
        });
        steps.Run([&] {
            platform::FileClose(state.FileNumber);
            state.FileNumber = 0;
        });
        if (!fileName_.empty()) {
            steps.Mark(ResetMark::FileLength);
            steps.Run([&] { state.FilePosition = int32_t(platform::FileLen(fileName_)); });
        }
        steps.Run([] { platform::DoEvents(); });
    } else if (state.DeviceMode == 2 && state.FileNumber > 0) {
        steps.Mark(ResetMark::FilePosition);
        steps.Run([&] { state.FilePosition = int32_t(platform::FileSeek(state.FileNumber)); });
        steps.Run([&] {
            platform::FileClose(state.FileNumber);
            state.FileNumber = 0;
        });
    }
    steps.Mark(ResetMark::Lamp);
    steps.Run([] { state::ShowLamp(state::kLampClosed); });
    // The lamp was borrowed; a standalone engine also lets go of the one handed in.
    steps.Run([&] {
        state.Lamp = nullptr;
        if (!state.HostedByControl) {
            FlashControl(nullptr);
        }
    });
    return 0;
}

}  // namespace aurelix::engine
