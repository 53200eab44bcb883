#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "aurelix/control/aurel.h"
#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::control {
namespace {

using namespace aurelix::testing;
using Log = std::vector<std::string>;
using platform::Variant;

// Records every event the control raises, as text, in order. What the host's handlers do
// besides can be set: a test can make them misbehave.
struct RecordedEvents : AurelEvents {
    void DoneRecordig() override { log.push_back("DoneRecordig"); }
    void ChangedSamples(int32_t old) override {
        log.push_back("ChangedSamples " + std::to_string(old));
    }
    void Complete(int32_t block, int32_t buffer, double dt) override {
        log.push_back("Complete " + std::to_string(block) + " " + std::to_string(buffer));
        completeTimes.push_back(dt);
        onComplete();
    }
    void MissedBuffer(int32_t block, int32_t buffer, double) override {
        log.push_back("MissedBuffer " + std::to_string(block) + " " + std::to_string(buffer));
    }
    void WaveDeviceOpened(int32_t handle) override {
        log.push_back("WaveDeviceOpened " + std::to_string(handle));
        onOpened();
    }
    void WaveDeviceClosed(int32_t) override { log.push_back("WaveDeviceClosed"); }
    void FrequencyTrigger(int32_t n, platform::BoundedArray<int32_t>& triggers) override {
        std::string entry = "FrequencyTrigger " + std::to_string(n) + ":";
        for (int32_t i = 0; i < n; ++i) {
            entry += " " + std::to_string(triggers(i));
        }
        log.push_back(entry);
    }
    void FrequencyTriggersOff() override { log.push_back("FrequencyTriggersOff"); }

    Log log;
    std::vector<double> completeTimes;
    std::function<void()> onComplete = [] {}, onOpened = [] {};
};

// A control placed on a form, with its events recorded and a manual input to capture from;
// the mailbox is written the way the engine writes it (WM_SETTEXT and WM_KEYUP on txtMsg).
struct PlacedControl {
    explicit PlacedControl(bool userMode = true) : container(userMode) { aurel.InitProperties(); }
    void Mail(const std::string& text) {
        platform::SendMessageA(aurel.txtMsg().hwnd(), platform::WM_SETTEXT, 0,
                               reinterpret_cast<platform::LPARAM>(text.c_str()));
    }
    void Key(int32_t code) {
        platform::SendMessageA(aurel.txtMsg().hwnd(), platform::WM_KEYUP,
                               static_cast<platform::WPARAM>(code), 0);
    }

