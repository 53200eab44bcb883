#pragma once

#include <cstdint>
#include <string>

namespace aurelix::platform::wave_driver {

// Where the samples of a 16-bit PCM WAV file are.
struct WavLayout {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint64_t dataOffset = 0;  // first sample byte
    uint64_t dataBytes = 0;   // whole frames present in the file (a cut data chunk counts
                              // what is there)
};

// Reads the chunk structure of `path`: RIFF/WAVE, a "fmt " chunk for 16-bit PCM (plain or
// extensible) with one or two channels, and a "data" chunk; other chunks are skipped,
// odd-sized ones with their pad byte. On failure returns false and `error` says why,
// naming the file.
bool ReadWavLayout(const std::string& path, WavLayout& layout, std::string& error);

}  // namespace aurelix::platform::wave_driver
