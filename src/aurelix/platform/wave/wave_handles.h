#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "aurelix/platform/wave/wave_session.h"

namespace aurelix::platform::wave_driver {

// The open wave handles of this process. A handle is a non-zero 32-bit value that this
// process never hands out twice, and the sequence starts from a random salt, so a handle
// kept by an earlier process (in the settings store) does not name a device this process
// has open.
class SessionTable {
  public:
    SessionTable();

    uint32_t NewHandle();
    void Insert(uint32_t handle, std::shared_ptr<WaveSession> session, Direction direction);
    // The session of `handle` in `direction`; nullptr for 0, unknown or other-direction
    // handles.
    std::shared_ptr<WaveSession> Find(uint32_t handle, Direction direction) const;
    void Erase(uint32_t handle);

  private:
    struct Entry {
        std::shared_ptr<WaveSession> session;
        Direction direction;
    };

    mutable std::mutex mutex_;
    std::unordered_map<uint32_t, Entry> open_;
    const uint32_t salt_;
    uint32_t counter_ = 0;
};

SessionTable& Sessions();

}  // namespace aurelix::platform::wave_driver
