#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "aurelix/platform/runtime/ring_queue.h"

namespace aurelix::platform {
namespace {

// Scripts of pushes (+n pushes n values), pops (-n) and erasures ('e': drop multiples of
// three) against std::deque: wrapping, growing while wrapped and compacting keep the
// order of what is left.
TEST(RingQueue, BehavesAsADequeAcrossWrapsGrowthAndErasure) {
    const std::vector<std::string> scripts = {
        "+5 -3 +20 -10 +40 -50",          // grows while wrapped
        "+16 -8 +8 e -4 +30 e -20",       // erasure across the wrap point
        "+1 -1 +1 -1 +16 -16 +17 e -11",  // empty, full, one over
    };
    for (const std::string& script : scripts) {
        RingQueue<int> ring;
        std::deque<int> reference;
        int next = 0;
        size_t at = 0;
        while (at < script.size()) {
            const char op = script[at];
            size_t used = 0;
            const int n = op == 'e' ? 0 : std::stoi(script.substr(at + 1), &used);
            at += 2 + used;
            for (int i = 0; i < n; ++i) {
                if (op == '+') {
                    ring.push_back(next);
                    reference.push_back(next++);
                } else {
                    ASSERT_EQ(ring.front(), reference.front()) << script;
                    ring.pop_front();
                    reference.pop_front();
                }
            }
            if (op == 'e') {
                ring.erase_if([](int v) { return v % 3 == 0; });
                std::erase_if(reference, [](int v) { return v % 3 == 0; });
            }
            ASSERT_EQ(ring.size(), reference.size()) << script;
            for (size_t i = 0; i < reference.size(); ++i)
                ASSERT_EQ(ring[i], reference[i]) << script << " at " << i;
            EXPECT_EQ(
                ring.any_of([](int v) { return v % 3 == 0; }),
                std::any_of(reference.begin(), reference.end(), [](int v) { return v % 3 == 0; }))
                << script;
        }
    }
}

}  // namespace
}  // namespace aurelix::platform
