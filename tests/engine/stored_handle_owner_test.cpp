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
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"

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

TEST(StoredHandle, IsTheSignedDeviceHandleOfItsOwner) {
    OnFreshThread([] {
        PipelineHost host;
        const uint32_t handle = OpenWithTopBitSet(host);
        const int32_t signedHandle = static_cast<int32_t>(handle);
        EXPECT_LT(signedHandle, 0);
        EXPECT_EQ(host.engine->DeviceHandle(), signedHandle);
        EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandle"),
                  std::to_string(signedHandle));
        EXPECT_EQ(platform::GetSetting("AurelyxOCX", "WaveInDevices", "LastHandleOwner"),
                  platform::ThisProcessIdentity());
        host.engine->Reset();
    });
}

// Another engine's Init closes a stored handle only when its owner is gone.
TEST(StoredHandle, RecoveryClosesOnlyADeadOwnersHandle) {
    struct Case {
        const char* what;
        // Rewrites the stored record of `handle`; empty owner: the old form, no owner.
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
        OnFreshThread([&] {
            PipelineHost first;
            const uint32_t handle = OpenWithTopBitSet(first);
            const std::string owner = c.owner();
            const std::string text = c.unsignedText ? std::to_string(handle)
                                                    : std::to_string(static_cast<int32_t>(handle));
            std::ofstream(SettingsPath(), std::ios::trunc)
                << "[AurelyxOCX\\WaveInDevices]\nLastHandle=" << text << "\n"
                << (owner.empty() ? "" : "LastHandleOwner=" + owner + "\n");

            OnFreshThread([] {
                PipelineHost second;
                platform::ManualWaveInput other("Other input");
                second.Configure({}, *other.DeviceId());
                EXPECT_FALSE(second.Open().has_value());
                second.engine->Reset();
            });
            EXPECT_EQ(first.input.IsOpen(), !c.closed) << c.what;
            first.engine->Reset();
        });
    }
}

}  // namespace
}  // namespace aurelix::engine
