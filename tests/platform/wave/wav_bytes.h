#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

// Hand-made WAV files for the file-device tests.
namespace aurelix::platform::testing {

// `width` bytes of `value`, little-endian (the host's order).
inline std::string Le(uint32_t value, int width) {
    return {reinterpret_cast<const char*>(&value), size_t(width)};
}

// Padded to an even length, as RIFF wants.
inline std::string Chunk(const std::string& id, const std::string& body) {
    return id + Le(uint32_t(body.size()), 4) + body + std::string(body.size() % 2, '\0');
}

inline std::string FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    const uint16_t blockAlign = uint16_t(channels * bits / 8);
    return Le(tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * blockAlign, 4) +
           Le(blockAlign, 2) + Le(bits, 2);
}

inline std::string SampleBytes(const std::vector<int16_t>& samples) {
    return {reinterpret_cast<const char*>(samples.data()), samples.size() * 2};
}

inline std::string Riff(const std::string& chunks) {
    return "RIFF" + Le(uint32_t(chunks.size() + 4), 4) + "WAVE" + chunks;
}

// A plain 16-bit PCM file: a format chunk and the data.
inline std::string PcmWav(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
    return Riff(Chunk("fmt ", FormatBody(1, channels, rate, 16)) +
                Chunk("data", SampleBytes(samples)));
}

inline std::vector<int16_t> Ramp(size_t count, int start = 0) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) {
        samples[i] = int16_t(start + int(i * 7 % 60000) - 30000);
    }
    return samples;
}

// A file in the test's temporary folder.
inline std::string TempFile(const std::string& name, const std::string& bytes) {
    const std::string path = std::filesystem::path(::testing::TempDir()) / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

using aurelix::testing::FileBytes;

}  // namespace aurelix::platform::testing
