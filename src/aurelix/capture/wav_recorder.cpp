#include "aurelix/capture/wav_recorder.h"

#include <bit>
#include <chrono>
#include <string>

#include "aurelix/capture/bmove.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/runtime/numbers.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/state/engine_state.h"
#include "aurelix/state/mailbox.h"
#include "aurelix/state/ring_buffer.h"

namespace aurelix::capture {

// The header is written as the record's raw bytes, which must be little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int64_t kFirstSamplePosition = 45;  // after the 44-byte header
// A killed process leaves the header as it was last written: rewritten at least this
// often (and after each second of sound), a crashed recording stays readable up to then.
constexpr auto kHeaderRefreshInterval = std::chrono::seconds(1);

// The header of the samples before `end`, the position after the last one.
void FillHeaderUpTo(const state::EngineState& state, state::WavHeader& header, int64_t end) {
    const double frames = double(end - kFirstSamplePosition) / (double(state.ChannelCount) * 2.0);
    MakeWavHeader(header, platform::RoundToInt32(frames), state.ChannelCount, state.SampleRate, 16);
}

void RefreshHeader(state::EngineState& state, bool firstBlock) {
    const int64_t end = platform::FileSeek(state.FileNumber);
    const int64_t secondOfSound = int64_t(state.SampleRate) * state.ChannelCount * 2;
    const auto now = std::chrono::steady_clock::now();
    if (!firstBlock && end - state.HeaderPosition < secondOfSound &&
        now - state.HeaderWrittenAt < kHeaderRefreshInterval) {
        return;
    }
    state::WavHeader header;
    FillHeaderUpTo(state, header, end);
    platform::FileWriteAt(state.FileNumber, 1, &header, sizeof header);
    platform::FileSeek(state.FileNumber, end);
    state.HeaderPosition = end;
    state.HeaderWrittenAt = now;
}

void FinishRecording(state::EngineState& state) {
    FillHeaderUpTo(state, state.WavHeader, platform::FileSeek(state.FileNumber));
    platform::FileWriteAt(state.FileNumber, 1, &state.WavHeader, sizeof(state::WavHeader));
    state.FilePosition = int32_t(platform::FileLength(state.FileNumber));
    platform::FileClose(state.FileNumber);
    state.FileNumber = 0;
    state::SendMailText(state.MailboxWindow, "donerecording");
}

// A block that cannot be written (a full disk, a failing device) ends the recording with
// the blocks before it, the host is told, and capture and analysis go on.
void EndAfterFailedWrite(state::EngineState& state, const platform::RuntimeError& error,
                         int64_t blockPosition) {
    state.ErrorText = error.Description();
    platform::MsgBox(
        std::to_string(error.Number()) + ": Function WriteBuffer in Aurelix\r\n" + state.ErrorText,
        platform::kMsgBoxCritical, "Aurelix");
    platform::FileSetLength(state.FileNumber, blockPosition - 1);  // no part of the block
    FinishRecording(state);
}

void AppendBlock(state::EngineState& state, int32_t b, int32_t blockBytes, int64_t position) {
    const int32_t samples = blockBytes / 2;
    BMOVE(state::RingSamples(state, b, samples), state.InterleavedBlock.Range(0, samples - 1),
          blockBytes);
    try {
        platform::FileWrite(state.FileNumber, state.InterleavedBlock.data(),
                            size_t(state.InterleavedBlock.Count()) * 2);
    } catch (const platform::RuntimeError& error) {
        EndAfterFailedWrite(state, error, position);
        return;
    }
    RefreshHeader(state, position == kFirstSamplePosition);
    state.FilePosition = int32_t(platform::FileSeek(state.FileNumber));
}

}  // namespace

void WriteBuffer(int32_t b) {
    auto& state = state::State();
    state.FileBusy = true;
    if (state.FileNumber == 0) {
        state.FileBusy = false;
        return;
    }
    platform::Trapped(state.ErrorText, "Function WriteBuffer in Aurelix", [&] {
        const int64_t position = platform::FileSeek(state.FileNumber);
        const int32_t blockBytes = platform::CheckedMul32(
            platform::CheckedMul32(state.BlockSamples, 2), state.ChannelCount);
        if (position + blockBytes - 1 < state.MaxFileBytes) {
            AppendBlock(state, b, blockBytes, position);
        } else {
            FinishRecording(state);
        }
        state.FileBusy = false;
    });
}

void MakeWavHeader(state::WavHeader& H, int32_t Frames, int32_t Channels, int32_t Rate,
                   double Bits) {
    using platform::CheckedAdd32;
    using platform::CheckedMul32;
    const int32_t dataSize =
        platform::RoundToInt32(Bits * double(CheckedMul32(Frames, Channels)) / 8.0);
    H.ChunkId = {'R', 'I', 'F', 'F'};
    H.ChunkSize = CheckedAdd32(dataSize, 36);
    H.Format = {'W', 'A', 'V', 'E'};
    H.SubChunkId = {'f', 'm', 't', ' '};
    H.SubChunkSize = 16;
    H.AudioFormat = 1;
    H.Channels = platform::CheckedInt16(Channels);
    H.SampleRate = Rate;
    H.BlockAlign = platform::RoundToInt16(Bits * Channels / 8.0);
    H.ByteRate = CheckedMul32(H.BlockAlign, H.SampleRate);
    H.BitsPerSample = platform::RoundToInt16(Bits);
    H.DataId = {'d', 'a', 't', 'a'};
    H.DataSize = dataSize;
}

}  // namespace aurelix::capture
