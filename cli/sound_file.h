#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Sound files through libsndfile (WAV, FLAC, Ogg, AIFF, ... of any sample format), read as
// the 16-bit samples the engine works with:
//   - 16-bit integer PCM passes sample-exact;
//   - other integer formats are scaled by their bit depth (8-bit times 256, 24-bit divided
//     by 256, 32-bit by 65536), rounded half to even and clipped;
//   - floating point: full scale 1.0 becomes 32767, rounded half to even and clipped.
// Refused, with the file's name and the reason: a file that cannot be opened or read, more
// than two channels, a WAV whose data chunk claims more than the file holds (truncated).
namespace aurelix::cli {

class SoundFile {
  public:
    // Opens `path`; CommandError (exit 1) naming the file when it is refused.
    explicit SoundFile(const std::string& path);
    ~SoundFile();
    SoundFile(const SoundFile&) = delete;
    SoundFile& operator=(const SoundFile&) = delete;

    const std::string& Path() const noexcept { return path_; }
    int32_t Rate() const noexcept { return rate_; }
    int16_t Channels() const noexcept { return channels_; }
    int64_t Frames() const noexcept { return frames_; }
    // "WAV 16-bit PCM", "FLAC 24-bit", ...
    std::string Description() const;

    // Reads up to `frames` frames (interleaved) into `samples`; returns the frames read
    // (fewer only at the end). CommandError when the file cannot be read.
    int64_t Read(int16_t* samples, int64_t frames);

  private:
    struct Handle;
    std::string path_;
    std::unique_ptr<Handle> handle_;
    int32_t rate_ = 0;
    int16_t channels_ = 0;
    int64_t frames_ = 0;
    int format_ = 0;
    std::vector<int32_t> intBuffer_;
    std::vector<float> floatBuffer_;
};

// Writes all of `file` as a 16-bit PCM WAV with the plain 44-byte header (what the engine's
// playback reads) to `target`. CommandError when it cannot.
void WriteCanonicalWav(SoundFile& file, const std::string& target);

// A file in the temporary folder, removed when this goes out of scope.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& suffix);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const noexcept { return path_; }

  private:
    std::string path_;
};

// True when the file named can be created or replaced (it is not created).
bool CanWrite(const std::string& path, std::string& reason);

}  // namespace aurelix::cli
