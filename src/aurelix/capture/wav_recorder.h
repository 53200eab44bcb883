#pragma once

#include <cstdint>

#include "aurelix/state/wav_header.h"

namespace aurelix::capture {

// Appends ring buffer b to the recording file (EngineState::FileNumber) when the whole
// block ends below MaxFileBytes; otherwise finishes the recording instead: writes the
// header over the first 44 bytes, closes the file and mails "donerecording". Does
// nothing without an open file. Reset finishes a recording with b = 0 and
// MaxFileBytes = 0.
//
// While the recording grows its header is kept valid (written with the first block, then
// after each second of sound or of time), so that a recording whose process dies opens
// as it is; the finished file is the same either way. A block that cannot be written
// (a full disk) ends the recording with the blocks before it: ErrorText and a message box
// say why, "donerecording" is mailed, and capture goes on. Any other error leaves
// FileBusy set, so nothing more is written.
void WriteBuffer(int32_t b);

// Fills the 16-bit PCM header for Frames sample frames. Checked 32-bit arithmetic:
// Overflow (6) when a size does not fit.
void MakeWavHeader(state::WavHeader& H, int32_t Frames, int32_t Channels, int32_t Rate,
                   double Bits);

}  // namespace aurelix::capture
