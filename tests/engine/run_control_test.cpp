#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/capture/subclassing.h"
#include "aurelix/platform/runtime/process_identity.h"
#include "aurelix/platform/storage/settings_store.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
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

// Message-driven capture (loop method 1) is confirmed by the window hook and goes 0-3-7-3-0;
// timer-paced capture (0) has no hook to confirm it and goes 0-2-6-2-0.
FRESH_TEST(DeviceOpening, CaptureGoesThroughItsStatusesByLoopMethod) {
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

    host.Configure({.loopMethod = 0}, *host.input.DeviceId());
    host.Open();
    EXPECT_EQ(std::tuple(state.Status, host.Count("start")), std::tuple(2, 1));
    host.engine->Start();
    EXPECT_EQ(std::tuple(state.Status, host.timer.Enabled(), host.timer.Interval()),
              std::tuple(6, true, 125));  // 1000 samples at 8000 Hz
    host.engine->Pause();
    EXPECT_EQ(std::tuple(state.Status, host.timer.Enabled()), std::tuple(2, false));
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
        EXPECT_EQ(missing->Description().rfind("Function InitX in clsAurel\r\nFile not found", 0),
                  0u);
        EXPECT_FALSE(std::filesystem::exists(folder / "missing.wav"));
        host.engine->Reset();

        host.engine->FileName(folder / "in.wav");
        host.Open(3);
        EXPECT_EQ(std::tuple(state::State().DeviceMode, host.engine->LoopMethod(),
                             host.engine->Playing(), state::State().FilePosition),
                  std::tuple(2, 1, true, 45));
        EXPECT_EQ(state::State().WaveHeaders(1).dwBufferLength, 4096u);  // stereo blocks
        host.engine->Reset();

        host.Configure({}, *host.input.DeviceId());
        host.engine->FileName(folder / "in.wav");
        host.Open(1);
        EXPECT_EQ(state::State().FileNumber, 0);
    });
    EXPECT_EQ(FileBytes(folder / "in.wav"), std::string(44, '\0'));
}

// A refused Init raises its error with the context line, leaves no hook and no file behind,
// Reset closes whatever was opened, and the engine opens and captures normally right after.
TEST(InitFailures, AreRaisedInContextAndLeaveTheEngineUsable) {
    TempFolder folder;
    // A recording into a FIFO would block Init or write into a pipe forever.
    const std::string fifo = folder / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // so nothing can hang
    ASSERT_GE(reader, 0);
    struct Case {
        int32_t buffers;
        std::string file;
        bool heldElsewhere;
        int32_t number;
        std::string text;
    };
    const Case cases[] = {
        {0, "", false, 380, "Invalid property value"},
        {INT32_MAX, "", false, 7, "Out of memory"},
        {4, fifo, false, 75, "Path/File access error: " + fifo + " (not a regular file)"},
        {4, "", true, 1051, "Wavedevice cannot be opened!"},
    };
    for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        if (c.number == 7) {
            continue;  // the sanitizers' operator new ends the process instead of throwing
        }
#endif
        SCOPED_TRACE(c.text);
        OnFreshThread([&] {
            PipelineHost host;
            platform::HWAVEIN holder = 0;
            if (c.heldElsewhere) {
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
            EXPECT_EQ(error->Description().rfind("Function InitX in clsAurel\r\n" + c.text, 0), 0u)
                << error->Description();
            if (c.heldElsewhere) {
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
    for (int attempt = 0; attempt < 200; ++attempt) {
        host.Open();
        if ((state::State().WaveHandle & 0x80000000u) != 0) {
            return state::State().WaveHandle;
        }
        host.engine->Reset();
    }
    ADD_FAILURE() << "no handle with the top bit set in 200 openings";
    return 0;
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

// The stored handle is a recovery aid: when the settings folder cannot be made (the config
// home is a regular file) the engine still opens, captures and closes, and says so once.
TEST(StoredHandle, UnwritableSettingsAreReportedOnceAndCaptureGoesOn) {
    TempFolder folder;
    std::ofstream(folder / "config") << "not a folder";
    const std::string previous = std::getenv("XDG_CONFIG_HOME");
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    CapturedMessages messages;
    OnFreshThread([] {
        PipelineHost host;
        for (int cycle = 0; cycle < 2; ++cycle) {
            host.StartCapture({});
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(host.engine->Reset(), 0);
            EXPECT_FALSE(host.input.IsOpen());
        }
    });
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
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
          Case{5, 1, 23, 3, 2, false}, Case{5, 3, 23, 3, 2, true}}) {
        SCOPED_TRACE(::testing::Message() << c.buffers << " buffers, analysis " << c.analysis);
        OnFreshThread([&] {
            PipelineHost host;
            const auto& state = state::State();
            host.StartCapture({.sps = 44100,
                               .samples = 1024,
                               .buffers = c.buffers,
                               .analysis = c.analysis,
                               .analysisOff = false});
            EXPECT_EQ(std::tuple(state.TimerPeriod, state.TimerId != 0, state.BacklogLimit,
                                 state.BacklogMin, host.input.QueuedCount()),
                      std::tuple(c.period, c.timer, c.limit, c.min, size_t(c.buffers)));
            host.engine->Pause();
            EXPECT_EQ(state.TimerId, 0u);
        });
    }
}

// Start passes its errors on with its context line; a device list that changed since
// Init leaves the capture running dry, without an error.
FRESH_TEST(RunControl, StartPassesErrorsOnAndToleratesAChangedDeviceList) {
    PipelineHost host;
    host.engine->LoopMethod(0);
    const auto error = CaughtError([&] { host.engine->Start(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 11);
    EXPECT_EQ(error->Description(), "Function Start in clsAurel\r\nDivision by zero");
    EXPECT_EQ(host.engine->Reset(), 0);

    host.Configure({}, *host.input.DeviceId());
    host.Open();
    platform::ManualWaveInput pluggedIn("Plugged in");
    EXPECT_EQ(host.engine->Start(), 0);
    EXPECT_EQ(std::tuple(state::State().Status, host.input.QueuedCount()), std::tuple(7, 0u));
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
