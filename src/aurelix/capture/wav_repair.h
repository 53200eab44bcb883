#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Repairs the header of a recording this library wrote: 44 bytes (RIFF, a 16-byte "fmt "
// chunk for 16-bit PCM, "data") followed by the samples. A recording whose process died
// keeps the header of its last update, or 44 zero bytes when it was written by a version
// that wrote the header only at the end; RepairWavHeader rebuilds it from the file's
// length. Only the 44 header bytes are ever written: the samples stay as they are, and a
// partial frame at the end (a block cut by the crash) stays in the file, outside the data
// the header declares.
namespace aurelix::capture {

struct WavRepairOptions {
    std::optional<int32_t> rate = std::nullopt;      // samples per second, 1 and up
    std::optional<int16_t> channels = std::nullopt;  // 1 or 2
};

struct WavRepairResult {
    bool changed = false;  // false: the header already described the file
    bool headerWasEmpty = false;
    int32_t rate = 0;
    int16_t channels = 0;
    int64_t frames = 0;         // what the header now declares
    int64_t trailingBytes = 0;  // a partial frame after them, left untouched
};

// Rate and channels come from the options when given, else from the old header; an
// empty (all-zero) header needs both options. Raises, leaving the file unchanged:
// 53 when the file does not exist, 75 when it is not a regular file or cannot be written,
// 5 for options out of range or missing, 321 "Invalid file format" with the reason when
// the file is not such a recording (too short, another kind of file, another layout or
// encoding, too long for a 32-bit header). Descriptions name the file.
WavRepairResult RepairWavHeader(const std::string& path, const WavRepairOptions& options = {});

}  // namespace aurelix::capture
