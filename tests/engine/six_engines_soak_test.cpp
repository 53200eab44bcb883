#include <gtest/gtest.h>

#include <barrier>
#include <chrono>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

#include "aurelix/platform/wave/sim_devices.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::engine {
namespace {

using namespace aurelix::testing;

// Six engines on six threads of one process, opened together: none may close another's
// device, so every recording is the sine from its first frame on, without a gap.
TEST(SixEngines, EachRecordsItsWholeSignal) {
    constexpr int kEngines = 6;
    constexpr auto kRecording = std::chrono::seconds(3);
    platform::RestoreSimInputDefaults();
    TempFolder folder;
    const auto file = [&](int i) { return folder / ("engine-" + std::to_string(i) + ".wav"); };
    std::barrier together(kEngines);
    std::vector<std::thread> engines;
    for (int i = 0; i < kEngines; ++i) {
        engines.emplace_back([&, i] {
            OnFreshThread([&] {
                PipelineHost host;
                host.Configure({.samples = 512, .file = file(i)},
                               platform::SimInputDeviceId(platform::SimSignal::Sine));
                together.arrive_and_wait();
                EXPECT_FALSE(host.Open().has_value());
                host.engine->Start();
                platform::RunMessageLoop([] { return false; }, kRecording);
                EXPECT_EQ(state::State().Status, 7) << "engine " << i;
            });
        });
    }
    for (auto& engine : engines) {
        engine.join();
    }
    for (int i = 0; i < kEngines; ++i) {
        const std::string bytes = FileBytes(file(i));
        ASSERT_GT(bytes.size(), 44u) << "engine " << i;
        const std::vector<int16_t> samples = AsSamples(bytes, 44);
        EXPECT_GE(samples.size(), 0.8 * 8000 * kRecording.count()) << "engine " << i;
        size_t wrong = 0;
        for (size_t k = 0; k < samples.size(); ++k) {
            const double phase = 2 * std::numbers::pi * std::fmod(1000.0 * double(k), 8000) / 8000;
            wrong += samples[k] != int16_t(std::nearbyint(16384.0 * std::sin(phase)));
        }
        EXPECT_EQ(wrong, 0u) << "engine " << i;
    }
}

}  // namespace
}  // namespace aurelix::engine