    platform::ManualWaveInput input{"Session input"};  // outlives the control placed on it
    platform::SimpleContainer container;
    RecordedEvents events;
    Aurel aurel{container, &events};
};

// A placed control hosts the engine and owns the timer. Setters apply their rules to the
// shared state, raise ChangedSamples when the block size had to change and tell the
// container, in order, what changed; the sampling time needs a rate.
FRESH_TEST(AurelProperties, SettersApplyTheirRulesAndReportEveryChange) {
    PlacedControl placed;
    Aurel& aurel = placed.aurel;
    EXPECT_EQ(std::tuple(state::State().HostedByControl, state::State().Timer),
              std::tuple(true, &aurel.Timer1()));
    aurel.Analysis(0);
    aurel.Samples(1000);
    aurel.Analysis(3);
    aurel.SPS(8000);
    aurel.LoopMethod(3);
    aurel.Threshold(5.0f);
    aurel.TimerInterval(40);
    EXPECT_EQ(placed.events.log, Log{"ChangedSamples 1000"});
    const auto& state = state::State();
    EXPECT_EQ(std::tuple(state.BlockSamples, state.AnalysisFlags, state.SampleRate, state.LoopMode,
                         state.ThresholdLevel, aurel.Timer1().Interval()),
              std::tuple(1024, 3, 8000, 3, 1600, 40));
    EXPECT_EQ(placed.container.ChangedNames(), (Log{"Analysis", "Samples", "Analysis", "SpS",
                                                    "LoopMethod", "Threshold", "TimerInterval"}));

    aurel.Recording(true);  // an empty file name gets the default
    EXPECT_EQ(std::filesystem::path(aurel.FileName()),
              std::filesystem::path(platform::LibraryFolder()) / "Recording.wav");
    aurel.FileName("take.wav");
    aurel.Recording(true);
    EXPECT_EQ(aurel.FileName(), "take.wav");
    EXPECT_NEAR(aurel.SamplingTime(), 1024 * 1000.0 / 8000, 1e-9);
    aurel.SPS(0);
    EXPECT_EQ(ErrorNumberOf([&] { aurel.SamplingTime(); }), 11);
    // Device names outside the list found at creation (the simulated inputs are always
    // there) are empty.
    EXPECT_FALSE(aurel.DeviceName(0).empty());
    EXPECT_EQ(std::tuple(aurel.DeviceName(-1), aurel.DeviceName(1 << 20)), std::tuple("", ""));
    // At run time only the properties a host never writes are refused.
    EXPECT_EQ(ErrorTextOf([&] { aurel.FilePointer(9); }), "Set not supported at runtime");
    aurel.MissedCount(3);
    EXPECT_EQ(state.MissedCount, 3);
    // Through the dispatch: the version, and an array property needs an array to fill.
    EXPECT_EQ(Invoke(aurel, "Version", MemberKind::Method, {}).ToString(), "1.0.52");
    Variant notArray[] = {Variant(5), Variant(1)};
    EXPECT_EQ(ErrorNumberOf([&] { Invoke(aurel, "Spectrum", MemberKind::PropertyGet, notArray); }),
              13);
}

// Only values that differ from their defaults are written. Reading runs no setter rule and
// reports no change, restores the default of what was not written, takes a stored 0 samples
// for the default, never takes the device count and stores nothing at all from a bag with a
// value that does not fit.
FRESH_TEST(AurelPersistence, WritesWhatDiffersAndReadsAllOrNothing) {
    PlacedControl placed, other;
    placed.aurel.SPS(8000);
    placed.aurel.Samples(0);  // 1 with the FFT bit
    placed.aurel.FileName("take.wav");
    platform::PropertyBag bag;
    placed.aurel.WriteProperties(bag);
    EXPECT_EQ(bag.Count(), 3u);
    bag.WriteProperty("DataPointer", 77, 0);
    bag.WriteProperty("TimerInterval", 30, 1);
    bag.WriteProperty("Devices", 9, 0);

    Aurel& loaded = other.aurel;
    loaded.BlockCount(5);
    other.container.ClearChangedNames();
    loaded.ReadProperties(bag);
    EXPECT_EQ(std::tuple(loaded.SPS(), loaded.Samples(), loaded.FileName(), loaded.DataPointer(),
                         loaded.Timer1().Interval(), loaded.BlockCount()),
              std::tuple(8000, 1, "take.wav", 77, 30, 0));
    EXPECT_NE(loaded.Devices(), 9);
    EXPECT_TRUE(other.container.ChangedNames().empty());
    bag.WriteProperty("Samples", 0, 1024);
    bag.WriteProperty("Buffers", 1e12, 1);  // read last
    EXPECT_EQ(ErrorNumberOf([&] { loaded.ReadProperties(bag); }), 6);
    EXPECT_EQ(loaded.Samples(), 1);
    bag.WriteProperty("Buffers", 1, 1);  // the default: no longer stored
    loaded.ReadProperties(bag);
    EXPECT_EQ(loaded.Samples(), 1024);
}

// Hosts bind to these numbers: properties count down from 0x6803001F in this order, methods
// and events have theirs.
TEST(AurelDispatch, DispatchIdsAreThoseHostsBindTo) {
    std::istringstream properties(
        "SPS Bips Channels Samples DataPointer LoopMethod Threshold TimerInterval Analysis "
        "SamplingTime WaveData Spectrum RawData Status FileName MaxRecordingTime Recording Peaks "
        "DeviceHandle DeviceName Buffers Device FilePointer Playing BlockCount MissedCount "
        "MaxAmplitudeL MaxAmplitudeR MaxFrequencyL MaxFrequencyR Sequence Devices");
    int32_t id = 0x6803001F;
    for (std::string name; properties >> name; --id) {
        EXPECT_EQ(GetIDOfName(name), id) << name;
    }
    EXPECT_EQ(id, 0x6803001F - 32);
    std::istringstream methods(
        "Init 37 Start 26 Pause 38 Reset 39 SetOneShot 25 SetConstants 24 Version 28 DoFFT 23 "
        "AddTrigger 20 AnalysisTime 21 ExportData 22");
    for (std::string name; methods >> name >> std::hex >> id;) {
        EXPECT_EQ(GetIDOfName(name), 0x60030000 + id) << name;
    }
    std::string events;
    for (const auto& event : AurelEventInfos()) {
        events += std::string(event.name) + "#" + std::to_string(event.dispatchId) + " ";
    }
    EXPECT_EQ(events,
              "DoneRecordig#1 ChangedSamples#2 Complete#3 MissedBuffer#4 WaveDeviceOpened#5 "
              "WaveDeviceClosed#6 FrequencyTrigger#7 FrequencyTriggersOff#8 ");
}

void Pump() {
    for (int i = 0; i < 5; ++i) {
        platform::DoEvents();
    }
}

// A placed control on a manual input: 8000 Hz, 256 samples per block, message-driven.
struct Session : PlacedControl {
    Session(int32_t analysis, int32_t buffers) {
        aurel.SPS(8000);
        aurel.Samples(256);
        aurel.Analysis(analysis);
        aurel.Buffers(buffers);
        aurel.LoopMethod(1);
        aurel.Device(int32_t(*input.DeviceId()));
    }
    // The device fills its oldest queued buffer; the messages are then dispatched.
    bool Deliver(const std::vector<int16_t>& block) {
        const bool filled = input.Fill(block);
        Pump();
        return filled;
    }
};

// A whole capture session on a device the test drives, loop method 1: opening, blocks
// analysed with their events, triggers going on and off, a recording, pause and reset.
TEST(AurelSession, CaptureAnalyseTriggerRecordPauseReset) {
    TempFolder folder;
    OnFreshThread([&] {
        Session session(3, 1);
        auto& events = session.events;
        auto& aurel = session.aurel;
        aurel.Threshold(1.0f);
        aurel.FileName(folder / "take.wav");
        aurel.Recording(true);
        aurel.AddTrigger(1, 900.0, 1100.0, 10.0f);  // bins 28..34 at 31.25 Hz per bin

        EXPECT_EQ(aurel.Init(), 0);
        EXPECT_NE(aurel.DeviceHandle(), 0);
        EXPECT_EQ(events.log, Log{"WaveDeviceOpened " + std::to_string(aurel.DeviceHandle())});
        events.log.clear();

        EXPECT_EQ(aurel.Start(), 0);
        std::vector<int16_t> tone(256);  // 1000 Hz
        for (size_t i = 0; i < tone.size(); ++i) {
            tone[i] = int16_t(std::lround(16000 * std::sin(2 * M_PI * 32 * double(i) / 256)));
        }
        ASSERT_TRUE(session.Deliver(tone));
        ASSERT_TRUE(session.Deliver(tone));
        ASSERT_TRUE(session.Deliver(std::vector<int16_t>(256, 0)));
        EXPECT_EQ(events.log,
                  (Log{"Complete 1 1", "FrequencyTrigger 1: 1", "Complete 2 1",
                       "FrequencyTrigger 1: 1", "Complete 3 1", "FrequencyTriggersOff"}));
        ASSERT_EQ(events.completeTimes.size(), 3u);
        EXPECT_GT(events.completeTimes[1], events.completeTimes[0]);
        ASSERT_TRUE(session.Deliver(tone));  // a fourth block for the recording
        events.log.clear();

        aurel.Pause();
        ASSERT_TRUE(session.Deliver(tone));      // the buffer queued before the pause comes back...
        EXPECT_FALSE(session.input.Fill(tone));  // ...and is neither handed back nor analysed
        EXPECT_TRUE(events.log.empty());
        EXPECT_EQ(aurel.Reset(), 0);
        Pump();
        EXPECT_EQ(events.log, (Log{"WaveDeviceClosed", "DoneRecordig"}));
        EXPECT_EQ(aurel.FilePointer(), 44 + 4 * 256 * 2);  // four blocks recorded
    });
}

// Loop method 0: no window hooks, the control's timer polls buffer 1 on every tick.
FRESH_TEST(AurelSession, TimerDrivenCaptureRaisesCompleteOnEveryTick) {
    Session session(1, 2);
    auto& aurel = session.aurel;
    aurel.LoopMethod(0);
    aurel.TimerInterval(1);
    aurel.Init();
    aurel.Start();
    EXPECT_EQ(aurel.Status(), 6);  // no open message was awaited
    EXPECT_TRUE(aurel.Timer1().Enabled());
    const Log& log = session.events.log;
    while (std::count(log.begin(), log.end(), "Complete 0 0") < 4) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        platform::DoEvents();
        session.input.Fill(std::vector<int16_t>(256, 1234));  // the tick re-queued a buffer
    }
    EXPECT_EQ(aurel.MaxAmplitudeL(), 1234);
    aurel.Pause();
    EXPECT_FALSE(aurel.Timer1().Enabled());
}

