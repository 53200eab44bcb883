#pragma once

#include <cstdint>

#include "aurelix/platform/runtime/bounded_array.h"

namespace aurelix::control {

// The control's events, in dispatch-id order 1..8. Each runs synchronously on the
// control's thread, inside the library call that caused it; handlers may call back into
// the control. Override what you need; the others do nothing.
class AurelEvents {
  public:
    virtual ~AurelEvents() = default;
    virtual void DoneRecordig() {}                          // 1
    virtual void ChangedSamples(int32_t /*OldSamples*/) {}  // 2
    virtual void Complete(int32_t /*BlockIndex*/, int32_t /*BufferIndex*/, double /*dt*/) {}
    virtual void MissedBuffer(int32_t /*BlockIndex*/, int32_t /*BufferIndex*/, double /*dt*/) {}
    virtual void WaveDeviceOpened(int32_t /*DeviceHandle*/) {}  // 5
    virtual void WaveDeviceClosed(int32_t /*DeviceHandle*/) {}  // 6
    // `Triggers` holds n trigger indexes (0..n-1), one per bin at or above its level; it is
    // valid during the call.
    virtual void FrequencyTrigger(int32_t /*n*/, platform::BoundedArray<int32_t>& /*Triggers*/) {}
    virtual void FrequencyTriggersOff() {}  // 8
};

}  // namespace aurelix::control
