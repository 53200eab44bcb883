#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/platform/runtime/process_identity.h"
#include "aurelix/platform/storage/settings_store.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/state/engine_state.h"
#include "support/captured_messages.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

std::string SettingsPath() {
    return std::string(std::getenv("XDG_CONFIG_HOME")) + "/aurelix/settings.ini";
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

std::string EndedProcessIdentity() {
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return std::to_string(child) + " 1";
}

// The stored handle is the signed device handle with its owner's identity; another engine's
// Init closes it only when its owner is gone.
TEST(StoredHandle, RecoveryClosesOnlyADeadOwnersHandle) {
    struct Case {
        const char* what;
        // The owner written back with `handle`; empty: the old form, no owner.
        std::string (*owner)();
        bool unsignedText;
        bool closed;
    };
    const Case cases[] = {
        {"owner runs (this process)", [] { return platform::ThisProcessIdentity(); }, false, false},
        {"owner ended", [] { return EndedProcessIdentity(); }, false, true},
        {"owner's id reused by this process", [] { return std::to_string(getpid()) + " 1"; }, false,
         true},
        {"earlier version: unsigned text, no owner", [] { return std::string(); }, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFreshThread([&] {
            PipelineHost first;
            const uint32_t handle = OpenWithTopBitSet(first);
            const int32_t signedHandle = static_cast<int32_t>(handle);
            EXPECT_EQ(first.engine->DeviceHandle(), signedHandle);
            EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle"),
                      std::to_string(signedHandle));
            EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandleOwner"),
                      platform::ThisProcessIdentity());

            const std::string owner = c.owner();
            std::ofstream(SettingsPath(), std::ios::trunc)
                << "[AurelyxOCX\\WaveInDevices]\nLastHandle="
                << (c.unsignedText ? std::to_string(handle) : std::to_string(signedHandle)) << "\n"
                << (owner.empty() ? "" : "LastHandleOwner=" + owner + "\n");
            OnFreshThread([] {
                PipelineHost second;
                platform::ManualWaveInput other("Other input");
                second.Configure({}, *other.DeviceId());
                EXPECT_FALSE(second.Open().has_value());
                second.engine->Reset();
            });
            EXPECT_EQ(first.input.IsOpen(), !c.closed);
            first.engine->Reset();
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
        for (int cycle = 0; cycle < 3; ++cycle) {
            host.Configure({}, *host.input.DeviceId());
            EXPECT_FALSE(host.Open().has_value());
            host.engine->Start();
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(host.engine->Reset(), 0);
            EXPECT_FALSE(host.input.IsOpen());
            EXPECT_EQ(state::State().Status, 0);
        }
    });
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("error 53: File not found: "), std::string::npos)
        << messages.shown[0];
}

}  // namespace
}  // namespace aurelix::engine
