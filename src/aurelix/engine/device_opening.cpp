#include <cstdint>
#include <filesystem>
#include <new>
#include <optional>
#include <string>

#include "aurelix/analysis/triggers.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/engine/allocate_arrays.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/engine/stored_handle.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_error.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/lamp.h"

namespace aurelix::engine {
namespace {

using platform::HWND;

constexpr int32_t kNotIdle = -1001;
constexpr int kOpenMessageRounds = 100;
constexpr int64_t kFirstSamplePosition = 45;  // after the 44-byte header
constexpr int32_t kUnlimitedFileBytes = 2147483647;

const char* SectionFor(int32_t deviceMode) {
    return deviceMode == 1 ? kWaveInSection : kWaveOutSection;
}

// Kind bit 1 asks for capture, bit 2 for playback; playback wins.
void SelectDeviceMode(clsAurel& engine, state::EngineState& state, int32_t kind) {
    state.DeviceMode = 0;
    if ((kind & 1) != 0) {
        state.DeviceMode = 1;
    }
    if ((kind & 2) != 0) {
        state.DeviceMode = 2;
        engine.LoopMethod(1);
        engine.Playing(true);
    }
}

// Reset with ResettingForInit: closes this thread's earlier device, or the handle an
// earlier run stored, but leaves the hooks, the file and the lamp alone.
void ResetForInit(clsAurel& engine, state::EngineState& state) {
    state.ResettingForInit = true;
    try {
        engine.Reset();
    } catch (...) {
        state.ResettingForInit = false;
        throw;
    }
    state.ResettingForInit = false;
}

void HookWindows(const clsAurel& engine) {
    switch (engine.LoopMethod()) {
        case 0:
            state::ShowLamp(state::kLampReady);
            break;
        case 1:
        case 3:
            capture::SubClassWaveIn(1);
            capture::SubClassTimer(1);
            break;
        default:
            break;
    }
}

void OpenWaveDevice(const clsAurel& engine, state::EngineState& state) {
    const auto device = static_cast<uint32_t>(engine.Device());
    if (state.DeviceMode == 1) {
        platform::waveInOpen(&state.WaveHandle, device, &state.WaveFormat, state.WaveWindow, 0,
                             platform::CALLBACK_WINDOW);
    } else if (state.DeviceMode == 2) {
        platform::waveOutOpen(&state.WaveHandle, device, &state.WaveFormat, state.WaveWindow, 0,
                              platform::CALLBACK_WINDOW);
    }
}

void CloseOrphanedHandle(const state::EngineState& state) {
    if (state.DeviceMode == 0) {
        return;  // no device kind, no stored handle
    }
    const uint32_t stored = OrphanedStoredHandle(SectionFor(state.DeviceMode));
    if (stored == 0) {
        return;
    }
    if (state.DeviceMode == 1) {
        platform::waveInClose(stored);
    } else {
        platform::waveOutClose(stored);
    }
}

// Opens the device; when no handle comes back the first time, the handle a crashed earlier
// run stored (possibly still holding the device) is closed and the open tried once more.
void OpenWithRecovery(clsAurel& engine, state::EngineState& state, int32_t& retries) {
    for (;;) {
        engine.DeviceHandle(0);
        state.WaveHandle = 0;
        state.CallbackDepth = 0;
        OpenWaveDevice(engine, state);
        // Lets the device's open message reach the hooked window.
        for (int round = 0; round < kOpenMessageRounds; ++round) {
            platform::DoEvents();
        }
        if (state.WaveHandle != 0) {
            state.Status |= 2;
            StoreHandle(SectionFor(state.DeviceMode), state.WaveHandle);
            return;
        }
        if (retries != 0) {
            return;
        }
        ++retries;
        CloseOrphanedHandle(state);
    }
}

void PrepareHeaders(clsAurel& engine, state::EngineState& state) {
    // Playback buffers span a whole block of all channels, as capture buffers do, so that
    // the played-out handler and the file reader step through the ring by the same span.
    const int32_t blockBytes =
        platform::CheckedMul32(platform::CheckedMul32(state.BlockSamples, 2), state.ChannelCount);
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        platform::WAVEHDR& header = state.WaveHeaders(i);
        header.lpData = reinterpret_cast<char*>(state.BufferData.Address(0, i));
        header.dwBufferLength = uint32_t(blockBytes);
        header.dwFlags = 0;
        if (state.DeviceMode == 1) {
            platform::waveInPrepareHeader(state.WaveHandle, &header, platform::kWaveHdrSize);
        } else {
            platform::waveOutPrepareHeader(state.WaveHandle, &header, platform::kWaveHdrSize);
        }
    }
    if (state.DeviceMode == 1) {
        platform::waveInStart(state.WaveHandle);
    } else {
        engine.Recording(false);
    }
}

int32_t RecordingLimit(const clsAurel& engine) {
    if (engine.MaxRecordingTime() == 0) {
        return kUnlimitedFileBytes;
    }
    const double bytes = double(platform::CheckedMul32(engine.MaxRecordingTime(), engine.SPS())) *
                         (engine.Bips() / 8.0) * engine.Channels();
    return platform::CheckedAdd32(platform::RoundToInt32(bytes), 44);
}

int32_t OpenBinaryAtFirstSample(const std::string& path) {
    const int32_t number = platform::FreeFile();
    platform::FileOpen(number, path, platform::FileMode::Binary);
    platform::FileSeek(number, kFirstSamplePosition);
    return number;
}

// Opening a FIFO or a device for a recording or a playback would block or never end;
// only a regular file (or none yet, for a recording) will do.
void RefuseIfNotRegularFile(const std::string& path) {
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    if (type != std::filesystem::file_type::not_found &&
        type != std::filesystem::file_type::regular && !error) {
        platform::RaiseFileError(platform::err::kPathFileAccessError,
                                 path + " (not a regular file)");
    }
}

void OpenRecordingOrPlaybackFile(clsAurel& engine, state::EngineState& state) {
    platform::FileClose(state.FileNumber);
    state.FileNumber = 0;
    if (engine.FileName().empty()) {
        engine.Recording(false);
        return;
    }
    if (engine.Recording()) {
        state.MaxFileBytes = RecordingLimit(engine);
        RefuseIfNotRegularFile(engine.FileName());
        const int32_t emptied = platform::FreeFile();
        platform::FileOpen(emptied, engine.FileName(), platform::FileMode::Output);
        platform::FileClose(emptied);
        state.FileNumber = OpenBinaryAtFirstSample(engine.FileName());
        state.FilePosition = int32_t(kFirstSamplePosition);
    } else if (engine.Playing() && state.DeviceMode == 2) {
        // Playing outlives a playback run: a later capture must not open the played file,
        // which the recorder would overwrite. A missing file is an error (53), not a new
        // empty one.
        platform::FileLen(engine.FileName());
        RefuseIfNotRegularFile(engine.FileName());
        state.FileNumber = OpenBinaryAtFirstSample(engine.FileName());
        state.FilePosition = int32_t(kFirstSamplePosition);
    }
}

// One pass of the opening, from the device kind to the file.
void OpenPass(clsAurel& engine, HWND mailbox, HWND wave, HWND timer, int32_t kind,
              int32_t& retries) {
    auto& state = state::State();
    SelectDeviceMode(engine, state, kind);
    state.BlockSamples = engine.Samples();
    state.BufferCount = 0;
    state.InDeviceCount = int32_t(platform::waveInGetNumDevs());
    state.TriggerCount = engine.Triggers().Upper();
    if (state.TriggerCount > 0) {
        analysis::InitTriggers(engine.Triggers(), engine.SPS(), engine.Samples());
    }
    ResetForInit(engine, state);
    state.BlocksDone = 0;
    state.MissedCount = 0;
    engine.SetGlobalConstants();
    if (state.BufferCount < 1) {
        // Without a buffer no block could ever arrive, and Start would seem to succeed.
        platform::Raise(platform::err::kInvalidPropertyValue,
                        "Invalid property value: Buffers is " + std::to_string(state.BufferCount) +
                            "; capture and playback need at least one buffer");
    }
    state.MailboxWindow = mailbox;
    state.WaveWindow = wave;
    state.TimerWindow = timer;
    HookWindows(engine);
    try {
        AllocateArrays();
    } catch (const std::bad_alloc&) {
        // A ring or result arrays too large for memory (a huge Samples or Buffers): the
        // hooks go, so that the next Init starts afresh.
        capture::SubClassWaveIn(0);
        capture::SubClassTimer(0);
        platform::Raise(platform::err::kOutOfMemory);
    }
    OpenWithRecovery(engine, state, retries);
    engine.DeviceHandle(static_cast<int32_t>(state.WaveHandle));
    state.WaveHeaders.ReDim(1, state.BufferCount);
    if (state.WaveHandle == 0) {
        capture::SubClassWaveIn(0);
        capture::SubClassTimer(0);
        platform::Raise(platform::err::kWaveDeviceCannotBeOpened, "Wavedevice cannot be opened!");
    }
    PrepareHeaders(engine, state);
    OpenRecordingOrPlaybackFile(engine, state);
}

}  // namespace

