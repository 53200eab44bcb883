#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include <sndfile.h>

#include "aurelix/platform/runtime/build_info.h"
#include "cli/command_runner.h"
#include "cli/json_lines.h"
#include "cli/offline_analysis.h"
#include "support/fresh_thread.h"
#include "support/pipeline_host.h"
#include "support/sox_reader.h"
#include "support/temp_folder.h"

namespace aurelix::testing {
namespace {

using nlohmann::json;

bool Sh(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

#define REQUIRE_SOX()                                           \
    if (!HaveTool("sox") || !HaveTool("soxi")) {                \
        GTEST_SKIP() << "needs sox and soxi to make the files"; \
    }

std::vector<json> OfType(const std::vector<json>& lines, const std::string& type) {
    std::vector<json> kept;
    for (const json& line : lines) {
        if (line["type"] == type) {
            kept.push_back(line);
        }
    }
    return kept;
}

// Every sample of a 16-bit file, interleaved.
std::vector<short> Samples16(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path;
    if (file == nullptr) {
        return {};
    }
    std::vector<short> samples(size_t(info.frames * info.channels));
    sf_readf_short(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

struct SineCase {
    int rate;
    double hertz;
    int samples;
    std::string soxFormat;  // output options for sox
};

// A sox sine of F Hz analysed at rate R: every block with signal reports the bin nearest F
// times R / samples; the blocks and the trailing partial block add up to the file.
TEST(AurelixAnalyze, SoxSineGivesTheNearestBinInEveryBlock) {
    REQUIRE_SOX();
    TempFolder folder;
    for (const SineCase& c :
         {SineCase{8000, 440, 1024, "-b 16"}, SineCase{44100, 1000, 4096, "-b 24"},
          SineCase{22050, 3150, 512, "-e floating-point -b 32"},
          SineCase{16000, 2500, 1000, "-b 16 -c 2"}}) {
        SCOPED_TRACE(std::to_string(c.hertz) + " Hz at " + std::to_string(c.rate));
        const std::string wav = folder / "sine.wav";
        ASSERT_TRUE(Sh("sox -D -n -r " + std::to_string(c.rate) + " " + c.soxFormat + " " + wav +
                       " synth 1.3 sine " + std::to_string(c.hertz) + " vol 0.5"));
        const CommandResult run = RunCommand(
            {"analyze", wav, "--json", "--spectrum", "--samples", std::to_string(c.samples)},
            folder.Path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const auto lines = run.Lines();
        const int n = c.samples == 1000 ? 1024 : c.samples;  // FFT lengths are powers of two
        const double expected = std::round(c.hertz * n / c.rate) * c.rate / n;
        const auto blocks = OfType(lines, "block");
        const int64_t frames = std::llround(1.3 * c.rate);
        ASSERT_EQ(int64_t(blocks.size()), frames / n);
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i]["block"], i + 1);
            EXPECT_DOUBLE_EQ(blocks[i]["max_frequency"][0].get<double>(), expected);
            const auto spectrum = blocks[i]["spectrum"].get<std::vector<float>>();
            ASSERT_EQ(int(spectrum.size()), n / 2);
            EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(),
                      std::lround(expected * n / c.rate));
            EXPECT_DOUBLE_EQ(blocks[i]["max_frequency"][1].get<double>(),
                             c.soxFormat.find("-c 2") != std::string::npos ? expected : 0.0);
        }
        const json summary = lines.back();
        EXPECT_EQ(summary["type"], "summary");
        EXPECT_EQ(summary["analysed"], blocks.size());
        EXPECT_EQ(summary["partial_samples"], frames % n);
        if (c.samples == 1000) {
            EXPECT_EQ(OfType(lines, "event")[0],
                      (json{{"type", "event"}, {"name", "ChangedSamples"}, {"OldSamples", 1000}}));
        }
    }
}

// The offline analysis that the Python module will call gives the command's block lines,
// and the options reach the control Analysis first: without the FFT, 1000 samples stay 1000.
TEST(AurelixAnalyze, AnalyzeFileGivesTheCommandsLinesWithAnalysisAppliedFirst) {
    REQUIRE_SOX();
    TempFolder folder;
    const std::string wav = folder / "noise.wav";
    ASSERT_TRUE(Sh("sox -D -n -r 8000 -b 16 -c 2 " + wav + " synth 1 whitenoise sine 300 vol 0.3"));
    const CommandResult run = RunCommand(
        {"analyze", wav, "--json", "--analysis", "amplitude", "--samples", "1000"}, folder.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(OfType(run.Lines(), "event").size() == 2);  // opened, closed: no ChangedSamples
    const auto fromCommand = OfType(run.Lines(), "block");
    EXPECT_EQ(fromCommand.size(), 8u);

    cli::OfflineOptions options;
    options.path = wav;
    options.analysis = "amplitude";
    options.samples = 1000;
    std::vector<json> fromFunction;
    cli::OfflineCallbacks callbacks;
    callbacks.block = [&](const cli::BlockResult& block) {
        fromFunction.push_back(json::parse(cli::BlockToJson(block).dump()));
    };
    OnFreshThread([&] {
        const cli::OfflineSummary summary = cli::AnalyzeFile(options, callbacks);
        EXPECT_EQ(summary.samples, 1000);
        EXPECT_EQ(summary.run.partialSamples, 0);
    });
    EXPECT_EQ(fromFunction, fromCommand);
    EXPECT_NE(fromFunction[0]["max_amplitude"][0], fromFunction[0]["max_amplitude"][1]);
}

// A FLAC file gives exactly the lines of its WAV twin, and a block's trigger events follow
// that block's line.
TEST(AurelixAnalyze, FlacAnalysesLikeItsWavTwinWithTriggersAfterTheirBlock) {
    REQUIRE_SOX();
    TempFolder folder;
    const std::string wav = folder / "twin.wav", flac = folder / "twin.flac";
    ASSERT_TRUE(
        Sh("sox -D -n -r 11025 -b 16 " + wav + " synth 0.5 sine 1000 : synth 0.5 sine 3000"));
    ASSERT_TRUE(Sh("sox " + wav + " " + flac));
    std::vector<json> outputs[2];
    int i = 0;
    for (const std::string& file : {wav, flac}) {
        const CommandResult run = RunCommand(
            {"analyze", file, "--json", "--analysis", "peaks", "--trigger", "900:1100:20"},
            folder.Path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        for (json line : run.Lines()) {
            if (line["name"] != "WaveDeviceOpened" && line["name"] != "WaveDeviceClosed") {
                outputs[i].push_back(line);  // device handles differ from run to run
            }
        }
        ++i;
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    const auto& lines = outputs[0];
    int triggers = 0, off = 0;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (lines[k]["name"] == "FrequencyTrigger") {
            ++triggers;
            ASSERT_EQ(lines[k - 1]["type"], "block");
            EXPECT_EQ(lines[k - 1]["max_frequency"][0],
                      std::round(1000.0 * 1024 / 11025) * 11025 / 1024);
            EXPECT_EQ(lines[k]["Triggers"][0], 1);
            // Positive bin numbers, ascending; the strongest is the dominant frequency's.
            const json& peaks = lines[k - 1]["peaks"];
            ASSERT_FALSE(peaks.empty());
            EXPECT_TRUE(std::is_sorted(peaks.begin(), peaks.end()) && peaks[0][0] > 0);
            for (const json& peak : peaks) {
                EXPECT_GT(peak[1], 5 * 320);  // above the default threshold's level
            }
            EXPECT_EQ(
                (*std::max_element(peaks.begin(), peaks.end(),
                                   [](const json& a, const json& b) { return a[1] < b[1]; }))[0],
                93);
        } else if (lines[k]["name"] == "FrequencyTriggersOff") {
            ++off;
            EXPECT_EQ(lines[k - 1]["type"], "block");
        }
    }
    EXPECT_EQ(triggers, 5);  // the 1 kHz half second holds five 1024-sample blocks
    EXPECT_EQ(off, 1);
}

struct ConversionCase {
    int format;
    std::vector<int> written;         // left-aligned 32-bit integers (sf_writef_int) or ...
    std::vector<float> writtenFloat;  // ... floats
    std::vector<short> expected;
};

// What every sample format becomes: 16-bit PCM passes unchanged, other integer depths are
// scaled by their depth, float full scale is 32767; rounding is half to even, with clipping.
// `play --to` writes the converted samples out.
TEST(AurelixPlay, FilesPlayIntoAWavAsTheirSixteenBitSamples) {
    TempFolder folder;
    const ConversionCase cases[] = {
        {SF_FORMAT_PCM_16,
         {1 << 16, -32768 << 16, 32767 << 16, 12345 << 16},
         {},
         {1, -32768, 32767, 12345}},
        {SF_FORMAT_PCM_24,
         {8388607 << 8, -8388608 * 256, 128 << 8, 384 << 8, 640 << 8},
         {},
         {32767, -32768, 0, 2, 2}},
        {SF_FORMAT_PCM_U8, {127 << 24, -128 * (1 << 24), 1 << 24}, {}, {32512, -32768, 256}},
        {SF_FORMAT_FLOAT,
         {},
         {1.0f, -1.0f, 0.5f, 1.5f, -2.0f, -0.5f},
         {32767, -32767, 16384, 32767, -32768, -16384}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string in = folder / "in.wav", out = folder / "out.wav";
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | c.format;
        SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &info);
        ASSERT_NE(file, nullptr);
        if (c.format == SF_FORMAT_FLOAT) {
            sf_writef_float(file, c.writtenFloat.data(), sf_count_t(c.writtenFloat.size()));
        } else {
            sf_writef_int(file, c.written.data(), sf_count_t(c.written.size()));
        }
        sf_close(file);
        const CommandResult run = RunCommand({"play", in, "--to", out}, folder.Path());
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Samples16(out), c.expected);
    }
}

TEST(AurelixPlay, SoxFilePlaysToAWavSampleForSample) {
    REQUIRE_SOX();
    TempFolder folder;
    const std::string in = folder / "in.wav", out = folder / "out.wav";
    ASSERT_TRUE(Sh("sox -n -r 22050 -b 16 -c 2 " + in + " synth 1.7 sine 300 sine 700"));
    const CommandResult run = RunCommand({"play", in, "--to", out, "--json"}, folder.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.Lines().back()["type"], "summary");
    EXPECT_EQ(Samples16(out), Samples16(in));
    EXPECT_EQ(CommandOutput("soxi -r " + out), "22050\n");
}

// The simulated sine, recorded: soxi reads the rate, channels and a duration of the time
// asked for (to the block); Ctrl-C finishes the file with a valid header.
TEST(AurelixRecord, RecordsWhatSoxiReadsAndFinishesTheFileOnCtrlC) {
    REQUIRE_SOX();
    TempFolder folder;
    const std::string take = folder / "take.wav";
    const CommandResult run =
        RunCommand({"record", take, "--device", "sine", "--seconds", "0.5", "--rate", "16000",
                    "--channels", "2", "--samples", "800", "--analysis", "amplitude"},
                   folder.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(CommandOutput("soxi -r " + take), "16000\n");
    EXPECT_EQ(CommandOutput("soxi -c " + take), "2\n");
    const double seconds = std::stod(CommandOutput("soxi -D " + take));
    EXPECT_GE(seconds, 0.5);
    EXPECT_LE(seconds, 0.5 + 800.0 / 16000 + 1e-9);  // whole blocks of 800 samples
    EXPECT_EQ(std::lround(seconds * 16000) % 800, 0);

    const std::string interrupted = folder / "interrupted.wav";
    RunningCommand recorder({"record", interrupted, "--device", "sine", "--json"}, folder.Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    recorder.Signal(SIGINT);
    const CommandResult stopped = recorder.Wait();
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    EXPECT_EQ(stopped.Lines().back()["type"], "summary");
    const double kept = std::stod(CommandOutput("soxi -D " + interrupted));
    EXPECT_GT(kept, 0.2);
    EXPECT_EQ(std::filesystem::file_size(interrupted), 44 + std::lround(kept * 44100) * 2);

    // A header lost in a crash: repair needs the format, then sox reads every sample again.
    const DecodedWav before = ReadWithSox(interrupted);
    std::filesystem::resize_file(interrupted, 44 + before.samples.size() * 2 + 1);  // a cut frame
    ASSERT_TRUE(
        Sh("dd if=/dev/zero of=" + interrupted + " bs=44 count=1 conv=notrunc status=none"));
    EXPECT_EQ(RunCommand({"repair", interrupted}, folder.Path()).exitCode, 1);
    const CommandResult repaired =
        RunCommand({"repair", interrupted, "--rate", "44100", "--channels", "1"}, folder.Path());
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_EQ(ReadWithSox(interrupted).samples, before.samples);
}

// Live capture of the simulated sine: JSON lines of its nearest bin, the device list names
// it, and the version is the build's.
TEST(AurelixLive, MonitorReportsTheSimulatedSineAndDevicesListIt) {
    TempFolder folder;
    const CommandResult run =
        RunCommand({"monitor", "--device", "sine", "--json", "--seconds", "0.4", "--buffers", "1"},
                   folder.Path());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    EXPECT_EQ(lines.front()["name"], "WaveDeviceOpened");
    const auto blocks = OfType(lines, "block");
    ASSERT_GE(blocks.size(), 5u);
    for (const json& block : blocks) {
        EXPECT_DOUBLE_EQ(block["max_frequency"][0].get<double>(), 23 * 44100.0 / 1024);
    }
    EXPECT_EQ(lines.back()["analysed"], blocks.size());

    const auto devices = RunCommand({"devices", "--json"}, folder.Path()).Lines();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0]["default"], true);
    EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [](const json& d) {
        return d["name"] == "Sine 1 kHz (simulated)" && d["direction"] == "input";
    }));
    const std::string version = std::to_string(platform::build_info::kVersionMajor) + "." +
                                std::to_string(platform::build_info::kVersionMinor) + "." +
                                std::to_string(platform::build_info::kVersionRevision) + "\n";
    EXPECT_EQ(RunCommand({"--version"}, folder.Path()).out, version);
    EXPECT_EQ(RunCommand({"version"}, folder.Path()).out, version);
}

TEST(AurelixErrors, UsageErrorsExitTwo) {
    TempFolder folder;
    const std::vector<std::vector<std::string>> usages = {
        {},
        {"monitor", "--bogus"},
        {"monitor", "--analysis", "fast"},
        {"monitor", "--trigger", "1100:900"},
        {"monitor", "--device", "no such device"},
        {"analyze", "a.wav", "--loop", "3"},
        {"analyze", "a.wav", "--rate", "8000"},
        {"analyze", "a.wav", "--channels", "2"},
        {"play", "a.wav", "--to", "b.wav", "--device", "0"},
        {"record"},
    };
    for (const auto& args : usages) {
        const CommandResult run = RunCommand(args, folder.Path());
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_EQ(run.err.rfind("aurelix: ", 0), 0u) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
}

// Refused files exit 1 with one line naming the file and the reason.
TEST(AurelixErrors, BadFilesExitOneNamingTheFile) {
    REQUIRE_SOX();
    TempFolder folder;
    const std::string text = folder / "notes.wav", three = folder / "three.wav",
                      cut = folder / "cut.wav", low = folder / "low.wav";
    std::ofstream(text) << "not a sound\n";
    ASSERT_TRUE(Sh("sox -n -r 8000 -c 3 " + three + " synth 0.2 sine 300"));
    ASSERT_TRUE(Sh("sox -n -r 8000 -b 16 " + cut + " synth 1 sine 300 && truncate -s 3000 " + cut));
    ASSERT_TRUE(Sh("sox -n -r 8000 -b 16 " + low + " synth 6 sine 20"));
    struct Refusal {
        std::vector<std::string> args;
        std::string file, reason;
    };
    const Refusal refusals[] = {
        {{"analyze", folder / "missing.wav"}, folder / "missing.wav", "no such file"},
        {{"analyze", text}, text, "not a sound file"},
        {{"analyze", three}, three, "3 channels"},
        {{"play", cut, "--to", folder / "o.wav"}, cut, "truncated"},
        {{"record", folder / "none/take.wav", "--seconds", "1"},
         folder / "none/take.wav",
         "does not exist"},
        {{"script", folder / "missing.txt"}, folder / "missing.txt", "cannot read"},
        // Zero-crossing positions past 32767 overflow: the analysis stops at the first block.
        {{"analyze", low, "--analysis", "zerocross", "--samples", "40000"},
         low,
         "block 1: error 6"},
    };
    for (const Refusal& refusal : refusals) {
        const CommandResult run = RunCommand(refusal.args, folder.Path());
        EXPECT_EQ(run.exitCode, 1) << refusal.file;
        EXPECT_EQ(run.err.rfind("aurelix: " + refusal.file + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(refusal.reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "o.wav"));
}

}  // namespace
}  // namespace aurelix::testing
