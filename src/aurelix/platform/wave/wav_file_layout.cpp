#include "aurelix/platform/wave/wav_file_layout.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace aurelix::platform::wave_driver {
namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The tail shared by the sub-format GUIDs of extensible WAV files.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const unsigned char* bytes) {
    return uint16_t(bytes[0] | bytes[1] << 8);
}
uint32_t Le32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
           uint32_t(bytes[3]) << 24;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class LayoutReader {
  public:
    LayoutReader(const std::string& path, std::string& error) : path_(path), error_(error) {}

    bool Read(WavLayout& layout) {
        // Non-blocking, so that a FIFO without a writer cannot hang the caller; only a
        // regular file can be read from any position and paced as a device.
        const int descriptor = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) {
            return Fail(std::string("cannot open (") + std::strerror(errno) + ")");
        }
        struct stat status {};
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            return Fail("not a regular file");
        }
        file_.reset(::fdopen(descriptor, "rb"));
        if (!file_) {
            ::close(descriptor);
            return Fail(std::string("cannot open (") + std::strerror(errno) + ")");
        }
        if (std::fseek(file_.get(), 0, SEEK_END) != 0 || (size_ = ftello(file_.get())) < 0 ||
            std::fseek(file_.get(), 0, SEEK_SET) != 0) {
            return Fail("cannot read");
        }
        unsigned char riff[12];
        if (!ReadAt(0, riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
            std::memcmp(riff + 8, "WAVE", 4) != 0) {
            return Fail("not a WAV file (no RIFF/WAVE header)");
        }
        std::optional<uint64_t> dataOffset;
        uint64_t dataDeclared = 0;
        bool haveFormat = false;
        for (uint64_t at = 12; at + 8 <= uint64_t(size_);) {
            unsigned char chunk[8];
            if (!ReadAt(at, chunk, sizeof chunk)) {
                return Fail("cannot read");
            }
            const uint32_t chunkSize = Le32(chunk + 4);
            if (std::memcmp(chunk, "fmt ", 4) == 0) {
                if (!ReadFormat(at + 8, chunkSize, layout)) {
                    return false;
                }
                haveFormat = true;
            } else if (std::memcmp(chunk, "data", 4) == 0 && !dataOffset) {
                dataOffset = at + 8;
                dataDeclared = chunkSize;
            }
            if (haveFormat && dataOffset) {
                break;
            }
            at += 8 + uint64_t(chunkSize) + (chunkSize & 1);
        }
        if (!haveFormat) {
            return Fail("no \"fmt \" chunk");
        }
        if (!dataOffset) {
            return Fail("no \"data\" chunk");
        }
        const uint64_t present = uint64_t(size_) - std::min<uint64_t>(*dataOffset, size_);
        const uint64_t blockAlign = layout.channels * 2u;
        layout.dataOffset = *dataOffset;
        layout.dataBytes = std::min(dataDeclared, present) / blockAlign * blockAlign;
        return true;
    }

  private:
    bool ReadFormat(uint64_t at, uint32_t chunkSize, WavLayout& layout) {
        unsigned char format[40] = {};
        if (chunkSize < 16 || !ReadAt(at, format, std::min<uint32_t>(chunkSize, sizeof format))) {
            return Fail("\"fmt \" chunk too short");
        }
        uint16_t tag = Le16(format);
        if (tag == kFormatExtensible) {
            if (chunkSize < 40 || std::memcmp(format + 26, kGuidTail, sizeof kGuidTail) != 0) {
                return Fail("unsupported extensible format; only 16-bit PCM is accepted");
            }
            tag = Le16(format + 24);
        }
        const uint16_t channels = Le16(format + 2);
        const uint32_t rate = Le32(format + 4);
        const uint16_t blockAlign = Le16(format + 12);
        const uint16_t bits = Le16(format + 14);
        if (tag != kFormatPcm) {
            return Fail("unsupported encoding (format tag " + std::to_string(tag) +
                        "); only 16-bit PCM is accepted");
        }
        if (bits != 16) {
            return Fail(std::to_string(bits) + "-bit samples; only 16-bit PCM is accepted");
        }
        if (channels != 1 && channels != 2) {
            return Fail(std::to_string(channels) + " channels; only mono or stereo is accepted");
        }
        if (rate == 0 || rate > uint32_t(INT32_MAX)) {
            // Rates are signed 32-bit numbers everywhere above the device.
            return Fail("sample rate " + std::to_string(rate) + " out of range (1 to " +
                        std::to_string(INT32_MAX) + ")");
        }
        if (blockAlign != channels * 2) {
            return Fail("block align " + std::to_string(blockAlign) + " does not fit " +
                        std::to_string(channels) + " channels of 16 bits");
        }
        layout.channels = channels;
        layout.rate = rate;
        return true;
    }

    bool ReadAt(uint64_t at, unsigned char* bytes, size_t count) {
        return at + count <= uint64_t(size_) && fseeko(file_.get(), off_t(at), SEEK_SET) == 0 &&
               std::fread(bytes, 1, count, file_.get()) == count;
    }

    bool Fail(const std::string& reason) {
        error_ = path_ + ": " + reason;
        return false;
    }

    const std::string& path_;
    std::string& error_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    off_t size_ = 0;
};

}  // namespace

bool ReadWavLayout(const std::string& path, WavLayout& layout, std::string& error) {
    WavLayout found;
    if (!LayoutReader(path, error).Read(found)) {
        return false;
    }
    layout = found;
    return true;
}

}  // namespace aurelix::platform::wave_driver
