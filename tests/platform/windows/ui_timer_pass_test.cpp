#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "aurelix/platform/windows/ui_timer.h"
#include "aurelix/platform/windows/window.h"

namespace aurelix::platform {
namespace {

using namespace std::chrono_literals;

// The timers are walked in place while they tick: a tick handler that destroys a timer
// due later in the same pass, or creates one, changes the list under the walk. The
// destroyed one never ticks again, the new one ticks only from the next pass, and the
// timers after them in the list still tick once each.
TEST(UiTimerPass, HandlersMayDestroyAndCreateTimersDuringThePass) {
    std::string log;
    auto first = std::make_unique<UiTimer>();
    auto doomed = std::make_unique<UiTimer>();
    auto last = std::make_unique<UiTimer>();
    std::unique_ptr<UiTimer> created;
    first->OnTick([&] {
        log += 'f';
        if (doomed) {
            doomed.reset();
            created = std::make_unique<UiTimer>();
            created->OnTick([&] { log += 'c'; });
            created->Interval(1);
            created->Enabled(true);
        }
    });
    doomed->OnTick([&] { log += 'd'; });
    last->OnTick([&] { log += 'l'; });
    for (UiTimer* timer : {first.get(), doomed.get(), last.get()}) {
        timer->Interval(1);
        timer->Enabled(true);
    }
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DoEvents(), 2);
    EXPECT_EQ(log, "fl");
    std::this_thread::sleep_for(5ms);
    EXPECT_EQ(DoEvents(), 3);
    EXPECT_EQ(log,
              "fl"
              "flc");
}

}  // namespace
}  // namespace aurelix::platform
