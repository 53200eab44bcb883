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

inline void PutLe(std::string& bytes, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes.push_back(char((value >> (8 * i)) & 0xFF));
    }
}

// Padded to an even length, as RIFF wants.
inline std::string Chunk(const std::string& id, const std::string& body) {
    std::string bytes = id;
    PutLe(bytes, uint32_t(body.size()), 4);
    bytes += body;
    if (body.size() % 2 == 1) {
        bytes.push_back('\0');
    }
    return bytes;
}

inline std::string FormatBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::string body;
    const uint16_t blockAlign = uint16_t(channels * bits / 8);
    PutLe(body, tag, 2);
    PutLe(body, channels, 2);
    PutLe(body, rate, 4);
    PutLe(body, rate * blockAlign, 4);
    PutLe(body, blockAlign, 2);
    PutLe(body, bits, 2);
    return body;
}

inline std::string SampleBytes(const std::vector<int16_t>& samples) {
    std::string bytes;
    for (int16_t sample : samples) {
        PutLe(bytes, uint16_t(sample), 2);
    }
    return bytes;
}

inline std::string Riff(const std::string& chunks) {
    std::string bytes = "RIFF";
    PutLe(bytes, uint32_t(chunks.size() + 4), 4);
    return bytes + "WAVE" + chunks;
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
