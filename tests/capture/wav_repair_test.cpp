#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/capture/wav_repair.h"
#include "support/caught_error.h"
#include "support/pipeline_host.h"
#include "support/sox_reader.h"
#include "support/temp_folder.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 1000;

// A stereo recording killed with SIGKILL after 12 blocks and half of a 13th frame's
// bytes, as a crash in the middle of a write leaves it.
std::string KilledRecording(const TempFolder& folder) {
    const std::string path = folder / "killed.wav";
    const pid_t child = fork();
    if (child == 0) {
        PipelineHost host;
        host.StartCapture({.sps = kRate, .channels = 2, .samples = kBlock, .file = path});
        for (int32_t i = 1; i <= 12; ++i) {
            host.Deliver(TestBlock(i, 2 * kBlock));
        }
        std::ofstream(path, std::ios::binary | std::ios::app) << "\x01\x02";
        std::raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    return path;
}

TEST(WavRepair, RebuildsAStaleOrEmptyHeaderFromTheLength) {
    TempFolder folder;
    const std::string path = KilledRecording(folder);
    const std::string killed = FileBytes(path);
    const int64_t frames = 12 * kBlock;
    ASSERT_EQ(killed.size(), 44u + frames * 4 + 2);

    // As left: the header of the last update, older than the file.
    WavRepairResult result = RepairWavHeader(path);
    EXPECT_TRUE(result.changed);
    EXPECT_FALSE(result.headerWasEmpty);
    EXPECT_EQ(result.rate, kRate);
    EXPECT_EQ(result.channels, 2);
    EXPECT_EQ(result.frames, frames);
    EXPECT_EQ(result.trailingBytes, 2);
    const std::string repaired = FileBytes(path);
    EXPECT_EQ(repaired.substr(44), killed.substr(44));  // the samples are untouched
    EXPECT_EQ(Field<int32_t>(repaired, 40), frames * 4);
    if (HaveTool("sox")) {
        const DecodedWav wav = ReadWithSox(path);
        EXPECT_EQ(wav.rate, kRate);
        EXPECT_EQ(wav.frames, frames);
        EXPECT_EQ(wav.samples, AsSamples(killed.substr(0, 44 + frames * 4), 44));
    }
    EXPECT_FALSE(RepairWavHeader(path).changed);  // a sound header is left alone

    // As earlier versions left it: 44 zero bytes. The same header comes back.
    std::fstream(path, std::ios::binary | std::ios::in | std::ios::out) << std::string(44, '\0');
    result = RepairWavHeader(path, {.rate = kRate, .channels = 2});
    EXPECT_TRUE(result.headerWasEmpty);
    EXPECT_EQ(FileBytes(path), repaired);
}

TEST(WavRepair, RefusesWhatIsNotSuchARecordingAndLeavesItAlone) {
    TempFolder folder;
    const std::string sound = FileBytes(KilledRecording(folder));
    struct Case {
        const char* name;
        std::string bytes;
        WavRepairOptions options;
        int32_t number;
        const char* reason;
    };
    std::string eightBit = sound;
    eightBit[34] = 8;
    std::string listChunk = sound;
    listChunk.replace(12, 4, "LIST");
    std::string badChannels = sound;
    badChannels[22] = 3;
    const Case cases[] = {
        {"short.wav", "RIFF", {}, 321, "too short to be a recording: 4 bytes"},
        {"text.wav", std::string(100, 'x'), {}, 321, "no RIFF/WAVE header"},
        {"list.wav", listChunk, {}, 321, "another chunk layout"},
        {"eight.wav", eightBit, {}, 321, "encoding is not 16-bit PCM"},
        {"three.wav", badChannels, {}, 321, "contradict each other"},
        {"empty.wav", std::string(44 + 400, '\0'), {.rate = 8000}, 5, "must be given"},
        {"mono.wav", sound, {.channels = 3}, 5, "channels 3"},
        {"rate.wav", sound, {.rate = 0}, 5, "rate 0 out of range"},
    };
    for (const Case& c : cases) {
        const std::string path = folder / c.name;
        std::ofstream(path, std::ios::binary) << c.bytes;
        const auto error = CaughtError([&] { RepairWavHeader(path, c.options); });
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->Number(), c.number) << c.name;
        EXPECT_NE(error->Description().find(path + " ("), std::string::npos)
            << error->Description();
        EXPECT_NE(error->Description().find(c.reason), std::string::npos) << error->Description();
        EXPECT_EQ(FileBytes(path), c.bytes) << c.name;
    }
    EXPECT_EQ(ErrorNumberOf([&] { RepairWavHeader(folder / "missing.wav"); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { RepairWavHeader(folder.Path()); }), 75);
}

}  // namespace
}  // namespace aurelix::capture
