#include "aurelix/platform/wave/null_output_device.h"

#include "aurelix/platform/wave/frame_pacer.h"

namespace aurelix::platform::wave_driver {
namespace {

class NullPlaybackStream final : public PlaybackStream {
  public:
    explicit NullPlaybackStream(uint32_t rate) : pacer_(rate) {}

    Transfer Write(const int16_t*, uint32_t frames, StreamControl& control) override {
        const Clock::time_point due = pacer_.DueTime(position_, position_ + frames, Clock::now());
        const uint32_t played =
            control.WaitUntil(due) ? frames : pacer_.FramesDue(position_, frames, Clock::now());
        position_ += played;
        return {played, false};
    }
    void Halt() override { pacer_.Unanchor(); }

  private:
    FramePacer pacer_;
    uint64_t position_ = 0;
};

class NullOutput final : public OutputDevice {
  public:
    std::string Name() const override { return "Null output (discards)"; }
    MMRESULT Open(const WAVEFORMATEX& format, std::unique_ptr<PlaybackStream>& stream) override {
        stream = std::make_unique<NullPlaybackStream>(format.nSamplesPerSec);
        return MMSYSERR_NOERROR;
    }
};

}  // namespace

std::shared_ptr<OutputDevice> NullOutputDevice() {
    static const auto* device = new std::shared_ptr<OutputDevice>(std::make_shared<NullOutput>());
    return *device;
}

}  // namespace aurelix::platform::wave_driver
