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

constexpr int kEngines = 6;
constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 512;
constexpr auto kRecording = std::chrono::seconds(3);

// Six engines on six threads of one process, opened together: none may close another's
// device, so every recording is the sine from its first frame on, without a gap.
TEST(SixEngines, EachRecordsItsWholeSignal) {
    platform::RestoreSimInputDefaults();
    TempFolder folder;
    const auto file = [&](int i) { return folder / ("engine-" + std::to_string(i) + ".wav"); };
    std::barrier together(kEngines);
    std::vector<std::thread> engines;
    for (int i = 0; i < kEngines; ++i) {
        engines.emplace_back([&, i] {
            OnFreshThread([&] {
                PipelineHost host;
                host.Configure({.sps = kRate, .samples = kBlock, .buffers = 4, .file = file(i)},
                               platform::SimInputDeviceId(platform::SimSignal::Sine));
                together.arrive_and_wait();
                EXPECT_FALSE(host.Open().has_value());
                host.engine->Start();
                const auto end = std::chrono::steady_clock::now() + kRecording;
                platform::RunMessageLoop([&] { return std::chrono::steady_clock::now() >= end; },
                                         kRecording);
                EXPECT_EQ(state::State().Status, 7) << "engine " << i;
                host.engine->Reset();
            });
        });
    }
    for (auto& engine : engines) {
        engine.join();
    }
    for (int i = 0; i < kEngines; ++i) {
        SCOPED_TRACE(i);
        const std::string bytes = FileBytes(file(i));
        ASSERT_GT(bytes.size(), 44u);
        const std::vector<int16_t> samples = AsSamples(bytes, 44);
        EXPECT_EQ(Field<int32_t>(bytes, 40), int32_t(samples.size() * 2));
        EXPECT_EQ(samples.size() % kBlock, 0u);
        EXPECT_GE(samples.size(), uint64_t(0.8 * kRate * kRecording.count()));
        size_t wrong = 0;
        for (uint64_t k = 0; k < samples.size(); ++k) {
            const double phase = std::fmod(1000.0 * double(k), kRate) / kRate;
            wrong += samples[k] !=
                     int16_t(std::nearbyint(16384.0 * std::sin(2 * std::numbers::pi * phase)));
        }
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
}  // namespace aurelix::engine
