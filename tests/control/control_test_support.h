#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::testing {

// Records every event the control raises, as text, in order.
struct RecordedAurelEvents : control::AurelEvents {
    void DoneRecordig() override { log.push_back("DoneRecordig"); }
    void ChangedSamples(int32_t OldSamples) override {
        log.push_back("ChangedSamples " + std::to_string(OldSamples));
    }
    void Complete(int32_t BlockIndex, int32_t BufferIndex, double dt) override {
        log.push_back("Complete " + std::to_string(BlockIndex) + " " + std::to_string(BufferIndex));
        completeTimes.push_back(dt);
        if (onComplete)
            onComplete();
    }
    void MissedBuffer(int32_t BlockIndex, int32_t BufferIndex, double) override {
        log.push_back("MissedBuffer " + std::to_string(BlockIndex) + " " +
                      std::to_string(BufferIndex));
    }
    void WaveDeviceOpened(int32_t DeviceHandle) override {
        log.push_back("WaveDeviceOpened");
        openedHandles.push_back(DeviceHandle);
        if (onOpened)
            onOpened();
    }
    void WaveDeviceClosed(int32_t) override { log.push_back("WaveDeviceClosed"); }
    void FrequencyTrigger(int32_t n, platform::BoundedArray<int32_t>& Triggers) override {
        std::string entry = "FrequencyTrigger " + std::to_string(n) + ":";
        for (int32_t i = 0; i < n; ++i) {
            entry += " " + std::to_string(Triggers(i));
        }
        log.push_back(entry);
    }
    void FrequencyTriggersOff() override { log.push_back("FrequencyTriggersOff"); }

    std::vector<std::string> log;
    std::vector<double> completeTimes;
    std::vector<int32_t> openedHandles;
    // What the host's handler does besides: a test can make it misbehave.
    std::function<void()> onComplete, onOpened;
};

// A control placed on a form, with its events recorded; the mailbox is written the way the
// engine writes it (WM_SETTEXT and WM_KEYUP on txtMsg).
struct PlacedControl {
    explicit PlacedControl(bool userMode = true, bool initProperties = true) : container(userMode) {
        if (initProperties) {
            aurel.InitProperties();
        }
    }
    void Mail(const std::string& text) {
        platform::SendMessageA(aurel.txtMsg().hwnd(), platform::WM_SETTEXT, 0,
                               reinterpret_cast<platform::LPARAM>(text.c_str()));
    }
    void Key(int32_t code) {
        platform::SendMessageA(aurel.txtMsg().hwnd(), platform::WM_KEYUP,
                               static_cast<platform::WPARAM>(code), 0);
    }

    platform::SimpleContainer container;
    RecordedAurelEvents events;
    control::Aurel aurel{container, &events};
};

}  // namespace aurelix::testing
