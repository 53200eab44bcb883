#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/capture/subclassing.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/process_identity.h"
#include "aurelix/platform/storage/settings_store.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/state/engine_state.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;
using platform::RGB;

struct RecordedEvents : clsAurelEvents {
    void ChangedSamples(int32_t OldSamples) override { changed.push_back(OldSamples); }
    std::vector<int32_t> changed;
};

// Steps on one engine: (analysis, samples or -1) -> samples, ChangedSamples raised. The
// threshold is kept as a level in 320ths; the sampling time follows the format.
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
    engine.SPS(32000);
    EXPECT_DOUBLE_EQ(engine.SamplingTime(), 32.0);
}

// Without a control the engine makes a hidden host of its own: its timer, windows and lamp
// serve Init, and unloading it detaches them.
FRESH_TEST(clsAurelHost, StandaloneEngineUsesItsOwnHost) {
    platform::ManualWaveInput device;
    {
        clsAurel engine;
        ASSERT_NE(engine.Host(), nullptr);
        EXPECT_EQ(
            std::tuple(engine.Host()->Visible(), state::State().Timer, state::State().EngineObject),
            std::tuple(false, &engine.Host()->Timer1, &engine));
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
}

// The spectrum is copied per channel, the wave too (a mono engine has no right channel to
// copy); peaks are delivered once.
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

    state.WaveR.ReDim(0, 3);
    state.WaveR(2) = 22;
    platform::BoundedArray<int16_t> host(0, 6);
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
        EXPECT_TRUE(error->Description().starts_with(
            "Sub Class_Terminate in clsAurel\r\nError in Function Reset of clsAurel:\r\n"))
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
    EXPECT_TRUE(messages.shown[0].starts_with("Aurelix|16|75: Sub Class_Terminate in clsAurel\r\n"))
        << messages.shown[0];
}

// Message-driven capture is confirmed by the window hook and goes through status 0-3-7-3-0.
FRESH_TEST(DeviceOpening, MessageDrivenCaptureGoesThroughStatus0_3_7_3_0) {
    PipelineHost host;
    const auto& state = state::State();
    host.Configure({}, *host.input.DeviceId());
    EXPECT_FALSE(host.Open().has_value());
    // Open and confirmed, nothing queued before Start.
    EXPECT_EQ(std::tuple(state.Status, host.lamp.BackColor(), host.input.IsStarted(),
                         host.input.QueuedCount(), host.mail),
              std::tuple(3, RGB(127, 0, 0), true, 0u, std::vector<std::string>{"start"}));
    const uint32_t handle = state.WaveHandle;
    EXPECT_EQ(host.Open(), -1001);  // not idle: refused, device left alone
    EXPECT_EQ(std::tuple(state.WaveHandle, state.Status), std::tuple(handle, 3));
    host.engine->Start();
    EXPECT_EQ(std::tuple(state.Status, host.input.QueuedCount()), std::tuple(7, 4u));
    const auto refreshes = host.lamp.RefreshCount();
    host.engine->Pause();
    EXPECT_EQ(std::tuple(state.Status, host.lamp.RefreshCount(), host.lamp.BackColor()),
              std::tuple(3, refreshes + 1, RGB(127, 0, 0)));
    host.engine->Reset();
    EXPECT_EQ(std::tuple(state.Status, host.input.IsOpen(), host.lamp.BackColor(),
                         host.Count("closed"), state.OldWaveProc, state.OldTimerProc),
              std::tuple(0, false, RGB(127, 127, 127), 1, nullptr, nullptr));
}

// A missing playback file is an error, not a new file; an existing one wins over capture,
// and a later capture that does not record neither opens nor overwrites it.
TEST(DeviceOpening, PlaybackNeedsItsFileAndCaptureLeavesItAlone) {
    TempFolder folder;
    std::ofstream(folder / "in.wav", std::ios::binary) << std::string(44, '\0');
    OnFreshThread([&] {
        PipelineHost host;
        platform::ManualWaveOutput output;
        host.Configure({.channels = 2, .samples = 1024, .loopMethod = 0}, *output.DeviceId());
        host.engine->FileName(folder / "missing.wav");
        const auto missing = CaughtError([&] { host.Open(2); });
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->Number(), 53);
        EXPECT_TRUE(
            missing->Description().starts_with("Function InitX in clsAurel\r\nFile not found"));
        EXPECT_FALSE(std::filesystem::exists(folder / "missing.wav"));
        host.engine->Reset();

        host.engine->FileName(folder / "in.wav");
        host.Open(3);
        EXPECT_EQ(std::tuple(state::State().DeviceMode, host.engine->LoopMethod(),
                             host.engine->Playing(), state::State().FilePosition),
                  std::tuple(2, 1, true, 45));
        host.engine->Reset();

        host.Configure({}, *host.input.DeviceId());
        host.engine->FileName(folder / "in.wav");
        host.Open(1);
        EXPECT_EQ(state::State().FileNumber, 0);
    });
    EXPECT_EQ(FileBytes(folder / "in.wav"), std::string(44, '\0'));
}

