#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using aurelix::testing::CaughtError;
using aurelix::testing::OnFreshThread;
using aurelix::testing::TempFolder;

// A recording file name whose length cannot be asked (a symbolic link to itself), so that
// the Reset inside termination fails with a Path/File access error (75).
class LoopingFileName {
  public:
    LoopingFileName() { std::filesystem::create_directory_symlink(Path(), Path()); }
    std::string Path() const { return folder_ / "loop.wav"; }

  private:
    TempFolder folder_;
};

void PretendADeviceIsOpen(clsAurel& engine, const LoopingFileName& name) {
    engine.FileName(name.Path());
    state::State().WaveHandle = 0x7fff0001;  // an unknown handle: the closes are refused quietly
    state::State().DeviceMode = 1;
}

TEST(clsAurelTerminate, PassesResetErrorsOnWithItsContextLine) {
    LoopingFileName name;
    OnFreshThread([&] {
        clsAurel engine;
        PretendADeviceIsOpen(engine, name);
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
    LoopingFileName name;
    std::vector<std::string> shown;
    auto previous = platform::SetMessageBoxHandler(
        [&](const std::string& text, int32_t style, const std::string& title) {
            shown.push_back(title + "|" + std::to_string(style) + "|" + text);
        });
    OnFreshThread([&] {
        clsAurel engine;
        PretendADeviceIsOpen(engine, name);
    });
    platform::SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Aurelix|16|", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find("Sub Class_Terminate in clsAurel"), std::string::npos);
}

}  // namespace
}  // namespace aurelix::engine
