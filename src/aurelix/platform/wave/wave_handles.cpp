#include "aurelix/platform/wave/wave_handles.h"

#include <chrono>
#include <random>
#include <utility>

#include <unistd.h>

namespace aurelix::platform::wave_driver {
namespace {

uint32_t RandomSalt() {
    std::random_device device;
    const auto now = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    return device() ^ uint32_t(getpid()) * 0x9E3779B1u ^ uint32_t(now) ^ uint32_t(now >> 32);
}

// A bijection of 32-bit values, so distinct counters give distinct handles.
uint32_t Scramble(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

}  // namespace

SessionTable::SessionTable() : salt_(RandomSalt()) {}

uint32_t SessionTable::NewHandle() {
    std::lock_guard lock(mutex_);
    uint32_t handle = 0;
    while (handle == 0 || open_.contains(handle)) {
        handle = Scramble(salt_ + ++counter_);
    }
    return handle;
}

void SessionTable::Insert(uint32_t handle, std::shared_ptr<WaveSession> session,
                          Direction direction) {
    std::lock_guard lock(mutex_);
    open_[handle] = Entry{std::move(session), direction};
}

std::shared_ptr<WaveSession> SessionTable::Find(uint32_t handle, Direction direction) const {
    std::lock_guard lock(mutex_);
    auto found = open_.find(handle);
    if (found == open_.end() || found->second.direction != direction) {
        return nullptr;
    }
    return found->second.session;
}

void SessionTable::Erase(uint32_t handle) {
    std::lock_guard lock(mutex_);
    open_.erase(handle);
}

// Never destroyed: driver threads of handles left open may outlive main.
SessionTable& Sessions() {
    static auto* sessions = new SessionTable();
    return *sessions;
}

}  // namespace aurelix::platform::wave_driver
