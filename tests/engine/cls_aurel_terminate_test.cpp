#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/state/engine_state.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using aurelix::testing::CaughtError;
using aurelix::testing::OnFreshThread;
using aurelix::testing::TempFolder;

// A settings store whose lock cannot be taken (a folder stands where the lock file goes),
// so that the Reset inside termination fails with a Path/File access error when it
// records the device handle.
struct UnwritableSettings {
    TempFolder folder;
    bool made = std::filesystem::create_directories(folder / "aurelix/settings.ini.lock");
    aurelix::testing::ScopedEnvironment home{"XDG_CONFIG_HOME", folder.Path()};
};

void PretendADeviceIsOpen() {
    state::State().WaveHandle = 0x7fff0001;  // an unknown handle: the closes are refused quietly
    state::State().DeviceMode = 1;
}

TEST(clsAurelTerminate, PassesResetErrorsOnWithItsContextLine) {
    UnwritableSettings settings;
    OnFreshThread([] {
        clsAurel engine;
        PretendADeviceIsOpen();
        const auto error = CaughtError([&] { engine.Terminate(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), 75);
        EXPECT_EQ(error->Description().rfind("Sub Class_Terminate in clsAurel\r\n"
                                             "Error in Function Reset of clsAurel:\r\n",
                                             0),
                  0u)
            << error->Description();
        EXPECT_EQ(engine.Host(), nullptr);  // the host is unloaded all the same
        EXPECT_FALSE(CaughtError([&] { engine.Terminate(); }));  // runs once
    });
}

TEST(clsAurelTerminate, DestructorShowsWhatItCannotPassOn) {
    UnwritableSettings settings;
    aurelix::testing::CapturedMessages messages;
    const auto& shown = messages.shown;
    OnFreshThread([] {
        clsAurel engine;
        PretendADeviceIsOpen();
    });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Aurelix|16|", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find("Sub Class_Terminate in clsAurel"), std::string::npos);
}

}  // namespace
}  // namespace aurelix::engine
