#include <bit>
#include <cstdio>
#include <filesystem>

#include "aurelix/platform/wave/source_capture_stream.h"
#include "aurelix/platform/wave/wav_file_devices.h"

namespace aurelix::platform::wave_driver {
namespace {

static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");

constexpr size_t kReadAhead = size_t(1) << 20;

class FileCaptureStream final : public SourceCaptureStream {
  public:
    FileCaptureStream(std::FILE* file, const WavLayout& layout, bool paced)
        : SourceCaptureStream(layout.rate, paced),
          file_(file),
          blockAlign_(layout.channels * 2u),
          remaining_(layout.dataBytes) {}
    ~FileCaptureStream() override { std::fclose(file_); }

  private:
    // Reads on from where the last read ended; a file cut short since it was added ends
    // the stream there.
    uint32_t Produce(uint64_t, int16_t* samples, uint32_t frames) override {
        const uint64_t wanted = std::min<uint64_t>(uint64_t(frames) * blockAlign_, remaining_);
        const size_t got = std::fread(samples, 1, wanted, file_);
        remaining_ -= got;
        return uint32_t(got / blockAlign_);
    }

    std::FILE* const file_;
    const uint32_t blockAlign_;
    uint64_t remaining_;
};

class FileInputDevice final : public InputDevice {
  public:
    FileInputDevice(const std::string& path, const WavLayout& layout, bool paced)
        : path_(path), layout_(layout), paced_(paced) {}

    std::string Name() const override { return FileDeviceName(path_); }
    uint16_t Channels() const override { return layout_.channels; }

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) override {
        if (format.nChannels != layout_.channels || format.nSamplesPerSec != layout_.rate) {
            return WAVERR_BADFORMAT;
        }
        WavLayout now;
        std::string error;
        if (!ReadWavLayout(path_, now, error) || now.channels != layout_.channels ||
            now.rate != layout_.rate) {
            return MMSYSERR_ERROR;
        }
        std::FILE* file = std::fopen(path_.c_str(), "rb");
        if (file == nullptr) {
            return MMSYSERR_ERROR;
        }
        // Large reads ahead: a block of a few kilobytes costs a copy, not a system call.
        std::setvbuf(file, nullptr, _IOFBF, kReadAhead);
        if (fseeko(file, off_t(now.dataOffset), SEEK_SET) != 0) {
            std::fclose(file);
            return MMSYSERR_ERROR;
        }
        stream = std::make_unique<FileCaptureStream>(file, now, paced_);
        return MMSYSERR_NOERROR;
    }

  private:
    const std::string path_;
    const WavLayout layout_;
    const bool paced_;
};

}  // namespace

std::shared_ptr<InputDevice> MakeFileInputDevice(const std::string& path, const WavLayout& layout,
                                                 bool paced) {
    return std::make_shared<FileInputDevice>(path, layout, paced);
}

std::string FileDeviceName(const std::string& path) {
    return std::filesystem::path(path).filename().string() + " (file)";
}

}  // namespace aurelix::platform::wave_driver
