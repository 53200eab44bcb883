#include <gtest/gtest.h>

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

// A recording into a FIFO would block Init (or write into a pipe forever): it is refused
// with the path named, and Reset still closes the device.
TEST(RecordingFileRefusal, NonRegularFileIsRefusedWithItsName) {
    TempFolder folder;
    const std::string fifo = folder / "fifo.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // so nothing can hang
    ASSERT_GE(reader, 0);
    for (const std::string& path : {fifo, folder.Path()}) {
        OnFreshThread([&] {
            PipelineHost host;
            host.Configure({.file = path}, *host.input.DeviceId());
            const auto error = CaughtError([&] { host.Open(); });
            ASSERT_TRUE(error) << path;
            EXPECT_EQ(error->Number(), 75);
            EXPECT_NE(error->Description().find(path + " (not a regular file)"), std::string::npos)
                << error->Description();
            EXPECT_EQ(state::State().FileNumber, 0);
            host.engine->Reset();
            EXPECT_FALSE(host.input.IsOpen());
        });
    }
    ::close(reader);
}

}  // namespace
}  // namespace aurelix::engine