// The engine's words: case-insensitive, the first space-separated token (extra tokens
// ignored, an empty token is 0, numbers rounded half to even), the text cleared afterwards;
// and the key-ups.
FRESH_TEST(AurelMailbox, WordsAndKeyUpsRaiseTheirEvents) {
    PlacedControl f;
    auto& state = state::State();
    state.WaveHandle = 0x1234;
    for (const char* word : {"START", "Closed", "donerecording", "start now please",
                             "unknown words", " start", "changedsamples 512", "changedsamples x",
                             "analyzed 7 3", "analyzed 7.5 2.5", "analyzed  4"}) {
        f.Mail(word);
    }
    EXPECT_EQ(state.NotifyCount, 3);
    f.Mail("next");  // no device: not counted
    state.Status = 3;
    state.BufferCount = 1;
    f.Mail("next");  // one buffer: nothing to move on to
    state.BufferCount = 2;
    f.Mail("next");
    state.CallbackDepth = 2;
    f.Mail("analyzed 9 9");  // counted, but too deep for an event
    EXPECT_EQ(state.NotifyCount, 5);
    EXPECT_EQ(f.events.log, (Log{"WaveDeviceOpened 4660", "WaveDeviceClosed", "DoneRecordig",
                                 "WaveDeviceOpened 4660", "ChangedSamples 512", "ChangedSamples 0",
                                 "Complete 7 3", "Complete 8 2", "Complete 0 4"}));
    EXPECT_EQ(f.events.completeTimes, (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(f.aurel.txtMsg().Text(), "");
    EXPECT_EQ(ErrorNumberOf([&] { f.Mail("analyzed 1e10 1"); }), 6);

    // A key-up carries the kind in its high byte and the buffer in its low one.
    f.events.log.clear();
    f.events.completeTimes.clear();
    state.LastAnalyzedBlock = 41;
    state.BlocksDone = 44;
    state.LastBlockTime = 0.5;
    for (const int32_t code : {0x0105, 0x0203, 0x0305, 256 + 256}) {
        f.Key(code);
    }
    // Buffer 256 carries into the kind: a MissedBuffer for buffer 0.
    EXPECT_EQ(f.events.log, (Log{"Complete 41 5", "MissedBuffer 44 3", "MissedBuffer 44 0"}));
    EXPECT_EQ(f.events.completeTimes, (std::vector<double>{0.5}));
}

FRESH_TEST(AurelMailbox, TriggersOffIsRaisedOncePerRunOfTriggerEvents) {
    PlacedControl f;
    auto& state = state::State();
    f.aurel.AddTrigger(1, 100, 200, 1.0f);  // level 320
    f.aurel.AddTrigger(2, 300, 300, 1.0f);
    auto& triggers = f.aurel.Engine().Triggers();
    triggers(1).Bin1 = 2;
    triggers(1).Bin2 = 3;
    triggers(2).Bin1 = 5;
    triggers(2).Bin2 = 5;
    state.SpectrumL.ReDim(0, 7);
    state.SpectrumL(2) = 320.0f;  // at the level counts
    state.SpectrumL(3) = 500.0f;
    state.SpectrumL(5) = 319.0f;

    f.Mail("triggersoff");  // nothing before any trigger event
    f.Mail("triggers");
    state.SpectrumL(5) = 400.0f;
    f.Mail("triggers");
    state.SpectrumL(2) = state.SpectrumL(3) = state.SpectrumL(5) = 0.0f;
    f.Mail("triggers");  // none active: behaves as triggersoff
    f.Mail("triggersoff");
    EXPECT_EQ(f.events.log, (Log{"FrequencyTrigger 2: 1 1", "FrequencyTrigger 3: 1 1 2",
                                 "FrequencyTriggersOff"}));
}

// After whatever happened: Reset closes the device, and a fresh run captures.
void ExpectRecovers(Session& s) {
    EXPECT_EQ(s.aurel.Reset(), 0);
    EXPECT_FALSE(s.input.IsOpen());
    EXPECT_EQ(s.aurel.Init(), 0);
    EXPECT_EQ(s.aurel.Start(), 0);
    s.events.log.clear();
    EXPECT_TRUE(s.Deliver(std::vector<int16_t>(256, 1000)));
    EXPECT_EQ(s.events.log, Log{"Complete 1 1"});
}

// The host misbehaves, and the control stays usable after each: a handler throws (the
// exception reaches the host through the call that ran it); then Init, Start and Reset come
// twice each in every order, from the host and from inside event handlers (errors may be raised,
// nothing may hang or leak a device); the device stops giving buffers back (the host's loop
// keeps control), then disappears (Reset still closes the handle).
TEST(FaultInjection, MisbehavingHostsAndDevicesLeaveTheControlUsable) {
    OnFreshThread([] {
        Session s(1, 2);
        const std::vector<int16_t> block(256, 1000);
        s.events.onComplete = [] { throw std::runtime_error("host bug"); };
        ASSERT_EQ(s.aurel.Init(), 0);
        s.aurel.Start();
        EXPECT_THROW(s.Deliver(block), std::runtime_error);

        const std::array<std::function<int32_t()>, 3> calls = {[&] { return s.aurel.Init(); },
                                                               [&] { return s.aurel.Start(); },
                                                               [&] { return s.aurel.Reset(); }};
        // The call the next event handler (a block's Complete or the device's opening) makes,
        // or the host when no event comes.
        std::optional<size_t> pending;
        const auto runPending = [&] {
            if (pending) {
                calls[*std::exchange(pending, std::nullopt)]();
            }
        };
        s.events.onComplete = s.events.onOpened = runPending;
        std::array<size_t, 6> order = {0, 0, 1, 1, 2, 2};
        int orders = 0;
        do {
            for (const bool inside : {false, true}) {
                for (const size_t call : order) {
                    pending = call;
                    try {
                        if (inside) {
                            s.Deliver(block);
                        }
                        runPending();
                    } catch (const platform::RuntimeError&) {
                        // Refusals (not idle, no device) are part of the game.
                    }
                }
                s.aurel.Reset();
                ASSERT_FALSE(s.input.IsOpen()) << "order " << orders;
            }
            ++orders;
        } while (std::next_permutation(order.begin(), order.end()));
        EXPECT_EQ(orders, 90);
        ExpectRecovers(s);

        EXPECT_FALSE(platform::RunMessageLoop([] { return false; }, std::chrono::milliseconds(50)));
        s.input.Unplug();
        EXPECT_EQ(s.aurel.Status(), 7);
        EXPECT_EQ(s.aurel.Reset(), 0);
        EXPECT_FALSE(s.input.IsOpen());
        EXPECT_EQ(s.events.log.back(), "WaveDeviceClosed");
        s.input.Plug();
        s.aurel.Device(int32_t(*s.input.DeviceId()));
        ExpectRecovers(s);
    });
}

}  // namespace
}  // namespace aurelix::control
