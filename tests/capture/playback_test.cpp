#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;
using state::State;

TEST(Playback, SoxFilePlaysSampleIdenticalThenTheHostResets) {
    if (!HaveTool("sox") || !HaveTool("python3")) {
        GTEST_SKIP() << "needs sox to make the file and python3 to read both";
    }
    TempFolder folder;
    const std::string in = folder / "in.wav", out = folder / "out.wav";
    ASSERT_EQ(std::system(("sox -n -r 8000 -b 16 -c 1 '" + in + "' synth 1.3 sine 440").c_str()),
              0);
    const auto device = platform::AddFileOutputDevice(out, false);
    ASSERT_TRUE(device) << device.error;
    OnFreshThread([&] {
        PipelineHost host;
        host.onMail = [&](const std::string& word) {
            if (word == "doneplay")
                host.engine->Reset();  // as the control does
        };
        host.Configure({.samples = 1000, .buffers = 3, .analysisOff = false},
                       *platform::WaveOutDeviceIndex(device.key));
        host.engine->FileName(in);
        host.Open(2);
        host.engine->Start();
        platform::RunMessageLoop([&] { return host.Count("doneplay") > 0; },
                                 std::chrono::seconds(20));
        for (int round = 0; round < 10; ++round)
            platform::DoEvents();
        EXPECT_EQ(host.Count("doneplay"), 1);
        EXPECT_EQ(state::State().Status, 0);
    });
    platform::RemoveWaveDevice(device.key);
    const DecodedWav played = ReadWithPython(out), source = ReadWithPython(in);
    EXPECT_EQ(played.frames, 10400);
    EXPECT_EQ(played.samples, source.samples);
}

TEST(Playback, StereoFilePlaysEveryFrameInOrder) {
    TempFolder folder;
    std::vector<int16_t> frames;
    for (int16_t i = 1; i <= 2500; ++i)
        frames.insert(frames.end(), {i, int16_t(-i)});
    std::ofstream(folder / "st.wav", std::ios::binary)
        << std::string(44, '\0')
        << std::string(reinterpret_cast<const char*>(frames.data()), frames.size() * 2);
    OnFreshThread([&] {
        PipelineHost host;
        platform::ManualWaveOutput output;
        host.Configure({.channels = 2, .samples = 400, .buffers = 3, .analysisOff = false},
                       *output.DeviceId());
        host.engine->FileName(folder / "st.wav");
        host.Open(2);
        host.engine->Start();
        EXPECT_EQ(output.WrittenCount(), 3u);
        while (output.CompleteNext())
            platform::DoEvents();
        EXPECT_EQ(output.Played(), frames);
        EXPECT_EQ(output.LastFormat()->nChannels, 2);
        EXPECT_EQ(host.Count("doneplay"), 1);
    });
}

}  // namespace
}  // namespace aurelix::capture
