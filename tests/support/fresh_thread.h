#pragma once

#include <future>

namespace aurelix::testing {

// Runs `body` on a new thread and waits for it. The library keeps its state per thread,
// so each call starts from a zero-initialised EngineState and an empty message queue.
// Failures inside (gtest assertions, exceptions) are reported as usual.
template <class Body>
void OnFreshThread(Body&& body) {
    std::async(std::launch::async, [&] { body(); }).get();
}

}  // namespace aurelix::testing

// A test whose whole body runs on a fresh thread (see OnFreshThread).
#define FRESH_TEST(suite, name)                                    \
    void suite##_##name##_Body();                                  \
    TEST(suite, name) {                                            \
        ::aurelix::testing::OnFreshThread(&suite##_##name##_Body); \
    }                                                              \
    void suite##_##name##_Body()
