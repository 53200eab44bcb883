#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>

#include "aurelix/platform/wave/frame_pacer.h"
#include "aurelix/platform/wave/wav_file_devices.h"

namespace aurelix::platform::wave_driver {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV fields are little-endian");

constexpr long kHeaderBytes = 44;
// RIFF sizes are 32-bit: the data stops growing here.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void Put16(unsigned char* at, uint32_t value) {
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}
void Put32(unsigned char* at, uint32_t value) {
    Put16(at, value & 0xFFFF);
    Put16(at + 2, value >> 16);
}

void WriteHeader(std::FILE* file, const WAVEFORMATEX& format, uint32_t dataBytes) {
    unsigned char header[kHeaderBytes];
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, uint32_t(kHeaderBytes - 8) + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put16(header + 20, WAVE_FORMAT_PCM);
    Put16(header + 22, format.nChannels);
    Put32(header + 24, format.nSamplesPerSec);
    Put32(header + 28, format.nAvgBytesPerSec);
    Put16(header + 32, format.nBlockAlign);
    Put16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, dataBytes);
    std::fseek(file, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, file);
}

class FileWriterStream final : public PlaybackStream {
  public:
    FileWriterStream(std::FILE* file, const WAVEFORMATEX& format, bool paced,
                     std::shared_ptr<std::atomic<bool>> busy)
        : file_(file),
          format_(format),
          pacer_(format.nSamplesPerSec),
          paced_(paced),
          busy_(std::move(busy)) {
        WriteHeader(file_, format_, 0);
    }
    // The header gets its sizes when the handle closes.
    ~FileWriterStream() override {
        WriteHeader(file_, format_, uint32_t(dataBytes_));
        std::fclose(file_);
        busy_->store(false);
    }

    Transfer Write(const int16_t* samples, uint32_t frames, StreamControl& control) override {
        uint32_t played = frames;
        if (paced_) {
            const Clock::time_point due =
                pacer_.DueTime(position_, position_ + frames, Clock::now());
            if (!control.WaitUntil(due)) {
                played = pacer_.FramesDue(position_, frames, Clock::now());
            }
        }
        position_ += played;
        const uint64_t bytes = uint64_t(played) * format_.nBlockAlign;
        if (failed_ || dataBytes_ + bytes > kMaxDataBytes ||
            std::fwrite(samples, 1, bytes, file_) != bytes) {
            failed_ = true;
            return {0, true};
        }
        dataBytes_ += bytes;
        return {played, false};
    }
    void Halt() override { pacer_.Unanchor(); }

  private:
    std::FILE* const file_;
    const WAVEFORMATEX format_;
    FramePacer pacer_;
    const bool paced_;
    const std::shared_ptr<std::atomic<bool>> busy_;
    uint64_t position_ = 0;
    uint64_t dataBytes_ = 0;
    bool failed_ = false;
};

class FileOutputDevice final : public OutputDevice {
  public:
    FileOutputDevice(const std::string& path, bool paced) : path_(path), paced_(paced) {}

    std::string Name() const override { return FileDeviceName(path_); }

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<PlaybackStream>& stream) override {
        if (busy_->exchange(true)) {
            return MMSYSERR_ALLOCATED;
        }
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        if (file == nullptr) {
            busy_->store(false);
            return MMSYSERR_ERROR;
        }
        stream = std::make_unique<FileWriterStream>(file, format, paced_, busy_);
        return MMSYSERR_NOERROR;
    }

  private:
    const std::string path_;
    const bool paced_;
    const std::shared_ptr<std::atomic<bool>> busy_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace

std::shared_ptr<OutputDevice> MakeFileOutputDevice(const std::string& path, bool paced) {
    return std::make_shared<FileOutputDevice>(path, paced);
}

}  // namespace aurelix::platform::wave_driver
