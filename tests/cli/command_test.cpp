#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include <sndfile.h>

#include "aurelix/platform/runtime/build_info.h"
#include "cli/command_runner.h"
#include "support/temp_folder.h"

namespace aurelix::testing {
namespace {

using nlohmann::json;

std::vector<json> OfType(const std::vector<json>& lines, const std::string& type) {
    std::vector<json> kept;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(kept),
                 [&](const json& line) { return line["type"] == type; });
    return kept;
}

// A 16-bit file's rate, channels and interleaved samples.
struct Sound {
    int rate, channels;
    std::vector<short> samples;
    bool operator==(const Sound&) const = default;
};

Sound Read16(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(file, nullptr) << path;
    if (file == nullptr) {
        return {};
    }
    Sound sound{info.samplerate, info.channels, std::vector<short>(info.frames * info.channels)};
    sf_readf_short(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

// Writes a WAV of `format` from samples in the format's own units (no scaling).
void WriteWav(const std::string& path, int rate, int channels, int format,
              const std::vector<double>& samples) {
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path;
    sf_command(file, SFC_SET_NORM_DOUBLE, nullptr, SF_FALSE);
    sf_write_double(file, samples.data(), sf_count_t(samples.size()));
    sf_close(file);
}

// `seconds` of a sine of each of `hertz` on a channel of its own, interleaved, in 16-bit units.
std::vector<double> Tones(int rate, double seconds, const std::vector<double>& hertz) {
    std::vector<double> samples;
    for (int64_t i = 0; i < std::llround(seconds * rate); ++i) {
        for (double f : hertz) {
            samples.push_back(std::round(32000 * std::sin(2 * M_PI * f * double(i) / rate)));
        }
    }
    return samples;
}

class Aurelix : public ::testing::Test {
  protected:
    CommandResult Run(const std::vector<std::string>& args) const {
        return RunCommand(args, folder.Path());
    }
    TempFolder folder;
};

// A tone on each channel of a stereo file: every block reports, per channel, the bin
// nearest the tone; the spectrum has a bin for each of the 1024 samples' halves (1000 asked
// for are fitted to the transform); the blocks and the trailing partial block add up to the
// file.
TEST_F(Aurelix, AnalyzeFindsEachChannelsNearestBinInEveryBlock) {
    const std::string wav = folder / "tones.wav";
    WriteWav(wav, 16000, 2, SF_FORMAT_PCM_16, Tones(16000, 1.3, {2500, 1250}));
    const CommandResult run = Run({"analyze", wav, "--json", "--spectrum", "--samples", "1000"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    EXPECT_EQ(lines[0],
              (json{{"type", "event"}, {"name", "ChangedSamples"}, {"OldSamples", 1000}}));
    const auto blocks = OfType(lines, "block");
    ASSERT_EQ(blocks.size(), 20u);  // 20800 frames
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i]["block"], i + 1);
        EXPECT_DOUBLE_EQ(blocks[i]["max_frequency"][0].get<double>(), 160 * 16000.0 / 1024);
        EXPECT_DOUBLE_EQ(blocks[i]["max_frequency"][1].get<double>(), 80 * 16000.0 / 1024);
        const auto spectrum = blocks[i]["spectrum"].get<std::vector<float>>();
        ASSERT_EQ(spectrum.size(), 512u);
        EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(), 160);
    }
    const json summary = lines.back();
    EXPECT_EQ(summary["type"], "summary");
    EXPECT_EQ(summary["analysed"], blocks.size());
    EXPECT_EQ(summary["partial_samples"], 20800 % 1024);
}

// A block's trigger events follow that block's line, and the peaks of the reduced spectrum
// are positive bin numbers, ascending, above the level, the strongest at the tone.
TEST_F(Aurelix, TriggersFollowTheirBlockAndPeaksAreAscendingBins) {
    const std::string wav = folder / "tones.wav";
    std::vector<double> tones = Tones(11025, 0.5, {1000});
    const std::vector<double> high = Tones(11025, 0.5, {3000});
    tones.insert(tones.end(), high.begin(), high.end());
    WriteWav(wav, 11025, 1, SF_FORMAT_PCM_16, tones);
    const CommandResult run =
        Run({"analyze", wav, "--json", "--analysis", "peaks", "--trigger", "900:1100:20"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    int triggers = 0, off = 0;
    for (size_t k = 1; k < lines.size(); ++k) {
        const json& block = lines[k - 1];
        if (lines[k]["name"] == "FrequencyTriggersOff") {
            ++off;
            EXPECT_EQ(block["type"], "block");
        }
        if (lines[k]["name"] != "FrequencyTrigger") {
            continue;
        }
        ++triggers;
        ASSERT_EQ(block["type"], "block");
        EXPECT_DOUBLE_EQ(block["max_frequency"][0].get<double>(), 93 * 11025.0 / 1024);
        EXPECT_EQ(lines[k]["Triggers"][0], 1);
        const json& peaks = block["peaks"];
        ASSERT_FALSE(peaks.empty());
        EXPECT_TRUE(std::is_sorted(peaks.begin(), peaks.end()) && peaks[0][0] > 0);
        for (const json& peak : peaks) {
            EXPECT_GT(peak[1], 5 * 320);  // above the default threshold's level
        }
        EXPECT_EQ((*std::max_element(peaks.begin(), peaks.end(),
                                     [](const json& a, const json& b) { return a[1] < b[1]; }))[0],
                  93);
    }
    EXPECT_EQ(triggers, 5);  // the 1 kHz half second holds five 1024-sample blocks
    EXPECT_EQ(off, 1);
}

// What every sample format plays as: 16-bit PCM passes unchanged, other integer depths are
// scaled by their depth, float full scale is 32767; rounding is half to even, with clipping.
// `play --to` writes the converted stereo frames out in order, at the file's rate.
TEST_F(Aurelix, FilesPlayIntoAWavAsTheirSixteenBitSamples) {
    struct Case {
        int format;
        std::vector<double> written;
        std::vector<short> expected;
    };
    const Case cases[] = {
        {SF_FORMAT_PCM_16, {1, -32768, 32767, 12345}, {1, -32768, 32767, 12345}},
        {SF_FORMAT_PCM_24, {8388607, -8388608, 128, 384, 640, -384}, {32767, -32768, 0, 2, 2, -2}},
        {SF_FORMAT_PCM_U8, {127, -128, 1, 0}, {32512, -32768, 256, 0}},
        {SF_FORMAT_FLOAT,
         {1, -1, 0.5, 1.5, -2, -0.5},
         {32767, -32767, 16384, 32767, -32768, -16384}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const std::string in = folder / "in.wav", out = folder / "out.wav";
        WriteWav(in, 22050, 2, c.format, c.written);
        const CommandResult run = Run({"play", in, "--to", out, "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.Lines().back()["type"], "summary");
        EXPECT_EQ(Read16(out), (Sound{22050, 2, c.expected}));
    }
}

// The simulated sine, recorded: the file has the rate and channels asked for and whole blocks
// up to the time asked for; Ctrl-C finishes the file with a valid header.
TEST_F(Aurelix, RecordsWholeBlocksAndFinishesTheFileOnCtrlC) {
    const std::string path = folder / "take.wav";
    const CommandResult run =
        Run({"record", path, "--device", "sine", "--seconds", "0.5", "--rate", "16000",
             "--channels", "2", "--samples", "800", "--analysis", "amplitude"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Sound take = Read16(path);
    EXPECT_EQ(take.rate, 16000);
    EXPECT_EQ(take.channels, 2);
    const size_t frames = take.samples.size() / 2;
    EXPECT_TRUE(frames >= 8000 && frames <= 8800 && frames % 800 == 0) << frames;

    const std::string interrupted = folder / "interrupted.wav";
    RunningCommand recorder({"record", interrupted, "--device", "sine", "--json"}, folder.Path());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    recorder.Signal(SIGINT);
    const CommandResult stopped = recorder.Wait();
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    EXPECT_EQ(stopped.Lines().back()["type"], "summary");
    const Sound kept = Read16(interrupted);
    EXPECT_GT(kept.samples.size(), 0.2 * 44100);
    EXPECT_EQ(std::filesystem::file_size(interrupted), 44 + kept.samples.size() * 2);

    // A header lost in a crash: repair needs the format, then every sample reads again.
    std::filesystem::resize_file(interrupted, 44 + kept.samples.size() * 2 + 1);  // a cut frame
    std::fstream(interrupted, std::ios::in | std::ios::out | std::ios::binary)
        .write(std::string(44, '\0').data(), 44);
    EXPECT_EQ(Run({"repair", interrupted}).exitCode, 1);
    const CommandResult repaired =
        Run({"repair", interrupted, "--rate", "44100", "--channels", "1"});
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_EQ(Read16(interrupted), kept);
}

// Live capture of the simulated sine: JSON lines of its nearest bin; the device list names
// it and bounds the device numbers; the version is the build's.
TEST_F(Aurelix, MonitorReportsTheSimulatedSineAndDevicesListIt) {
    const CommandResult run =
        Run({"monitor", "--device", "sine", "--json", "--seconds", "0.4", "--buffers", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const auto lines = run.Lines();
    EXPECT_EQ(lines.front()["name"], "WaveDeviceOpened");
    const auto blocks = OfType(lines, "block");
    ASSERT_GE(blocks.size(), 5u);
    for (const json& block : blocks) {
        EXPECT_DOUBLE_EQ(block["max_frequency"][0].get<double>(), 23 * 44100.0 / 1024);
    }
    EXPECT_EQ(lines.back()["analysed"], blocks.size());

    const auto devices = Run({"devices", "--json"}).Lines();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices[0]["default"], true);
    EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [](const json& d) {
        return d["name"] == "Sine 1 kHz (simulated)" && d["direction"] == "input";
    }));
    const auto inputs = std::count_if(devices.begin(), devices.end(),
                                      [](const json& d) { return d["direction"] == "input"; });
    EXPECT_EQ(Run({"monitor", "--seconds", "0.2", "--device", std::to_string(inputs)}).exitCode, 2);
    const std::string version = std::to_string(platform::build_info::kVersionMajor) + "." +
                                std::to_string(platform::build_info::kVersionMinor) + "." +
                                std::to_string(platform::build_info::kVersionRevision) + "\n";
    EXPECT_EQ(Run({"--version"}).out, version);
    EXPECT_EQ(Run({"version"}).out, version);
}

// Usage errors exit 2; refused files exit 1 with one line naming the file and the reason.
TEST_F(Aurelix, UsageErrorsExitTwoAndBadFilesOneNamingTheFile) {
    const std::string text = folder / "notes.wav", three = folder / "three.wav",
                      cut = folder / "cut.wav", low = folder / "low.wav";
    std::ofstream(text) << "not a sound\n";
    WriteWav(three, 8000, 3, SF_FORMAT_PCM_16, std::vector<double>(300));
    WriteWav(cut, 8000, 1, SF_FORMAT_PCM_16, std::vector<double>(8000));
    std::filesystem::resize_file(cut, 3000);
    WriteWav(low, 8000, 1, SF_FORMAT_PCM_16, Tones(8000, 6, {20}));
    // Monitors end on their own should a refusal be missed.
    struct Failure {
        std::vector<std::string> args;
        std::string file, reason;  // file "": a usage error
    };
    const Failure failures[] = {
        {{}, "", ""},
        {{"monitor", "--seconds", "0.2", "--bogus"}, "", ""},
        {{"monitor", "--seconds", "0.2", "--analysis", "fast"}, "", ""},
        {{"monitor", "--seconds", "0.2", "--trigger", "1100:900"}, "", ""},
        {{"monitor", "--seconds", "0.2", "--device", "no such device"}, "", ""},
        {{"analyze", "a.wav", "--loop", "3"}, "", ""},
        {{"analyze", "a.wav", "--rate", "8000"}, "", ""},
        {{"analyze", "a.wav", "--channels", "2"}, "", ""},
        {{"play", "a.wav", "--to", "b.wav", "--device", "0"}, "", ""},
        {{"record"}, "", ""},
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
    for (const Failure& failure : failures) {
        SCOPED_TRACE(::testing::PrintToString(failure.args));
        const CommandResult run = Run(failure.args);
        EXPECT_EQ(run.exitCode, failure.file.empty() ? 2 : 1);
        EXPECT_TRUE(run.out.empty());
        if (failure.file.empty()) {
            EXPECT_EQ(run.err.rfind("aurelix: ", 0), 0u) << run.err;
            continue;
        }
        EXPECT_EQ(run.err.rfind("aurelix: " + failure.file + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(failure.reason), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "o.wav"));
}

}  // namespace
}  // namespace aurelix::testing
