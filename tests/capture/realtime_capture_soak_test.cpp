#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "aurelix/platform/wave/sim_devices.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::testing {
namespace {

// Records the simulated sine in real time (loop method 1, 44100 Hz, 1024 samples, four
// buffers); every block counted must be in the file, in order, none repeated: the file
// holds exactly the sine from the first frame on.
TEST(RealtimeCaptureSoak, TenSecondsOfSimulatedSineAreRecordedWhole) {
    TempFolder folder;
    const std::string path = folder / "live.wav";
    const auto sine = platform::GetSimInput(platform::SimSignal::Sine);
    int32_t blocks = 0;
    OnFreshThread([&] {
        PipelineHost host;
        host.Configure(
            {.sps = 44100, .samples = 1024, .analysis = 1, .analysisOff = false, .file = path},
            platform::SimInputDeviceId(platform::SimSignal::Sine));
        host.Open();
        host.engine->Start();
        platform::RunMessageLoop(nullptr, std::chrono::seconds(10));
        blocks = state::State().BlocksDone;
        host.engine->Reset();
    });
    EXPECT_GT(blocks, 10 * 44100 / 1024 / 2) << "capture did not keep running";
    const std::vector<int16_t> samples = AsSamples(FileBytes(path), 44);
    ASSERT_EQ(samples.size(), size_t(blocks) * 1024);
    for (size_t k = 0; k < samples.size(); ++k) {
        const double phase =
            2.0 * std::numbers::pi * std::fmod(sine.frequency * double(k), 44100.0) / 44100.0;
        ASSERT_EQ(samples[k], int16_t(std::nearbyint(sine.amplitude * std::sin(phase))))
            << "frame " << k;
    }
}

}  // namespace
}  // namespace aurelix::testing
