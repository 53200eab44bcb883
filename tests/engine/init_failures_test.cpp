#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "aurelix/capture/subclassing.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

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
        {-3, "", false, 380, "Invalid property value"},
        {INT32_MAX, "", false, 7, "Out of memory"},
        {4, fifo, false, 75, "Path/File access error: " + fifo + " (not a regular file)"},
        {4, folder.Path(), false, 75,
         "Path/File access error: " + folder.Path() + " (not a regular file)"},
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
            EXPECT_EQ(error->Number(), c.number);
            EXPECT_EQ(error->Source(), "Aurelix");
            EXPECT_EQ(error->Description().rfind("Function InitX in clsAurel\r\n" + c.text, 0), 0u)
                << error->Description();
            EXPECT_EQ(state::State().FileNumber, 0);
            if (c.heldElsewhere) {
                EXPECT_EQ(std::tuple(state::State().OldWaveProc, state::State().OldTimerProc,
                                     state::State().SubclassMark),
                          std::tuple(nullptr, nullptr, capture::kHooksRemoved));
                EXPECT_EQ(platform::waveInClose(holder), 0u);
            }
            host.engine->Reset();
            EXPECT_FALSE(host.input.IsOpen());

            host.Configure({}, *host.input.DeviceId());
            EXPECT_FALSE(host.Open().has_value());
            host.engine->Start();
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(state::State().BlocksDone, 1);
            host.engine->Reset();
        });
    }
    ::close(reader);
}

}  // namespace
}  // namespace aurelix::engine
