#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace aurelix::platform::wave_driver {

// Real-time pacing of a sample stream against absolute deadlines: frame n is due at
// anchor + (n - anchorFrame) / rate, so rounding never accumulates into drift. The clock
// anchors at the first request and again when the stream has been left waiting for more
// than kMaxLag (nobody queued buffers): it then resumes at once instead of bursting.
class FramePacer {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kMaxLag = std::chrono::milliseconds(500);

    explicit FramePacer(uint32_t rate) : rate_(rate) {}

    // When the frames before `frameEnd` are all due; `position` is the next frame to
    // deliver.
    Clock::time_point DueTime(uint64_t position, uint64_t frameEnd, Clock::time_point now);
    // How many frames from `position` on are due at `now`, at most `limit`.
    uint32_t FramesDue(uint64_t position, uint32_t limit, Clock::time_point now) const;
    // The next request anchors the clock anew.
    void Unanchor() { anchor_.reset(); }

  private:
    Clock::time_point TimeOf(uint64_t frame) const;

    const uint32_t rate_;
    std::optional<Clock::time_point> anchor_;
    uint64_t anchorFrame_ = 0;
};

}  // namespace aurelix::platform::wave_driver
