#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/clock.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/state/engine_state.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

struct RecordedEvents : clsAurelEvents {
    void ChangedSamples(int32_t OldSamples) override { changed.push_back(OldSamples); }
    std::vector<int32_t> changed;
};

// Steps on one engine: (analysis, samples or -1) -> samples, ChangedSamples raised. The
// threshold is kept as a level in 320ths; the sampling time follows the format once the rate
// is known; recording defaults only an empty file name.
FRESH_TEST(clsAurelSettings, SettersApplyTheirRules) {
    const struct {
        int32_t analysis, samples, expected;
        std::vector<int32_t> changed;
    } steps[] = {
        {1, -1, 1024, {0}},       // a new engine's 0 samples are fitted
        {0, 0, 1, {}},            // below 1 stores 1 without an event
        {3, -1, 1, {}},           // 1 is a power of two
        {3, 1000, 1024, {1000}},  // the FFT bit forces powers of two
        {1, 1000, 1000, {}},      //
        {3, -1, 1024, {1000}},    // switching 1 -> 3 refits
    };
    RecordedEvents events;
    clsAurel engine(&events);
    for (const auto& step : steps) {
        events.changed.clear();
        engine.Analysis(step.analysis);
        if (step.samples != -1) {
            engine.Samples(step.samples);
        }
        EXPECT_EQ(std::tuple(engine.Samples(), state::State().BlockSamples, events.changed),
                  std::tuple(step.expected, step.expected, step.changed))
            << step.analysis << " " << step.samples;
    }

    engine.Threshold(0.0078125f);  // exactly 2.5 level units: half to even
    EXPECT_EQ(state::State().ThresholdLevel, 2);
    state::State().ThresholdLevel = 1601;
    EXPECT_FLOAT_EQ(engine.Threshold(), 1601 / 320.0f);
    EXPECT_EQ(ErrorNumberOf([&] { engine.Threshold(1e9f); }), 6);
    engine.SamplingTime(12.5);
    EXPECT_EQ(engine.SamplingTime(), 12.5);  // no rate yet: the stored value
    engine.SPS(32000);
    EXPECT_DOUBLE_EQ(engine.SamplingTime(), 32.0);
    engine.Recording(true);
    EXPECT_EQ(std::filesystem::path(engine.FileName()),
              std::filesystem::path(platform::LibraryFolder()) / "Recording.wav");
    engine.FileName("/tmp/take.wav");
    engine.Recording(true);
    EXPECT_EQ(engine.FileName(), "/tmp/take.wav");
}

// Without a control the engine makes a hidden host of its own: its timer, windows and lamp
// serve Init, and unloading it detaches them. A hosted engine has none and needs the control.
FRESH_TEST(clsAurelHost, StandaloneEngineUsesItsOwnHostAndAHostedOneNeedsTheControl) {
    platform::ManualWaveInput device;
    {
        clsAurel engine;
        ASSERT_NE(engine.Host(), nullptr);
        EXPECT_EQ(
            std::tuple(engine.Host()->Visible(), state::State().Timer, state::State().EngineObject),
            std::tuple(false, &engine.Host()->Timer1, &engine));
        engine.TimerInterval(25);
        EXPECT_EQ(engine.Host()->Timer1.Interval(), 25);
        engine.Samples(512);
        engine.SPS(8000);
        engine.Channels(1);
        engine.Buffers(2);
        engine.LoopMethod(1);
        engine.Device(int32_t(*device.DeviceId()));
        auto lamp = std::make_shared<platform::Label>();
        engine.FlashControl(lamp);
        EXPECT_EQ(engine.Init(), 0);
        EXPECT_EQ(std::tuple(state::State().Status, state::State().Lamp, state::State().WaveWindow),
                  std::tuple(3, lamp.get(), engine.Host()->txtSub.hwnd()));
    }  // the engine resets on its way out
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(std::tuple(state::State().Status, state::State().Timer, state::State().EngineObject),
              std::tuple(0, nullptr, nullptr));

    state::State().HostedByControl = true;
    clsAurel hosted;
    EXPECT_EQ(hosted.Host(), nullptr);
    hosted.TimerInterval(10);  // stored, nothing to apply it to
    EXPECT_EQ(ErrorNumberOf([&] { (void)hosted.TimerInterval(); }), 91);
    EXPECT_EQ(ErrorNumberOf([&] { hosted.Init(); }), 424);
}

