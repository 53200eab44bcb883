#pragma once

namespace aurelix::engine {

// Fills the device format from the settings in EngineState and allocates the buffer
// ring, the block records and the result arrays for BlockSamples, ChannelCount and
// BufferCount, discarding earlier contents; builds the FFT index table when an analysis
// is selected. Sizes are checked 32-bit products (Overflow, 6).
void AllocateArrays();

}  // namespace aurelix::engine
