#include "cli/sound_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <sndfile.h>
#include <unistd.h>

#include "cli/errors.h"

namespace aurelix::cli {
namespace {

[[noreturn]] void Refuse(const std::string& path, const std::string& reason) {
    throw CommandError(path + ": " + reason);
}

uint32_t Little32(const unsigned char* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

// A RIFF WAV whose data chunk claims more bytes than the file holds after it.
void RefuseTruncatedWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(path, error);
    unsigned char head[12];
    if (error || !in.read(reinterpret_cast<char*>(head), 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0) {
        return;
    }
    uint64_t at = 12;
    unsigned char chunk[8];
    while (at + 8 <= size && in.seekg(std::streamoff(at)) &&
           in.read(reinterpret_cast<char*>(chunk), 8)) {
        const uint64_t length = Little32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (length != 0xFFFFFFFFu && at + 8 + length > size) {
                Refuse(path, "truncated: the data chunk claims " + std::to_string(length) +
                                 " bytes, the file holds " + std::to_string(size - at - 8));
            }
            return;
        }
        at += 8 + length + (length & 1);
    }
}

int16_t Clip16(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    return int16_t(std::clamp(std::nearbyint(value), -32768.0, 32767.0));
}

std::string FormatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "format " + std::to_string(format);
    }
    return info.name;
}

}  // namespace

struct SoundFile::Handle {
    SNDFILE* file = nullptr;
    ~Handle() {
        if (file != nullptr) {
            sf_close(file);
        }
    }
};

SoundFile::SoundFile(const std::string& path) : path_(path), handle_(std::make_unique<Handle>()) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        Refuse(path, "no such file");
    }
    if (std::filesystem::is_directory(path, error)) {
        Refuse(path, "is a folder, not a sound file");
    }
    if (access(path.c_str(), R_OK) != 0) {
        Refuse(path, std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    SF_INFO info{};
    handle_->file = sf_open(path.c_str(), SFM_READ, &info);
    if (handle_->file == nullptr) {
        Refuse(path,
               std::string("not a sound file libsndfile can read (") + sf_strerror(nullptr) + ")");
    }
    if (info.channels > 2) {
        Refuse(path, std::to_string(info.channels) +
                         " channels: aurelix analyses mono and stereo files only");
    }
    if (info.samplerate <= 0 || info.channels <= 0) {
        Refuse(path, "no sample rate or no channels in its header");
    }
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
        RefuseTruncatedWav(path);
    }
    rate_ = info.samplerate;
    channels_ = int16_t(info.channels);
    frames_ = info.frames;
    format_ = info.format;
}

SoundFile::~SoundFile() = default;

std::string SoundFile::Description() const {
    return FormatName(format_ & SF_FORMAT_TYPEMASK) + ", " +
           FormatName(format_ & SF_FORMAT_SUBMASK);
}

int64_t SoundFile::Read(int16_t* samples, int64_t frames) {
    const int subtype = format_ & SF_FORMAT_SUBMASK;
    const size_t count = size_t(frames) * size_t(channels_);
    sf_count_t got = 0;
    switch (subtype) {
        case SF_FORMAT_PCM_16:
            got = sf_readf_short(handle_->file, samples, frames);
            break;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
        case SF_FORMAT_VORBIS:
#ifdef SF_FORMAT_OPUS
        case SF_FORMAT_OPUS:
#endif
            floatBuffer_.resize(count);
            got = sf_readf_float(handle_->file, floatBuffer_.data(), frames);
            for (size_t i = 0; i < size_t(got) * size_t(channels_); ++i) {
                samples[i] = Clip16(double(floatBuffer_[i]) * 32767.0);
            }
            break;
        default:
            // Integers come left-aligned in 32 bits: full scale of any depth is 2^31.
            intBuffer_.resize(count);
            got = sf_readf_int(handle_->file, intBuffer_.data(), frames);
            for (size_t i = 0; i < size_t(got) * size_t(channels_); ++i) {
                samples[i] = Clip16(double(intBuffer_[i]) / 65536.0);
            }
            break;
    }
    if (got < 0 || (got < frames && sf_error(handle_->file) != SF_ERR_NO_ERROR)) {
        Refuse(path_, std::string("cannot be read: ") + sf_strerror(handle_->file));
    }
    return got;
}

void WriteCanonicalWav(SoundFile& file, const std::string& target) {
    SF_INFO info{};
    info.samplerate = file.Rate();
    info.channels = file.Channels();
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(target.c_str(), SFM_WRITE, &info);
    if (out == nullptr) {
        throw CommandError(target + ": cannot be written (" + sf_strerror(nullptr) + ")");
    }
    std::vector<int16_t> block(size_t(4096) * size_t(file.Channels()));
    for (int64_t got; (got = file.Read(block.data(), 4096)) > 0;) {
        if (sf_writef_short(out, block.data(), got) != got) {
            const std::string reason = sf_strerror(out);
            sf_close(out);
            throw CommandError(target + ": cannot be written (" + reason + ")");
        }
    }
    sf_close(out);
}

TemporaryFile::TemporaryFile(const std::string& suffix) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error) {
        folder = "/tmp";
    }
    std::string pattern = (folder / ("aurelix-XXXXXX" + suffix)).string();
    const int fd = mkstemps(pattern.data(), int(suffix.size()));
    if (fd < 0) {
        throw CommandError(folder.string() + ": cannot create a temporary file (" +
                           std::strerror(errno) + ")");
    }
    close(fd);
    path_ = pattern;
}

TemporaryFile::~TemporaryFile() {
    std::remove(path_.c_str());
}

bool CanWrite(const std::string& path, std::string& reason) {
    std::error_code error;
    if (path.empty()) {
        reason = "no file name";
        return false;
    }
    if (std::filesystem::is_directory(path, error)) {
        reason = "is a folder";
        return false;
    }
    if (std::filesystem::exists(path, error)) {
        if (access(path.c_str(), W_OK) != 0) {
            reason = std::string("cannot be written (") + std::strerror(errno) + ")";
            return false;
        }
        return true;
    }
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    if (!std::filesystem::is_directory(folder, error)) {
        reason = "the folder " + folder.string() + " does not exist";
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0) {
        reason = "cannot write to " + folder.string() + " (" + std::strerror(errno) + ")";
        return false;
    }
    return true;
}

}  // namespace aurelix::cli