// A refused Init raises its error with the context line and leaves no file open (a device
// that cannot be opened no hook either); Reset closes whatever was opened, and the engine
// opens and captures normally right after.
TEST(InitFailures, AreRaisedInContextAndLeaveTheEngineUsable) {
    TempFolder folder;
    // A recording into a FIFO would block Init or write into a pipe forever.
    const std::string fifo = folder / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // so nothing can hang
    ASSERT_GE(reader, 0);
    const struct {
        int32_t buffers;
        std::string file;
        int32_t number;
        std::string text;
    } cases[] = {
        {0, "", 380, "Invalid property value"},
        {INT32_MAX, "", 7, "Out of memory"},
        {4, fifo, 75, "Path/File access error: " + fifo + " (not a regular file)"},
        {4, "", 1051, "Wavedevice cannot be opened!"},  // held by another opening
    };
    for (const auto& c : cases) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        if (c.number == 7) {
            continue;  // the sanitizers' operator new ends the process instead of throwing
        }
#endif
        SCOPED_TRACE(c.text);
        OnFreshThread([&] {
            PipelineHost host;
            platform::HWAVEIN holder = 0;
            const bool heldElsewhere = c.number == 1051;
            if (heldElsewhere) {
                platform::WAVEFORMATEX format{1, 1, 8000, 16000, 2, 16, 0};
                ASSERT_EQ(platform::waveInOpen(&holder, *host.input.DeviceId(), &format, 0, 0, 0),
                          0u);
            }
            host.Configure({.buffers = c.buffers, .file = c.file}, *host.input.DeviceId());
            const auto error = CaughtError([&] { host.Open(); });
            ASSERT_TRUE(error);
            const auto& state = state::State();
            EXPECT_EQ(std::tuple(error->Number(), error->Source(), state.FileNumber),
                      std::tuple(c.number, "Aurelix", 0));
            EXPECT_TRUE(error->Description().starts_with("Function InitX in clsAurel\r\n" + c.text))
                << error->Description();
            if (heldElsewhere) {
                EXPECT_EQ(std::tuple(state.OldWaveProc, state.OldTimerProc, state.SubclassMark),
                          std::tuple(nullptr, nullptr, capture::kHooksRemoved));
                EXPECT_EQ(platform::waveInClose(holder), 0u);
            }
            host.engine->Reset();
            EXPECT_FALSE(host.input.IsOpen());
            host.StartCapture({});
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(state::State().BlocksDone, 1);
        });
    }
    ::close(reader);
}

// Opens the host's manual input until its handle has the top bit set, so that the signed
// and unsigned texts of the handle differ.
uint32_t OpenWithTopBitSet(PipelineHost& host) {
    host.Configure({}, *host.input.DeviceId());
    host.Open();
    for (int attempt = 0; attempt < 200 && (state::State().WaveHandle >> 31) == 0; ++attempt) {
        host.engine->Reset();
        host.Open();
    }
    EXPECT_NE(state::State().WaveHandle >> 31, 0u) << "no such handle in 200 openings";
    return state::State().WaveHandle;
}

// The identity of a process that has ended.
std::string EndedProcessIdentity() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return std::to_string(child) + " 1";
}

