#include <gtest/gtest.h>

#include <cstdint>

#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

// A ring that cannot exist is refused with its error, before any device opens, and the
// engine opens and captures normally right after.
TEST(InitLimits, ImpossibleRingsFailCleanly) {
    struct Case {
        int32_t buffers;
        int32_t number;
    };
    for (const Case c : {Case{0, 380}, Case{-3, 380}, Case{2147483647, 7}}) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        if (c.number == 7) {
            continue;  // the sanitizers' operator new ends the process instead of throwing
        }
#endif
        OnFreshThread([&] {
            PipelineHost host;
            host.Configure({.buffers = c.buffers}, *host.input.DeviceId());
            const auto error = CaughtError([&] { host.Open(); });
            ASSERT_TRUE(error) << c.buffers;
            EXPECT_EQ(error->Number(), c.number) << c.buffers;
            EXPECT_EQ(error->Description().rfind("Function InitX in clsAurel\r\n", 0), 0u)
                << error->Description();
            EXPECT_FALSE(host.input.IsOpen());

            host.Configure({}, *host.input.DeviceId());
            EXPECT_FALSE(host.Open().has_value());
            host.engine->Start();
            EXPECT_TRUE(host.Deliver(TestBlock(1, 1000)));
            EXPECT_EQ(state::State().BlocksDone, 1);
            host.engine->Reset();
        });
    }
}

}  // namespace
}  // namespace aurelix::engine
