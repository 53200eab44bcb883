#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <tuple>

#include "aurelix/capture/bmove.h"
#include "aurelix/capture/wav_recorder.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave_devices.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "platform/wave/wav_bytes.h"
#include "support/captured_messages.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;
using state::State;

std::vector<int16_t> Concatenated(int32_t firstBlock, int32_t lastBlock, int32_t samples) {
    std::vector<int16_t> all;
    for (int32_t i = firstBlock; i <= lastBlock; ++i) {
        const auto block = TestBlock(i, samples);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// Byte for byte the file a hand-made header and the samples give.
void ExpectWav(const std::string& path, int channels, int rate,
               const std::vector<int16_t>& samples) {
    EXPECT_EQ(FileBytes(path),
              platform::testing::PcmWav(uint16_t(channels), uint32_t(rate), samples));
}

TEST(WavRecorder, OneSecondLimitAt8000HzKeepsSevenBlocks) {
    TempFolder folder;
    std::ofstream(folder / "rec.wav") << std::string(20000, 'x');  // emptied at the opening
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "rec.wav", .maxRecordingTime = 1});
        EXPECT_EQ(state::State().MaxFileBytes, 16044);
        for (int32_t block = 1; block <= 7; ++block)
            host.Deliver(TestBlock(block, 1000));
        EXPECT_EQ(state::State().FilePosition, 14045);
        EXPECT_EQ(host.Count("donerecording"), 0);
        host.Deliver(TestBlock(8, 1000));  // would end at 16044: finishes instead
        EXPECT_EQ(host.Count("donerecording"), 1);
        EXPECT_EQ(state::State().FileNumber, 0);
        EXPECT_EQ(state::State().FilePosition, 14044);
        host.Deliver(TestBlock(9, 1000));
        host.engine->Reset();
        EXPECT_EQ(host.Count("donerecording"), 1);
    });
    ExpectWav(folder / "rec.wav", 1, 8000, Concatenated(1, 7, 1000));
}

TEST(WavRecorder, ResetFinishesAStereoRecordingWithTheBlocksWritten) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.sps = 11025, .channels = 2, .samples = 300, .file = folder / "st.wav"});
        for (int32_t block = 1; block <= 6; ++block)
            host.Deliver(TestBlock(block, 600));
        host.input.Fill(TestBlock(7, 200));  // comes back part-filled just as Reset stops it
        host.engine->Reset();
        EXPECT_EQ(host.Count("donerecording"), 1);
    });
    ExpectWav(folder / "st.wav", 2, 11025, Concatenated(1, 6, 600));
}

TEST(WavRecorder, EmptyRecordingIsClosedWithoutHeader) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "empty.wav"});
        host.engine->Reset();
        EXPECT_EQ(host.Count("donerecording"), 0);
        EXPECT_EQ(state::State().FilePosition, 0);
    });
    EXPECT_EQ(FileBytes(folder / "empty.wav"), "");
}

TEST(WavRecorder, WriteErrorStopsRecordingAndCapture) {
    TempFolder folder;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "rec.wav"});
        host.Deliver(TestBlock(1, 1000));
        platform::FileClose(state::State().FileNumber);  // the file is gone under the recorder
        host.Deliver(TestBlock(2, 1000));
        EXPECT_TRUE(state::State().FileBusy);
        EXPECT_EQ(state::State().OldWaveProc, nullptr);
        EXPECT_EQ(state::State().ErrorText, "Bad file name or number");
    });
}

TEST(Bmove, BadArgumentsAreReportedAndMoveNothing) {
    aurelix::testing::CapturedMessages messages;
    int16_t source[2] = {1, 2}, target[2] = {0, 0};
    BMOVE(source, target, -2);
    BMOVE(source, nullptr, 4);
    BMOVE(source, nullptr, 0);
    BMOVE(source, target, 4);
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{
                  "BMOVE|64|Versuchte Verwendug von BMOVE mit negativer Anzahl von Bytes!",
                  "BMOVE|64|Zieladresse ist 0 "}));
    EXPECT_EQ(target[1], 2);
}

// Through the WAV file output: the played file is the source, byte for byte.
TEST(Playback, AFilePlaysSampleIdenticalThenTheHostResets) {
    TempFolder folder;
    const std::string in = folder / "in.wav", out = folder / "out.wav";
    const std::vector<int16_t> samples = platform::testing::Ramp(10400);
    std::ofstream(in, std::ios::binary) << platform::testing::PcmWav(1, 8000, samples);
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
    EXPECT_EQ(FileBytes(out), platform::testing::PcmWav(1, 8000, samples));
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
