#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

// XDG_CONFIG_HOME names a regular file, so no settings folder can be made under it.
class ConfigHomeIsAFile {
  public:
    ConfigHomeIsAFile() {
        std::ofstream(folder_ / "config") << "not a folder";
        previous_ = std::getenv("XDG_CONFIG_HOME");
        setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
    }
    ~ConfigHomeIsAFile() { setenv("XDG_CONFIG_HOME", previous_.c_str(), 1); }

  private:
    TempFolder folder_;
    std::string previous_;
};

// The stored handle is a recovery aid: without it the engine still opens, captures and
// closes, cycle after cycle, and says so once.
TEST(UnwritableSettings, CaptureGoesOnAndResetClosesTheDevice) {
    ConfigHomeIsAFile settings;
    std::vector<std::string> shown;
    auto previous = platform::SetMessageBoxHandler(
        [&](const std::string& text, int32_t, const std::string&) { shown.push_back(text); });
    OnFreshThread([] {
        PipelineHost host;
        for (int cycle = 0; cycle < 3; ++cycle) {
            host.Configure({}, *host.input.DeviceId());
            EXPECT_FALSE(host.Open().has_value());
            host.engine->Start();
            EXPECT_EQ(state::State().Status, 7);
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(host.engine->Reset(), 0);
            EXPECT_FALSE(host.input.IsOpen());
            EXPECT_EQ(state::State().Status, 0);
        }
    });
    platform::SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("error 53: File not found: "), std::string::npos) << shown[0];
}

}  // namespace
}  // namespace aurelix::engine
