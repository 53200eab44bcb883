#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/window.h"
#include "control/control_test_support.h"
#include "support/fresh_thread.h"

namespace aurelix::control {
namespace {

using aurelix::testing::OnFreshThread;

// A host whose event handlers the test can make misbehave.
struct HostEvents : testing::RecordedAurelEvents {
    void Complete(int32_t block, int32_t buffer, double dt) override {
        RecordedAurelEvents::Complete(block, buffer, dt);
        if (onComplete)
            onComplete();
    }
    void WaveDeviceOpened(int32_t handle) override {
        RecordedAurelEvents::WaveDeviceOpened(handle);
        if (onOpened)
            onOpened();
    }
    std::function<void()> onComplete, onOpened;
};

// A control on a manual device: 8000 Hz, 256 samples, 2 buffers, analysis on.
struct Session {
    Session() {
        aurel.InitProperties();
        aurel.SPS(8000);
        aurel.Samples(256);
        aurel.Analysis(1);
        aurel.Buffers(2);
        aurel.LoopMethod(1);
        aurel.Device(int32_t(*device.DeviceId()));
    }
    bool Deliver() {
        const bool filled = device.Fill(std::vector<int16_t>(256, 1000));
        for (int i = 0; i < 3; ++i)
            platform::DoEvents();
        return filled;
    }
    // After whatever happened: Reset closes the device, and a fresh run captures.
    void ExpectRecovers() {
        EXPECT_EQ(aurel.Reset(), 0);
        EXPECT_EQ(aurel.Status(), 0);
        EXPECT_FALSE(device.IsOpen());
        EXPECT_EQ(aurel.Init(), 0);
        EXPECT_EQ(aurel.Start(), 0);
        const size_t before = events.log.size();
        EXPECT_TRUE(Deliver());
        EXPECT_NE(std::find(events.log.begin() + long(before), events.log.end(), "Complete 1 1"),
                  events.log.end());
        EXPECT_EQ(aurel.Reset(), 0);
        EXPECT_FALSE(device.IsOpen());
    }
    platform::ManualWaveInput device{"Faulty input"};
    platform::SimpleContainer container;
    HostEvents events;
    Aurel aurel{container, &events};
};

// The device stops giving buffers back, then disappears: the host's loop keeps control and
// Reset still closes the handle.
TEST(FaultInjection, DeviceThatStopsAndVanishes) {
    OnFreshThread([] {
        Session s;
        ASSERT_EQ(s.aurel.Init(), 0);
        s.aurel.Start();
        EXPECT_TRUE(s.Deliver());
        EXPECT_FALSE(platform::RunMessageLoop([] { return false; }, std::chrono::milliseconds(50)));
        s.device.Unplug();
        EXPECT_EQ(s.aurel.Status(), 7);
        EXPECT_EQ(s.aurel.Reset(), 0);
        EXPECT_FALSE(s.device.IsOpen());
        EXPECT_EQ(s.events.log.back(), "WaveDeviceClosed");
        s.device.Plug();
        s.aurel.Device(int32_t(*s.device.DeviceId()));
        s.ExpectRecovers();
    });
}

// A host handler that throws: the exception reaches the host through the call that ran the
// handler, and the control stays usable.
TEST(FaultInjection, HostHandlerThrowingInsideComplete) {
    OnFreshThread([] {
        Session s;
        s.events.onComplete = [] { throw std::runtime_error("host bug"); };
        ASSERT_EQ(s.aurel.Init(), 0);
        s.aurel.Start();
        EXPECT_THROW(s.Deliver(), std::runtime_error);
        s.events.onComplete = nullptr;
        s.ExpectRecovers();
    });
}

// Init, Start and Reset, each twice, in every order, from the host and from inside event
// handlers: errors may be raised, nothing may hang or leak a device.
TEST(FaultInjection, RunControlInEveryOrder) {
    OnFreshThread([] {
        Session s;
        const std::array<std::function<int32_t()>, 3> calls = {[&] { return s.aurel.Init(); },
                                                               [&] { return s.aurel.Start(); },
                                                               [&] { return s.aurel.Reset(); }};
        // A call the next event handler (a block's Complete or the device's opening) makes.
        std::optional<size_t> pending;
        s.events.onComplete = s.events.onOpened = [&] {
            if (pending) {
                const size_t call = *std::exchange(pending, std::nullopt);
                calls[call]();
            }
        };
        std::array<size_t, 6> order = {0, 0, 1, 1, 2, 2};
        int orders = 0;
        do {
            for (const bool inside : {false, true}) {
                for (const size_t call : order) {
                    try {
                        if (inside) {
                            pending = call;
                            s.Deliver();
                            if (pending) {
                                calls[*std::exchange(pending, std::nullopt)]();  // no event came
                            }
                        } else {
                            calls[call]();
                        }
                    } catch (const platform::RuntimeError&) {
                        // Refusals (not idle, no device) are part of the game.
                    }
                }
                s.aurel.Reset();
                ASSERT_FALSE(s.device.IsOpen()) << "order " << orders;
            }
            ++orders;
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_EQ(orders, 90);
        s.ExpectRecovers();
    });
}

}  // namespace
}  // namespace aurelix::control
