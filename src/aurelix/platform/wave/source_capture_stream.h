#pragma once

#include <cstdint>

#include "aurelix/platform/wave/frame_pacer.h"
#include "aurelix/platform/wave/wave_driver.h"

namespace aurelix::platform::wave_driver {

// A capture stream whose samples are made on request (a generator, a file), delivered in
// real time or as fast as buffers are queued. Cancelled in real time, a buffer keeps the
// frames whose time had come.
class SourceCaptureStream : public CaptureStream {
  public:
    SourceCaptureStream(uint32_t rate, bool paced) : pacer_(rate), paced_(paced) {}

    Transfer Read(int16_t* samples, uint32_t frames, StreamControl& control) final;
    void Halt() final { pacer_.Unanchor(); }
    bool NeedsDriverThread() const final { return paced_; }
    bool FillsOnOwnerThread() const final { return !paced_; }

  protected:
    // Writes `frames` frames, the first being frame `position` of the stream (counted from
    // the open); returns how many it could, fewer only at the end of the source.
    virtual uint32_t Produce(uint64_t position, int16_t* samples, uint32_t frames) = 0;

  private:
    FramePacer pacer_;
    const bool paced_;
    uint64_t position_ = 0;
};

}  // namespace aurelix::platform::wave_driver
