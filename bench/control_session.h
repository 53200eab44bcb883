#pragma once

// A placed control as a host uses it, for the pipeline benchmarks: property settings, an
// event sink that counts without allocating, and a message loop turned until a number of
// blocks is complete. Build and use it on one thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::bench {

struct SessionSettings {
    uint32_t device = 0;
    int32_t sps = 48000;
    int16_t channels = 2;
    int32_t samples = 256;
    int32_t buffers = 8;
    int16_t loopMethod = 1;
    int32_t analysis = 1 | 2 | 16;  // amplitude, spectrum, peaks
    std::string recordTo{};         // empty: no recording
    bool trigger = true;            // one band around the simulated sine's 1 kHz
};

// Counts the events; a loop-method-3 host hands each buffer back from Complete.
class CountingEvents : public control::AurelEvents {
  public:
    void Complete(int32_t, int32_t, double) override {
        ++completed;
        if (onComplete)
            onComplete();
    }
    void MissedBuffer(int32_t, int32_t, double) override { ++missed; }
    void FrequencyTrigger(int32_t n, platform::BoundedArray<int32_t>&) override { triggered += n; }
    void FrequencyTriggersOff() override { ++triggersOff; }

    int64_t completed = 0;
    int64_t missed = 0;
    int64_t triggered = 0;
    int64_t triggersOff = 0;
    std::function<void()> onComplete;
};

class ControlSession {
  public:
    explicit ControlSession(const SessionSettings& s) {
        aurel.InitProperties();
        aurel.SPS(s.sps);
        aurel.Channels(s.channels);
        aurel.Samples(s.samples);
        aurel.Buffers(s.buffers);
        aurel.LoopMethod(s.loopMethod);
        aurel.Analysis(s.analysis);
        aurel.Device(int32_t(s.device));
        if (!s.recordTo.empty()) {
            aurel.FileName(s.recordTo);
            aurel.Recording(true);
        }
        if (s.trigger)
            aurel.AddTrigger(1, 900.0, 1100.0, 1.0f);
        if (s.loopMethod == 3)
            events.onComplete = [this] { aurel.SetOneShot(0); };
    }
    ~ControlSession() { aurel.Reset(); }

    // Opens and starts; false when the device refused.
    bool Start() { return aurel.Init() == 0 && aurel.Status() == 3 && aurel.Start() == 0; }

    // Turns the message loop until `blocks` more blocks are complete; false on timeout.
    bool RunBlocks(int64_t blocks,
                   std::chrono::steady_clock::duration timeout = std::chrono::seconds(60)) {
        const int64_t until = events.completed + blocks;
        return platform::RunMessageLoop([&] { return events.completed >= until; }, timeout);
    }

    platform::SimpleContainer container;
    CountingEvents events;
    control::Aurel aurel{container, &events};
};

}  // namespace aurelix::bench