int32_t clsAurel::Init() {
    auto& state = state::State();
    if (flashPointer_ != nullptr && state.Lamp == nullptr) {
        state.Lamp = flashPointer_;
    }
    if (!host_) {
        platform::Raise(platform::err::kObjectRequired);
    }
    if (state.Lamp == nullptr) {
        state.Lamp = &host_->lSub;
    }
    InitX(host_->txtMsg.hwnd(), host_->txtSub.hwnd(), host_->txtTim.hwnd(), 1);
    return 0;
}

std::optional<int32_t> clsAurel::InitX(HWND MailboxWindow, HWND WaveWindow, HWND TimerWindow,
                                       int32_t Kind) {
    auto& state = state::State();
    try {
        if (state.Status != 0) {
            return kNotIdle;
        }
        int32_t retries = 0;
        for (int32_t pass = 0;; ++pass) {
            OpenPass(*this, MailboxWindow, WaveWindow, TimerWindow, Kind, retries);
            // A message-driven device whose open message has not come is opened once more.
            const bool confirmed = (state.Status & 1) != 0;
            if (LoopMethod() % 2 == 0 || confirmed || pass > 0) {
                return std::nullopt;
            }
            platform::DoEvents();
            Reset();
        }
    } catch (const platform::RuntimeError& error) {
        platform::PassOn(error, state.ErrorText, "Function InitX in clsAurel");
    }
}

}  // namespace aurelix::engine
