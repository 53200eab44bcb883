#include "aurelix/capture/wav_repair.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "aurelix/capture/wav_recorder.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/file_error.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/state/wav_header.h"

namespace aurelix::capture {
namespace {

namespace err = platform::err;
constexpr int64_t kHeaderBytes = sizeof(state::WavHeader);
constexpr int64_t kLargestData = INT32_MAX - 36;  // the RIFF size is a signed 32-bit field

[[noreturn]] void Refuse(int32_t number, const std::string& path, const std::string& reason) {
    platform::RaiseFileError(number, path + " (" + reason + ")");
}

// Closes the file number however the repair ends.
class OpenedFile {
  public:
    explicit OpenedFile(const std::string& path) : number_(platform::FreeFile()) {
        platform::FileOpen(number_, path, platform::FileMode::Binary);
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile() {
        try {
            platform::FileClose(number_);
        } catch (const platform::RuntimeError&) {
            // Only the header was written, and it was written before: nothing is lost.
        }
    }
    int32_t Number() const { return number_; }

  private:
    int32_t number_;
};

bool IsEmpty(const state::WavHeader& header) {
    std::array<char, kHeaderBytes> bytes{};
    std::memcpy(bytes.data(), &header, bytes.size());
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c == 0; });
}

bool Is(const std::array<char, 4>& id, const char* text) {
    return std::memcmp(id.data(), text, 4) == 0;
}

// Why `header` is not the header of a recording of this library; empty when it is one.
std::string LayoutProblem(const state::WavHeader& header) {
    if (!Is(header.ChunkId, "RIFF") || !Is(header.Format, "WAVE")) {
        return "no RIFF/WAVE header: not a WAV recording";
    }
    if (!Is(header.SubChunkId, "fmt ") || header.SubChunkSize != 16 || !Is(header.DataId, "data")) {
        return "a WAV file with another chunk layout than a 16-byte \"fmt \" chunk followed by "
               "\"data\"; not a recording of this library";
    }
    if (header.AudioFormat != 1 || header.BitsPerSample != 16) {
        return "encoding is not 16-bit PCM";
    }
    if (header.Channels < 1 || header.Channels > 2 || header.BlockAlign != header.Channels * 2 ||
        header.SampleRate < 1 ||
        int64_t(header.ByteRate) != int64_t(header.SampleRate) * header.BlockAlign) {
        return "the format fields contradict each other";
    }
    return {};
}

}  // namespace

WavRepairResult RepairWavHeader(const std::string& path, const WavRepairOptions& options) {
    std::error_code error;
    const auto type = std::filesystem::status(path, error).type();
    if (type == std::filesystem::file_type::not_found) {
        platform::RaiseFileError(err::kFileNotFound, path);
    }
    if (type != std::filesystem::file_type::regular) {
        Refuse(err::kPathFileAccessError, path, "not a regular file");
    }
    const int64_t length = platform::FileLen(path);
    if (length < kHeaderBytes) {
        Refuse(err::kInvalidFileFormat, path,
               "too short to be a recording: " + std::to_string(length) + " bytes");
    }
    OpenedFile file(path);
    state::WavHeader old;
    platform::FileRead(file.Number(), &old, sizeof old);

    WavRepairResult result;
    result.headerWasEmpty = IsEmpty(old);
    if (!result.headerWasEmpty) {
        if (const std::string problem = LayoutProblem(old); !problem.empty()) {
            Refuse(err::kInvalidFileFormat, path, problem);
        }
        result.rate = old.SampleRate;
        result.channels = old.Channels;
    } else if (!options.rate || !options.channels) {
        Refuse(err::kInvalidCall, path,
               "the header is empty: the rate and the channel count must be given");
    }
    result.rate = options.rate.value_or(result.rate);
    result.channels = options.channels.value_or(result.channels);
    if (result.channels < 1 || result.channels > 2) {
        Refuse(err::kInvalidCall, path,
               "channels " + std::to_string(result.channels) + ": 1 or 2 are recorded");
    }
    const int64_t frameBytes = int64_t(result.channels) * 2;
    if (result.rate < 1 || int64_t(result.rate) * frameBytes > INT32_MAX) {
        Refuse(err::kInvalidCall, path, "rate " + std::to_string(result.rate) + " out of range");
    }
    const int64_t dataBytes = length - kHeaderBytes;
    result.frames = dataBytes / frameBytes;
    result.trailingBytes = dataBytes % frameBytes;
    if (result.frames * frameBytes > kLargestData) {
        Refuse(err::kInvalidFileFormat, path,
               std::to_string(dataBytes) + " bytes of samples: too long for a WAV header");
    }
    state::WavHeader rebuilt;
    MakeWavHeader(rebuilt, int32_t(result.frames), result.channels, result.rate, 16);
    result.changed = std::memcmp(&rebuilt, &old, sizeof rebuilt) != 0;
    if (result.changed) {
        platform::FileWriteAt(file.Number(), 1, &rebuilt, sizeof rebuilt);
    }
    return result;
}

}  // namespace aurelix::capture
