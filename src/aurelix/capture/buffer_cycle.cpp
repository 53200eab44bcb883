#include "aurelix/capture/buffer_cycle.h"

#include <algorithm>

#include "aurelix/capture/bmove.h"
#include "aurelix/capture/window_proc_timer.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/mm_timer.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/ring_buffer.h"

namespace aurelix::capture {

using platform::CheckedMul32;

namespace {

// Samples in one ring buffer (all channels).
int32_t SamplesPerBuffer(const state::EngineState& state) {
    return CheckedMul32(state.ChannelCount, state.BlockSamples);
}

}  // namespace

void NextBuffer(int32_t /*ignored*/) {
    auto& state = state::State();
    platform::Trapped(state.ErrorText, "Sub NextBuffer in Aurelix", [&] {
        state.CurrentBuffer += 1;
        if (state.CurrentBuffer > state.BufferCount) {
            state.CurrentBuffer = 1;
        }
        platform::WAVEHDR& header = state.WaveHeaders(state.CurrentBuffer);
        const int64_t recorded = header.dwBytesRecorded;
        const int64_t full = int64_t(SamplesPerBuffer(state)) * 2;
        if (int32_t(platform::waveInGetNumDevs()) == state.InDeviceCount &&
            (recorded == 0 || recorded == full)) {
            header.dwBytesRecorded = 0;
            if (int32_t(platform::waveInGetNumDevs()) == state.InDeviceCount) {
                platform::waveInAddBuffer(state.WaveHandle, &header, platform::kWaveHdrSize);
            }
        }
        if (state.OldTimerProc != nullptr && state.TimerId == 0 && state.TimerPeriod != 0) {
            state.TimerId = platform::timeSetEvent(uint32_t(state.TimerPeriod), 1000, &TimerProc,
                                                   TimerProcTarget(), platform::TIME_PERIODIC);
        }
    });
}

void CopyBuffer(int32_t Block, int32_t b) {
    auto& state = state::State();
    auto& record = state.BlockRecords(b);
    record.BlockNumber = Block;
    record.Analyzed = 0;
    const int32_t total = SamplesPerBuffer(state);
    if (total <= 0) {
        return;
    }
    if (state.ChannelCount != 1) {
        // Pairs: first channel at even, second at odd positions.
        const int32_t frames = (total + 1) / 2;
        const int16_t* source = state::RingSamples(state, b, 2 * frames);
        int16_t* left = record.Left.Range(0, frames - 1);
        int16_t* right = record.Right.Range(0, frames - 1);
        for (int32_t k = 0; k < frames; ++k) {
            left[k] = source[2 * k];
            right[k] = source[2 * k + 1];
        }
        return;
    }
    BMOVE(state::RingSamples(state, b, state.BlockSamples),
          record.Left.Range(0, state.BlockSamples - 1), state.BlockSamples * 2);
}

int32_t PlayFileReader(int32_t j) {
    auto& state = state::State();
    if (state.FileNumber == 0) {
        return 0;
    }
    try {
        const int32_t file = state.FileNumber;
        const int64_t frameBytes = int64_t(state.ChannelCount) * 2;
        const int64_t remainingFrames =
            std::max<int64_t>(0, platform::FileLength(file) - platform::FileSeek(file) + 1) /
            frameBytes;
        const int32_t n = int32_t(std::min<int64_t>(state.BlockSamples, remainingFrames));
        if (n > 0) {
            const int32_t samples = CheckedMul32(n, state.ChannelCount);
            platform::FileRead(file, state::RingSamples(state, j, samples), size_t(samples) * 2);
        }
        // Less than one frame left: the file is done, the next call gives 0.
        if (platform::FileLength(file) - platform::FileSeek(file) + 1 < frameBytes) {
            platform::FileClose(file);
            state.FileNumber = 0;
        }
        return n;
    } catch (const platform::RuntimeError& error) {
        if (error.Number() == platform::err::kBadFileNameOrNumber) {
            platform::FileClose(state.FileNumber);
            state.FileNumber = 0;
        }
        return 0;
    }
}

int32_t QueuePlaybackBuffer(int32_t j) {
    auto& state = state::State();
    const int32_t n = PlayFileReader(j);
    platform::WAVEHDR& header = state.WaveHeaders(j);
    if (n != state.BlockSamples) {
        header.dwBufferLength = uint32_t(CheckedMul32(n, state.ChannelCount) * 2);
    }
    if (n > 0) {
        platform::waveOutWrite(state.WaveHandle, &header, platform::kWaveHdrSize);
    }
    return n;
}

bool PlaybackExhausted() {
    auto& state = state::State();
    for (int32_t i = 1; i <= state.BufferCount; ++i) {
        if (state.WaveHeaders(i).dwBufferLength != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace aurelix::capture
