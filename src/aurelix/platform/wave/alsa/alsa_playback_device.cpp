#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>

#include "aurelix/platform/wave/alsa/alsa_devices.h"
#include "aurelix/platform/wave/alsa/alsa_pcm.h"

namespace aurelix::platform::wave_driver::alsa {
namespace {

class AlsaPlaybackStream final : public PlaybackStream {
  public:
    AlsaPlaybackStream(snd_pcm_t* pcm, uint16_t channels) : pcm_(pcm), channels_(channels) {}
    ~AlsaPlaybackStream() override { snd_pcm_close(pcm_); }

    // A buffer is done once the device has taken all of it; it is heard about one device
    // buffer later.
    Transfer Write(const int16_t* samples, uint32_t frames, StreamControl& control) override {
        uint32_t written = 0;
        while (written < frames && !control.Cancelled()) {
            const snd_pcm_sframes_t wrote =
                snd_pcm_writei(pcm_, samples + size_t(written) * channels_, frames - written);
            if (wrote > 0) {
                written += uint32_t(wrote);
                pending_ = true;
            } else if (wrote == 0 || wrote == -EAGAIN) {
                snd_pcm_wait(pcm_, kPollMilliseconds);
            } else if (wrote == -EPIPE) {
                underruns_.fetch_add(1);
                snd_pcm_prepare(pcm_);
            } else if (snd_pcm_recover(pcm_, int(wrote), 1) < 0) {
                return {written, true};  // the device is gone
            }
        }
        return {written, false};
    }

    void Halt() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        pending_ = false;
    }

    // Plays out what the device still holds before the handle closes.
    void Finish() override {
        if (pending_) {
            snd_pcm_nonblock(pcm_, 0);
            snd_pcm_drain(pcm_);
        }
    }

    uint32_t Underruns() const override { return underruns_.load(); }

  private:
    snd_pcm_t* const pcm_;
    const uint16_t channels_;
    bool pending_ = false;
    std::atomic<uint32_t> underruns_{0};
};

class AlsaOutputDevice final : public OutputDevice {
  public:
    AlsaOutputDevice(std::string pcm, std::string name)
        : pcm_(std::move(pcm)), name_(std::move(name)) {}

    std::string Name() const override { return name_; }

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<PlaybackStream>& stream) override {
        snd_pcm_t* pcm = nullptr;
        const MMRESULT result = OpenPcm(pcm_, SND_PCM_STREAM_PLAYBACK, format, &pcm);
        if (result == MMSYSERR_NOERROR) {
            stream = std::make_unique<AlsaPlaybackStream>(pcm, format.nChannels);
        }
        return result;
    }

  private:
    const std::string pcm_;
    const std::string name_;
};

}  // namespace

std::shared_ptr<OutputDevice> MakeOutputDevice(const std::string& pcm, const std::string& name) {
    return std::make_shared<AlsaOutputDevice>(pcm, name);
}

}  // namespace aurelix::platform::wave_driver::alsa
