#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "aurelix/capture/buffer_cycle.h"
#include "aurelix/capture/subclassing.h"
#include "aurelix/capture/wav_repair.h"
#include "aurelix/capture/window_proc_timer.h"
#include "aurelix/platform/wave/manual_wave_device.h"
#include "aurelix/platform/wave/wave.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "platform/wave/wav_bytes.h"
#include "support/captured_messages.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/temp_folder.h"

namespace aurelix::capture {
namespace {

using namespace aurelix::testing;
using platform::ManualWaveInput;
using platform::testing::PcmWav;
using state::State;

constexpr int32_t kRate = 8000;
constexpr int32_t kBlock = 1000;

// Blocks 1..count of `samples` samples each, one after another.
std::vector<int16_t> Blocks(int32_t count, int32_t samples = kBlock) {
    std::vector<int16_t> all;
    for (int32_t i = 1; i <= count; ++i) {
        const auto block = TestBlock(i, samples);
        all.insert(all.end(), block.begin(), block.end());
    }
    return all;
}

// The limit at 8000 Hz mono is 16044 bytes: seven blocks fit, the eighth finishes the
// recording for good. A file there before is emptied at the opening.
TEST(WavRecorder, OneSecondLimitAt8000HzKeepsSevenBlocks) {
    TempFolder folder;
    std::ofstream(folder / "rec.wav") << std::string(20000, 'x');
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = folder / "rec.wav", .maxRecordingTime = 1});
        EXPECT_EQ(State().MaxFileBytes, 16044);
        for (int32_t block = 1; block <= 7; ++block)
            host.Deliver(TestBlock(block, kBlock));
        EXPECT_EQ(State().FilePosition, 14045);
        EXPECT_EQ(host.Count("donerecording"), 0);
        host.Deliver(TestBlock(8, kBlock));  // would end at 16044: finishes instead
        EXPECT_EQ(std::tuple(host.Count("donerecording"), State().FileNumber, State().FilePosition),
                  std::tuple(1, 0, 14044));
        host.Deliver(TestBlock(9, kBlock));
        host.engine->Reset();
        EXPECT_EQ(host.Count("donerecording"), 1);
    });
    EXPECT_EQ(FileBytes(folder / "rec.wav"), PcmWav(1, kRate, Blocks(7)));
}

// Reset finishes a recording with the blocks written, not the one coming back part-filled;
// a recording without blocks is closed empty, without a header and without telling.
TEST(WavRecorder, ResetFinishesAStereoRecordingWithTheBlocksWritten) {
    for (const int32_t blocks : {6, 0}) {
        SCOPED_TRACE(::testing::Message() << blocks << " blocks");
        TempFolder folder;
        OnFreshThread([&] {
            PipelineHost host;
            host.StartCapture(
                {.sps = 11025, .channels = 2, .samples = 300, .file = folder / "st.wav"});
            for (int32_t block = 1; block <= blocks; ++block)
                host.Deliver(TestBlock(block, 600));
            host.input.Fill(TestBlock(7, 200));  // comes back just as Reset stops it
            host.engine->Reset();
            EXPECT_EQ(host.Count("donerecording"), blocks > 0 ? 1 : 0);
            EXPECT_EQ(State().FilePosition, blocks > 0 ? 44 + blocks * 1200 : 0);
        });
        EXPECT_EQ(FileBytes(folder / "st.wav"),
                  blocks > 0 ? PcmWav(2, 11025, Blocks(blocks, 600)) : "");
    }
}

// A write that fails (here: the file size limit, as a full disk does) ends the recording
// with every block before it and tells the host; capture goes on.
TEST(WavRecorder, FailedWriteEndsTheRecordingAndCaptureGoesOn) {
    TempFolder folder;
    const std::string path = folder / "full.wav";
    CapturedMessages messages;
    OnFreshThread([&] {
        PipelineHost host;
        host.StartCapture({.file = path});
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = old;
        limited.rlim_cur = 44 + 3 * 2 * kBlock + kBlock;  // the 4th block half fits
        setrlimit(RLIMIT_FSIZE, &limited);
        for (int32_t i = 1; i <= 6; ++i)
            host.Deliver(TestBlock(i, kBlock));
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldSignal);
        EXPECT_EQ(host.Count("donerecording"), 1);
        EXPECT_EQ(std::tuple(State().Status, State().BlocksDone, host.input.QueuedCount()),
                  std::tuple(7, 6, 4u));
        host.engine->Reset();
    });
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Aurelix|16|57: Function WriteBuffer in "
                                                       "Aurelix\r\nDevice I/O error: " +
                                                       path + " (File too large)"});
    EXPECT_EQ(FileBytes(path), PcmWav(1, kRate, Blocks(3)));
}

