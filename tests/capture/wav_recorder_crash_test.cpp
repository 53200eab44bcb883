#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/platform/runtime/message_box.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/sox_reader.h"
#include "support/temp_folder.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 1000;
constexpr int32_t kBlockBytes = kBlock * 2;

std::vector<int16_t> Blocks(int32_t count) {
    std::vector<int16_t> all;
    for (int32_t i = 1; i <= count; ++i) {
        const auto block = TestBlock(i, kBlock);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// What a reader that trusts the header gets: the declared samples, which must be the
// first blocks delivered, and the sizes agreeing with each other.
std::vector<int16_t> DeclaredSamples(const std::string& bytes) {
    const int32_t dataSize = Field<int32_t>(bytes, 40);
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(Field<int32_t>(bytes, 4), dataSize + 36);
    EXPECT_EQ(Field<int32_t>(bytes, 24), kRate);
    EXPECT_EQ(dataSize % kBlockBytes, 0);
    EXPECT_LE(size_t(dataSize), bytes.size() - 44);
    return AsSamples(bytes.substr(0, 44 + size_t(dataSize)), 44);
}

// A recording whose process is killed keeps a header that describes at least every second
// of sound but the last, so that it opens as it is.
TEST(WavRecorderCrash, KilledRecordingOpensUpToTheLastHeaderUpdate) {
    TempFolder folder;
    const std::string path = folder / "killed.wav";
    constexpr int32_t kBlocks = 20;  // 2.5 s of sound
    const pid_t child = fork();
    if (child == 0) {
        PipelineHost host;
        host.StartCapture({.sps = kRate, .samples = kBlock, .file = path});
        for (int32_t i = 1; i <= kBlocks; ++i) {
            host.Deliver(TestBlock(i, kBlock));
        }
        std::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    const std::string bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 44u + kBlocks * kBlockBytes);
    const std::vector<int16_t> declared = DeclaredSamples(bytes);
    EXPECT_GE(declared.size(), size_t(kBlocks * kBlock - kRate - kBlock));
    const std::vector<int16_t> all = Blocks(kBlocks);
    EXPECT_EQ(declared, std::vector<int16_t>(all.begin(), all.begin() + long(declared.size())));
    if (HaveTool("sox")) {
        EXPECT_EQ(ReadWithSox(path).samples, declared);
    }
}

// A write that fails (here: the file size limit, as a full disk does) ends the recording
// with every block before it and tells the host; capture goes on.
TEST(WavRecorderCrash, FailedWriteEndsTheRecordingAndCaptureGoesOn) {
    TempFolder folder;
    const std::string path = folder / "full.wav";
    std::vector<std::string> shown;
    auto previous = platform::SetMessageBoxHandler(
        [&](const std::string& text, int32_t, const std::string&) { shown.push_back(text); });
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.sps = kRate, .samples = kBlock, .file = path});
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old;
        limited.rlim_cur = 44 + 3 * kBlockBytes + kBlockBytes / 2;  // the 4th block half fits
        setrlimit(RLIMIT_FSIZE, &limited);
        for (int32_t i = 1; i <= 6; ++i) {
            EXPECT_TRUE(host.Deliver(TestBlock(i, kBlock))) << "block " << i;
        }
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);

        EXPECT_EQ(host.Count("donerecording"), 1);
        EXPECT_EQ(state::State().Status, 7);
        EXPECT_EQ(state::State().BlocksDone, 6);
        EXPECT_EQ(host.input.QueuedCount(), 4u);
        host.engine->Reset();
    });
    platform::SetMessageBoxHandler(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("57: Function WriteBuffer in Aurelix\r\n", 0), 0u) << shown[0];
    EXPECT_NE(shown[0].find(path), std::string::npos) << shown[0];
    const std::string bytes = FileBytes(path);
    ASSERT_EQ(bytes.size(), 44u + 3 * kBlockBytes);
    EXPECT_EQ(DeclaredSamples(bytes), Blocks(3));
}

}  // namespace
}  // namespace aurelix::capture