// The stored handle is the signed device handle with its owner's identity; another engine's
// Init closes it only when its owner is gone. An earlier version stored the unsigned text
// and no owner.
TEST(StoredHandle, RecoveryClosesOnlyADeadOwnersHandle) {
    const struct {
        std::string owner;  // written back with the handle; empty: the earlier version's form
        bool closed;
    } cases[] = {{platform::ThisProcessIdentity(), false},
                 {EndedProcessIdentity(), true},
                 {std::to_string(getpid()) + " 1", true},  // this process's id, another start
                 {"", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("owner " + c.owner);
        OnFreshThread([&] {
            PipelineHost first;
            const uint32_t handle = OpenWithTopBitSet(first);
            const int32_t signedHandle = static_cast<int32_t>(handle);
            EXPECT_EQ(first.engine->DeviceHandle(), signedHandle);
            EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle"),
                      std::to_string(signedHandle));
            EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandleOwner"),
                      platform::ThisProcessIdentity());

            std::ofstream(std::string(std::getenv("XDG_CONFIG_HOME")) + "/aurelix/settings.ini")
                << "[AurelyxOCX\\WaveInDevices]\nLastHandle="
                << (c.owner.empty() ? std::to_string(handle) : std::to_string(signedHandle))
                << (c.owner.empty() ? "" : "\nLastHandleOwner=" + c.owner) << "\n";
            OnFreshThread([] {
                PipelineHost second;
                platform::ManualWaveInput other("Other input");
                second.Configure({}, *other.DeviceId());
                EXPECT_FALSE(second.Open().has_value());
            });
            EXPECT_EQ(first.input.IsOpen(), !c.closed);
        });
    }
}

// The stored handle is a recovery aid: with no settings folder to be had the engine still
// opens, captures and closes, cycle after cycle, and says so once.
TEST(StoredHandle, UnwritableSettingsAreReportedOnceAndCaptureGoesOn) {
    TempFolder folder;
    std::ofstream(folder / "config") << "not a folder";
    ScopedEnvironment configHome("XDG_CONFIG_HOME", folder / "config");
    CapturedMessages messages;
    OnFreshThread([] {
        PipelineHost host;
        for (int cycle = 0; cycle < 2; ++cycle) {
            host.Configure({}, *host.input.DeviceId());
            EXPECT_FALSE(host.Open().has_value());
            host.engine->Start();
            EXPECT_EQ(state::State().Status, 7);
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(host.engine->Reset(), 0);
            EXPECT_FALSE(host.input.IsOpen());
        }
    });
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("error 53: File not found: "), std::string::npos)
        << messages.shown[0];
}

TEST(RunControl, StartSetsBacklogAndTheAnalysisTimerByRingSizeAndAnalysis) {
    struct Case {
        int32_t buffers, analysis, period, limit, min;
        bool timer;
    };
    for (const Case c :
         {Case{2, 3, 12, 2, 1, true}, Case{1, 3, 0, 1, 1, false}, Case{3, 3, 23, 2, 2, true},
          Case{5, 1, 22, 3, 2, false}, Case{5, 3, 23, 3, 2, true}}) {
        SCOPED_TRACE(::testing::Message() << c.buffers << " buffers, analysis " << c.analysis);
        OnFreshThread([&] {
            PipelineHost host;
            const auto& state = state::State();
            host.StartCapture(
                {.sps = 44100, .buffers = c.buffers, .analysis = c.analysis, .analysisOff = false});
            EXPECT_EQ(std::tuple(state.TimerPeriod, state.TimerId != 0, state.BacklogLimit,
                                 state.BacklogMin, host.input.QueuedCount()),
                      std::tuple(c.period, c.timer, c.limit, c.min, size_t(c.buffers)));
            host.engine->Pause();
            EXPECT_EQ(state.TimerId, 0u);
        });
    }
}

// Start passes its errors on with its context line.
FRESH_TEST(RunControl, StartPassesErrorsOnInContext) {
    PipelineHost host;
    host.engine->LoopMethod(0);
    const auto error = CaughtError([&] { host.engine->Start(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 11);
    EXPECT_EQ(error->Description(), "Function Start in clsAurel\r\nDivision by zero");
    EXPECT_EQ(host.engine->Reset(), 0);
}

// Destroying the engine resets it, which finishes the recording and closes the device; Reset
// goes on past a missing timer and lamp.
TEST(RunControl, DestroyingTheEngineFinishesTheRecordingWithoutTimerOrLamp) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "rec.wav"});
        host.Deliver(TestBlock(1, 1000));
        state::State().Timer = nullptr;
        state::State().Lamp = nullptr;
        host.engine.reset();
        EXPECT_EQ(
            std::tuple(state::State().Status, state::State().FileNumber, state::State().OldWaveProc,
                       host.input.IsOpen(), host.Count("donerecording")),
            std::tuple(0, 0, nullptr, false, 1));
    });
    const std::string bytes = FileBytes(folder / "rec.wav");
    ASSERT_EQ(bytes.size(), 2044u);
    EXPECT_EQ(Field<int32_t>(bytes, 40), 2000);
}

}  // namespace
}  // namespace aurelix::engine
