#include "aurelix/platform/wave/source_capture_stream.h"

namespace aurelix::platform::wave_driver {

Transfer SourceCaptureStream::Read(int16_t* samples, uint32_t frames, StreamControl& control) {
    uint32_t wanted = frames;
    if (paced_) {
        const Clock::time_point due = pacer_.DueTime(position_, position_ + frames, Clock::now());
        if (!control.WaitUntil(due)) {
            wanted = pacer_.FramesDue(position_, frames, Clock::now());
        }
    }
    const uint32_t made = Produce(position_, samples, wanted);
    position_ += made;
    return {made, made < wanted};
}

}  // namespace aurelix::platform::wave_driver
