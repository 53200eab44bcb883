#include "aurelix/capture/wav_recorder.h"

#include <bit>

#include "aurelix/capture/bmove.h"
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

void AppendBlock(state::EngineState& state, int32_t b, int32_t blockBytes) {
    const int32_t samples = blockBytes / 2;
    BMOVE(state::RingSamples(state, b, samples), state.InterleavedBlock.Range(0, samples - 1),
          blockBytes);
    platform::FileWrite(state.FileNumber, state.InterleavedBlock.data(),
                        size_t(state.InterleavedBlock.Count()) * 2);
    state.FilePosition = int32_t(platform::FileSeek(state.FileNumber));
}

void FinishRecording(state::EngineState& state) {
    const double frames = double(platform::FileSeek(state.FileNumber) - kFirstSamplePosition) /
                          (double(state.ChannelCount) * 2.0);
    MakeWavHeader(state.WavHeader, platform::RoundToInt32(frames), state.ChannelCount,
                  state.SampleRate, 16);
    platform::FileWriteAt(state.FileNumber, 1, &state.WavHeader, sizeof(state::WavHeader));
    state.FilePosition = int32_t(platform::FileLength(state.FileNumber));
    platform::FileClose(state.FileNumber);
    state.FileNumber = 0;
    state::SendMailText(state.MailboxWindow, "donerecording");
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
            AppendBlock(state, b, blockBytes);
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
