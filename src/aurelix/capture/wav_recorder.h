#pragma once

#include <cstdint>

#include "aurelix/state/wav_header.h"

namespace aurelix::capture {

// Appends ring buffer b to the recording file (EngineState::FileNumber) when the whole
// block ends below MaxFileBytes; otherwise finishes the recording instead: writes the
// header over the first 44 bytes, closes the file and mails "donerecording". Does
// nothing without an open file. Reset finishes a recording with b = 0 and
// MaxFileBytes = 0. An error leaves FileBusy set, so nothing more is written.
void WriteBuffer(int32_t b);

// Fills the 16-bit PCM header for Frames sample frames. Checked 32-bit arithmetic:
// Overflow (6) when a size does not fit.
void MakeWavHeader(state::WavHeader& H, int32_t Frames, int32_t Channels, int32_t Rate,
                   double Bits);

}  // namespace aurelix::capture
