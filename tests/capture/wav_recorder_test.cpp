#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "aurelix/capture/bmove.h"
#include "aurelix/capture/wav_recorder.h"
#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/platform/storage/file_io.h"
#include "aurelix/state/engine_state.h"
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

// The header fields, then what the external readers make of the file.
void ExpectWav(const std::string& path, int channels, int rate,
               const std::vector<int16_t>& samples) {
    const std::string bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 44 + samples.size() * 2);
    const int32_t dataSize = int32_t(samples.size() * 2);
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(Field<int32_t>(bytes, 4), dataSize + 36);
    EXPECT_EQ(Field<int32_t>(bytes, 16), 16);
    EXPECT_EQ(Field<int16_t>(bytes, 20), 1);
    EXPECT_EQ(Field<int16_t>(bytes, 22), channels);
    EXPECT_EQ(Field<int32_t>(bytes, 24), rate);
    EXPECT_EQ(Field<int32_t>(bytes, 28), rate * 2 * channels);
    EXPECT_EQ(Field<int16_t>(bytes, 32), 2 * channels);
    EXPECT_EQ(Field<int16_t>(bytes, 34), 16);
    EXPECT_EQ(Field<int32_t>(bytes, 40), dataSize);
    EXPECT_EQ(AsSamples(bytes, 44), samples);
    for (const auto& [tool, read] :
         {std::pair{"python3", &ReadWithPython}, std::pair{"sox", &ReadWithSox}}) {
        if (!HaveTool(tool)) {
            GTEST_SKIP() << tool << " is not installed; the header was checked by hand only";
        }
        const DecodedWav wav = read(path);
        EXPECT_EQ(std::make_tuple(wav.channels, wav.bits, wav.rate),
                  std::make_tuple(channels, 16, rate))
            << tool;
        EXPECT_EQ(wav.frames, int64_t(samples.size()) / channels) << tool;
        EXPECT_EQ(wav.samples, samples) << tool;
    }
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

}  // namespace
}  // namespace aurelix::capture
