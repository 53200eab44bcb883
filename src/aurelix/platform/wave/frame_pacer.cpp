#include "aurelix/platform/wave/frame_pacer.h"

#include <algorithm>

namespace aurelix::platform::wave_driver {

FramePacer::Clock::time_point FramePacer::DueTime(uint64_t position, uint64_t frameEnd,
                                                  Clock::time_point now) {
    if (!anchor_ || now - TimeOf(position) > kMaxLag) {
        anchor_ = now;
        anchorFrame_ = position;
    }
    return TimeOf(frameEnd);
}

uint32_t FramePacer::FramesDue(uint64_t position, uint32_t limit, Clock::time_point now) const {
    if (!anchor_ || now <= *anchor_) {
        return 0;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - *anchor_);
    const auto dueEnd = anchorFrame_ + uint64_t((__int128)elapsed.count() * rate_ / 1000000000);
    return dueEnd <= position ? 0 : uint32_t(std::min<uint64_t>(dueEnd - position, limit));
}

FramePacer::Clock::time_point FramePacer::TimeOf(uint64_t frame) const {
    const uint64_t frames = frame - anchorFrame_;
    const auto nanoseconds = int64_t((__int128)frames * 1000000000 / rate_);
    return *anchor_ +
           std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

}  // namespace aurelix::platform::wave_driver
