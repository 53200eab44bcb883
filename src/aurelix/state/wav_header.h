#pragma once

#include <array>
#include <cstdint>

namespace aurelix::state {

// The 44-byte RIFF/WAVE header of a 16-bit PCM recording, field by field.
struct WavHeader {
    std::array<char, 4> ChunkId{};
    int32_t ChunkSize = 0;
    std::array<char, 4> Format{};
    std::array<char, 4> SubChunkId{};
    int32_t SubChunkSize = 0;
    int16_t AudioFormat = 0;
    int16_t Channels = 0;
    int32_t SampleRate = 0;
    int32_t ByteRate = 0;
    int16_t BlockAlign = 0;
    int16_t BitsPerSample = 0;
    std::array<char, 4> DataId{};
    int32_t DataSize = 0;
};
static_assert(sizeof(WavHeader) == 44, "the header is written as 44 raw bytes");

}  // namespace aurelix::state
