#pragma once

#include <cstdint>

namespace aurelix::capture {

// The buffer step of loop methods 0 and 3: advances CurrentBuffer (wrapping to 1) and
// queues that capture buffer again when it is empty or completely filled and the number
// of wave-in devices has not changed; starts the multimedia timer when the timer window
// is hooked and no timer runs. The argument has no effect.
void NextBuffer(int32_t ignored);

// Splits ring buffer b into its block record, one array per channel, and stores the
// block number there. Raises 9 for a buffer or record outside the ring.
void CopyBuffer(int32_t Block, int32_t b);

// Refills playback buffer j with the next block of the playback file. Returns the
// samples per channel placed; 0 once the file is exhausted (it is then closed and
// FileNumber is 0). A playback block holds ChannelCount * BlockSamples interleaved
// samples, the same span as a capture block, so stereo files play at their rate.
int32_t PlayFileReader(int32_t j);

// Refills playback buffer j (PlayFileReader), trims its header to what was read and
// hands it to the output device; a buffer that received nothing is not queued. Returns
// the samples per channel placed.
int32_t QueuePlaybackBuffer(int32_t j);

// True when every playback header has length 0: nothing is left to play.
bool PlaybackExhausted();

}  // namespace aurelix::capture