// What a reader that trusts the header gets: the declared samples, with the sizes agreeing
// with each other and a whole number of blocks of `blockBytes`.
std::vector<int16_t> DeclaredSamples(const std::string& bytes, int32_t blockBytes) {
    const int32_t dataSize = Field<int32_t>(bytes, 40);
    EXPECT_EQ(bytes.substr(0, 4) + bytes.substr(8, 8) + bytes.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(
        std::tuple(Field<int32_t>(bytes, 4), Field<int32_t>(bytes, 24), dataSize % blockBytes),
        std::tuple(dataSize + 36, kRate, 0));
    EXPECT_LE(size_t(dataSize), bytes.size() - 44);
    return AsSamples(bytes.substr(0, 44 + size_t(dataSize)), 44);
}

// A stereo recording whose process is killed after 20 blocks (2.5 s) and half a frame more,
// as a crash in the middle of a write leaves it. Its header describes at least every second
// of sound but the last, so that it opens as it is; the repair then rebuilds the header
// from the length, also when it is 44 zero bytes (as earlier versions left it).
TEST(WavRecorder, KilledRecordingOpensUpToTheLastHeaderUpdateAndIsRepaired) {
    TempFolder folder;
    const std::string path = folder / "killed.wav";
    constexpr int32_t kBlocks = 20;
    constexpr int64_t kFrames = kBlocks * kBlock;
    const pid_t child = fork();
    if (child == 0) {
        PipelineHost host;
        host.StartCapture({.sps = kRate, .channels = 2, .samples = kBlock, .file = path});
        for (int32_t i = 1; i <= kBlocks; ++i)
            host.Deliver(TestBlock(i, 2 * kBlock));
        std::ofstream(path, std::ios::binary | std::ios::app) << "\x01\x02";
        std::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const std::string killed = FileBytes(path);
    ASSERT_EQ(killed.size(), 44u + kFrames * 4 + 2);
    const std::vector<int16_t> declared = DeclaredSamples(killed, 4 * kBlock);
    EXPECT_GE(declared.size(), size_t(2 * (kFrames - kRate - kBlock)));
    const std::vector<int16_t> all = Blocks(kBlocks, 2 * kBlock);
    EXPECT_EQ(declared, std::vector<int16_t>(all.begin(), all.begin() + long(declared.size())));

    WavRepairResult result = RepairWavHeader(path);
    EXPECT_EQ(std::tuple(result.changed, result.headerWasEmpty, result.rate, result.channels,
                         result.frames, result.trailingBytes),
              std::tuple(true, false, kRate, 2, kFrames, 2));
    const std::string repaired = FileBytes(path);
    EXPECT_EQ(repaired.substr(44), killed.substr(44));  // the samples are untouched
    EXPECT_EQ(DeclaredSamples(repaired, 4 * kBlock), all);
    // A sound header is left alone, not even written again.
    const auto lastWrite = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(path, lastWrite);
    EXPECT_FALSE(RepairWavHeader(path).changed);
    EXPECT_EQ(std::filesystem::last_write_time(path), lastWrite);

    std::fstream(path, std::ios::binary | std::ios::in | std::ios::out) << std::string(44, '\0');
    EXPECT_TRUE(RepairWavHeader(path, {.rate = kRate, .channels = 2}).headerWasEmpty);
    EXPECT_EQ(FileBytes(path), repaired);
}

TEST(WavRepair, RefusesWhatIsNotSuchARecordingAndLeavesItAlone) {
    TempFolder folder;
    const std::string sound = PcmWav(2, kRate, Blocks(1));
    auto changed = [&](size_t at, const std::string& bytes) {
        return std::string(sound).replace(at, bytes.size(), bytes);
    };
    const std::tuple<const char*, std::string, WavRepairOptions, int32_t, const char*> cases[] = {
        {"short.wav", "RIFF", {}, 321, "too short to be a recording: 4 bytes"},
        {"text.wav", std::string(100, 'x'), {}, 321, "no RIFF/WAVE header"},
        {"list.wav", changed(12, "LIST"), {}, 321, "another chunk layout"},
        {"eight.wav", changed(34, "\x08"), {}, 321, "encoding is not 16-bit PCM"},
        {"three.wav", PcmWav(3, kRate, Blocks(1)), {}, 321, "contradict each other"},
        {"empty.wav", std::string(44 + 400, '\0'), {.rate = 8000}, 5, "must be given"},
        {"mono.wav", sound, {.channels = 3}, 5, "channels 3"},
        {"rate.wav", sound, {.rate = 0}, 5, "rate 0 out of range"},
    };
    for (const auto& [name, bytes, options, number, reason] : cases) {
        SCOPED_TRACE(name);
        const std::string path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        const auto error = CaughtError([&] { RepairWavHeader(path, options); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), number);
        EXPECT_NE(error->Description().find(path + " ("), std::string::npos)
            << error->Description();
        EXPECT_NE(error->Description().find(reason), std::string::npos) << error->Description();
        EXPECT_EQ(FileBytes(path), bytes);
    }
    EXPECT_EQ(ErrorNumberOf([&] { RepairWavHeader(folder / "missing.wav"); }), 53);
    EXPECT_EQ(ErrorNumberOf([&] { RepairWavHeader(folder.Path()); }), 75);
}

// Playback of a file whose header is blank: every frame in order, both channels.
FRESH_TEST(Playback, StereoFilePlaysEveryFrameInOrder) {
    TempFolder folder;
    std::vector<int16_t> frames;
    for (int16_t i = 1; i <= 2500; ++i)
        frames.insert(frames.end(), {i, int16_t(-i)});
    std::ofstream(folder / "st.wav", std::ios::binary)
        << std::string(44, '\0') << platform::testing::SampleBytes(frames);
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
}

// What the second of two stereo blocks gets: counted and timed always (unless the call is
// nested too deep), handed back only while running on an unchanged device list, copied
// only while running, analysed only when the analysis is free (else counted missed).
TEST(WindowProcWave, BusyAnalysisNestingAndPauseDecideWhatABlockGets) {
    // Before the block: analysis busy, paused, a device plugged in, the nesting depth.
    // After it: blocks done, the block in record 2, buffers queued, missed, last analysed.
    struct Case {
        const char* what;
        bool busy, paused, plugged;
        int32_t depth, blocksDone, copiedBlock, queued, missed, analysed;
    };
    const Case cases[] = {
        {"analysis busy", true, false, false, 0, 2, 2, 4, 1, 1},
        {"19 nested calls", false, false, false, 19, 2, 2, 4, 0, 2},
        {"the 21st nested call", false, false, false, 20, 1, 0, 3, 0, 1},
        {"paused", false, true, false, 0, 2, 0, 3, 0, 1},
        {"device list changed", false, false, true, 0, 2, 2, 3, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFreshThread([&] {
            PipelineHost host;
            host.StartCapture({.channels = 2, .analysisOff = false});
            host.Deliver(TestBlock(1, 2000));
            if (c.paused)
                host.engine->Pause();
            std::optional<ManualWaveInput> pluggedIn;
            if (c.plugged)
                pluggedIn.emplace("Plugged in");
            const double before = State().LastBlockTime;
            State().AnalysisBusy = c.busy;
            State().CallbackDepth = c.depth;
            host.Deliver(TestBlock(2, 2000));
            EXPECT_EQ(State().LastBlockTime > before, c.blocksDone == 2);
            EXPECT_EQ(
                std::tuple(State().BlocksDone, State().BlockRecords(2).BlockNumber,
                           int32_t(host.input.QueuedCount()), State().MissedCount,
                           State().LastAnalyzedBlock, State().CallbackDepth),
                std::tuple(c.blocksDone, c.copiedBlock, c.queued, c.missed, c.analysed, c.depth));
        });
    }
}

FRESH_TEST(WindowProcWave, LoopMethod3LeavesRequeueingToNextBuffer) {
    PipelineHost host;
    host.StartCapture({.loopMethod = 3});
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlockRecords(1).Left(999), TestBlock(1, 1000)[999]);
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    host.input.Fill(TestBlock(2, 500));  // buffer 2 comes back half full
    platform::DoEvents();
    NextBuffer(0);  // 2 came back partly filled: skipped
    const uint32_t timer = State().TimerId;
    EXPECT_NE(timer, 0u);  // the timer window is hooked: the analysis timer starts
    NextBuffer(0);         // 3 and 4 are still queued: offered, refused
    NextBuffer(0);
    EXPECT_EQ(host.input.QueuedCount(), 2u);
    EXPECT_EQ(State().CurrentBuffer, 4);
    NextBuffer(0);  // 1: full, queued again
    EXPECT_EQ(host.input.QueuedCount(), 3u);
    EXPECT_EQ(State().TimerId, timer);
}

FRESH_TEST(WindowProcTimer, ErrorRemovesTheTimerHookAndMutesTheWaveHook) {
    PipelineHost host;
    host.StartCapture({});
    State().Sequence.Erase();  // the analysis fails on its history
    platform::SendMessageA(State().TimerWindow, kTimerTickMessage, kTimerTickWord, 0);
    EXPECT_EQ(std::tuple(State().SubclassMark, State().OldTimerProc),
              std::tuple(kHooksRemoved, nullptr));
    EXPECT_NE(State().OldWaveProc, nullptr);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlocksDone, 0);
}

FRESH_TEST(WindowProcTimer, TicksRunTheAnalysisOnTheOwningThreadWhileItIsNotBusy) {
    PipelineHost host;
    int analyses = 0;  // each analysis sets the lamp once
    std::thread::id where;
    host.lamp.OnRefresh([&](int32_t) {
        ++analyses;
        where = std::this_thread::get_id();
    });
    host.StartCapture(
        {.sps = 44100, .samples = 1024, .buffers = 2, .analysis = 3, .analysisOff = false});
    analyses = 0;
    platform::RunMessageLoop([&] { return analyses >= 3; }, std::chrono::seconds(5));
    EXPECT_GE(analyses, 3);
    EXPECT_EQ(where, std::this_thread::get_id());
    State().AnalysisBusy = true;
    analyses = 0;
    platform::RunMessageLoop(nullptr, std::chrono::milliseconds(100));
    EXPECT_EQ(analyses, 0);
}

// A second hook is refused and the first one kept; an error inside the hook removes it and
// greys the lamp.
FRESH_TEST(Subclassing, SecondInstallIsRefusedAndAnErrorRemovesTheHook) {
    PipelineHost host;
    host.StartCapture({});
    const auto hook = State().OldWaveProc;
    const auto error = CaughtError([] { SubClassWaveIn(1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number(), 1001);
    EXPECT_EQ(error->Description(),
              "Sub SubClassWaveIn in Aurelix\r\nFunction SubClassWaveIn in "
              "Aurelix\r\nSubclassing is already active!");
    EXPECT_EQ(State().OldWaveProc, hook);
    host.Deliver(TestBlock(1, 1000));
    EXPECT_EQ(State().BlocksDone, 1);

    State().BlockRecords(2).Left.Erase();
    host.Deliver(TestBlock(2, 1000));  // CopyBuffer fails on the broken record
    EXPECT_EQ(std::tuple(State().SubclassMark, State().OldWaveProc),
              std::tuple(kHooksRemoved, nullptr));
    EXPECT_EQ(host.lamp.BackColor(), platform::RGB(127, 127, 127));
    host.Deliver(TestBlock(3, 1000));
    EXPECT_EQ(State().BlocksDone, 2);  // messages reach the plain window now
}

}  // namespace
}  // namespace aurelix::capture