// Arrays are copied per channel (a mono engine leaves the right channel's target alone);
// peaks are delivered once, and not while the analysis writes them.
FRESH_TEST(clsAurelDataAccess, ArraysAreCopiedByChannelAndPeaksDeliveredOnce) {
    clsAurel engine;
    auto& state = state::State();
    platform::BoundedArray<float> spectrum;
    EXPECT_EQ(ErrorTextOf([&] { engine.Spectrum(spectrum, 1); }),
              "Property Get Spectrum in clsAurel\r\nSubscript out of range");
    EXPECT_EQ(state.ErrorText, "Subscript out of range");
    EXPECT_EQ(engine.Spectrum(spectrum, 2), 0);  // mono

    state.PeaksL.ReDim(0, 2);
    state.PeaksL(1) = -10;
    platform::BoundedArray<float> peaks;
    EXPECT_EQ(engine.Peaks(peaks, 1), 0);
    EXPECT_EQ(std::tuple(peaks.Upper(), peaks(1)), std::tuple(2, -10.0f));
    engine.Peaks(peaks, 1);
    EXPECT_EQ(std::tuple(peaks.Upper(), peaks(1)), std::tuple(1, 0.0f));
    state.PeaksBusy = true;
    platform::BoundedArray<float> untouched(0, 5);
    engine.Peaks(untouched, 1);
    EXPECT_EQ(untouched.Upper(), 5);

    state.WaveR.ReDim(0, 3);
    state.WaveR(2) = 22;
    platform::BoundedArray<int16_t> host(0, 6);
    EXPECT_EQ(engine.WaveData(host, 2), 7);  // mono engine: left alone
    engine.Channels(2);
    EXPECT_EQ(std::tuple(engine.WaveData(host, 2), host(2)), std::tuple(4, 22));
}

// Terminate passes a failing Reset on with its context line and runs once; the destructor
// shows what it cannot pass on. The host is unloaded all the same. Reset fails on a
// recording file whose length cannot be asked (a symbolic link to itself).
TEST(clsAurelTerminate, PassesResetErrorsOnOrShowsThemFromTheDestructor) {
    TempFolder folder;
    const std::string loop = folder / "loop.wav";
    std::filesystem::create_directory_symlink(loop, loop);
    const auto pretendADeviceIsOpen = [&](clsAurel& engine) {
        engine.FileName(loop);
        state::State().WaveHandle = 0x7fff0001;  // unknown: the closes are refused quietly
        state::State().DeviceMode = 1;
    };
    CapturedMessages messages;
    OnFreshThread([&] {
        clsAurel engine;
        pretendADeviceIsOpen(engine);
        const auto error = CaughtError([&] { engine.Terminate(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 75);
        EXPECT_EQ(error->Description().rfind("Sub Class_Terminate in clsAurel\r\n"
                                             "Error in Function Reset of clsAurel:\r\n",
                                             0),
                  0u)
            << error->Description();
        EXPECT_EQ(engine.Host(), nullptr);
        EXPECT_FALSE(CaughtError([&] { engine.Terminate(); }));
    });
    EXPECT_TRUE(messages.shown.empty());
    OnFreshThread([&] {
        clsAurel engine;
        pretendADeviceIsOpen(engine);
    });
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].rfind("Aurelix|16|", 0), 0u) << messages.shown[0];
    EXPECT_NE(messages.shown[0].find("Sub Class_Terminate in clsAurel"), std::string::npos);
}

}  // namespace
}  // namespace aurelix::engine
