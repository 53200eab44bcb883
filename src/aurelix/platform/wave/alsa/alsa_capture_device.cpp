#include <alsa/asoundlib.h>

#include <atomic>
#include <cerrno>

#include "aurelix/platform/wave/alsa/alsa_devices.h"
#include "aurelix/platform/wave/alsa/alsa_pcm.h"

namespace aurelix::platform::wave_driver::alsa {
namespace {

class AlsaCaptureStream final : public CaptureStream {
  public:
    AlsaCaptureStream(snd_pcm_t* pcm, uint16_t channels) : pcm_(pcm), channels_(channels) {}
    ~AlsaCaptureStream() override { snd_pcm_close(pcm_); }

    // Reads until the buffer is full, waiting a poll period at a time so that a reset or a
    // close is noticed. An overrun is counted and capture goes on after it.
    Transfer Read(int16_t* samples, uint32_t frames, StreamControl& control) override {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
            snd_pcm_start(pcm_);
        }
        uint32_t got = 0;
        while (got < frames && !control.Cancelled()) {
            const snd_pcm_sframes_t read =
                snd_pcm_readi(pcm_, samples + size_t(got) * channels_, frames - got);
            if (read > 0) {
                got += uint32_t(read);
            } else if (read == 0 || read == -EAGAIN) {
                snd_pcm_wait(pcm_, kPollMilliseconds);
            } else if (read == -EPIPE) {
                overruns_.fetch_add(1);
                snd_pcm_prepare(pcm_);
                snd_pcm_start(pcm_);
            } else if (snd_pcm_recover(pcm_, int(read), 1) < 0) {
                return {got, true};  // the device is gone
            }
        }
        return {got, false};
    }

    void Halt() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
    }

    uint32_t Overruns() const override { return overruns_.load(); }

  private:
    snd_pcm_t* const pcm_;
    const uint16_t channels_;
    std::atomic<uint32_t> overruns_{0};
};

class AlsaInputDevice final : public InputDevice {
  public:
    AlsaInputDevice(std::string pcm, std::string name)
        : pcm_(std::move(pcm)), name_(std::move(name)) {}

    std::string Name() const override { return name_; }

    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<CaptureStream>& stream) override {
        snd_pcm_t* pcm = nullptr;
        const MMRESULT result = OpenPcm(pcm_, SND_PCM_STREAM_CAPTURE, format, &pcm);
        if (result == MMSYSERR_NOERROR) {
            stream = std::make_unique<AlsaCaptureStream>(pcm, format.nChannels);
        }
        return result;
    }

  private:
    const std::string pcm_;
    const std::string name_;
};

}  // namespace

std::shared_ptr<InputDevice> MakeInputDevice(const std::string& pcm, const std::string& name) {
    return std::make_shared<AlsaInputDevice>(pcm, name);
}

}  // namespace aurelix::platform::wave_driver::alsa
