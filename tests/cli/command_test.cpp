#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <tuple>

#include <sndfile.h>

#include "aurelix/platform/runtime/build_info.h"
#include "cli/command_runner.h"
#include "support/sox_reader.h"

namespace aurelix::testing {
namespace {

using nlohmann::json;
using ::testing::EndsWith;
using ::testing::StartsWith;

std::vector<json> Blocks(std::vector<json> lines) {
    std::erase_if(lines, [](const json& line) { return line["type"] != "block"; });
    return lines;
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
    EXPECT_NE(file, nullptr) << path;  // libsndfile refuses the calls below on a null handle
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
    CommandResult Run(const std::vector<std::string>& args, const std::string& prefix = "") const {
        return RunCommand(args, folder.Path(), prefix);
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
    EXPECT_THAT(run.out,
                StartsWith(R"({"type":"event","name":"ChangedSamples","OldSamples":1000})"));
    const auto blocks = Blocks(JsonLines(run.out));
    ASSERT_EQ(blocks.size(), 20u);  // 20800 frames
    for (size_t i = 0; i < blocks.size(); ++i) {
        EXPECT_EQ(blocks[i]["block"], i + 1);
        EXPECT_EQ(blocks[i]["max_frequency"], json::array({2500.0, 1250.0}));  // bins 160, 80
        const auto spectrum = blocks[i]["spectrum"].get<std::vector<float>>();
        EXPECT_EQ(spectrum.size(), 512u);
        EXPECT_EQ(std::max_element(spectrum.begin(), spectrum.end()) - spectrum.begin(), 160);
    }
    EXPECT_THAT(run.out, EndsWith(R"({"type":"summary","blocks":20,"analysed":20,"missed":0,)"
                                  R"("seconds":1.3,"partial_samples":320})"
                                  "\n"));
}

// Each block's events follow its line: the trigger fires in the five 1 kHz blocks and goes
// off once, after the first block of 3 kHz. The peaks of the reduced spectrum are rows
// (bin, magnitude) in ascending bins, those above the level. The plot is a PNG.
TEST_F(Aurelix, TriggersFollowTheirBlockAndPeaksAreAscendingBins) {
    const std::string wav = folder / "tones.wav";
    std::vector<double> tones = Tones(11025, 0.5, {1000}), high = Tones(11025, 0.5, {3000});
    tones.insert(tones.end(), high.begin(), high.end());
    WriteWav(wav, 11025, 1, SF_FORMAT_PCM_16, tones);
    const CommandResult run = Run({"analyze", wav, "--json", "--analysis", "peaks", "--trigger",
                                   "900:1100:20", "--plot", folder / "plot.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string order;
    for (const json& line : JsonLines(run.out)) {
        order += line.value("name", line["type"].get<std::string>()) + " ";
    }
    const std::string on = "block FrequencyTrigger ", off = "block ";
    EXPECT_EQ(order, "WaveDeviceOpened " + on + on + on + on + on + "block FrequencyTriggersOff " +
                         off + off + off + off + "WaveDeviceClosed summary ");
    const auto blocks = Blocks(JsonLines(run.out));
    for (size_t i = 0; i < 5; ++i) {
        std::vector<int> bins;
        for (const json& peak : blocks.at(i)["peaks"]) {
            bins.push_back(peak[0]);
            EXPECT_GT(peak[1], 5 * 320);  // above the default threshold's level
        }
        EXPECT_EQ(bins, (std::vector<int>{92, 93, 94}));
    }
    EXPECT_EQ(FileBytes(folder / "plot.png").substr(0, 4), "\x89PNG");
}

// What every sample format plays as: 16-bit PCM passes unchanged, other integer depths are
// scaled by their depth, float full scale is 32767; rounding is half to even, with clipping.
// `play --to` writes the converted stereo frames out in order, at the file's rate.
TEST_F(Aurelix, FilesPlayIntoAWavAsTheirSixteenBitSamples) {
    const std::tuple<int, std::vector<double>, std::vector<short>> cases[] = {
        {SF_FORMAT_PCM_16, {1, -32768, 32767, 12345}, {1, -32768, 32767, 12345}},
        {SF_FORMAT_PCM_24, {8388607, -8388608, 128, 384, 640, -384}, {32767, -32768, 0, 2, 2, -2}},
        {SF_FORMAT_PCM_U8, {127, -128, 1, 0}, {32512, -32768, 256, 0}},
        {SF_FORMAT_FLOAT, {1, -1, 0.5, 1.5, -2, 0}, {32767, -32767, 16384, 32767, -32768, 0}},
    };
    for (const auto& [format, written, expected] : cases) {
        const std::string in = folder / "in.wav", out = folder / "out.wav";
        WriteWav(in, 22050, 2, format, written);
        ASSERT_EQ(Run({"play", in, "--to", out}).exitCode, 0);
        EXPECT_EQ(Read16(out), (Sound{22050, 2, expected}));
    }
}

// The simulated sine, recorded: the file has the rate and channels asked for and whole blocks
// up to the time asked for; Ctrl-C finishes the file with a valid header and the JSON lines.
TEST_F(Aurelix, RecordsWholeBlocksAndFinishesTheFileOnCtrlC) {
    const std::string take = folder / "take.wav", stopped = folder / "interrupted.wav";
    const CommandResult timed =
        Run({"record", take, "--device", "sine", "--seconds", "0.5", "--rate", "16000",
             "--channels", "2", "--samples", "800", "--analysis", "amplitude"});
    ASSERT_EQ(timed.exitCode, 0) << timed.err;
    const Sound sound = Read16(take);
    EXPECT_EQ(std::pair(sound.rate, sound.channels), std::pair(16000, 2));
    const size_t frames = sound.samples.size() / 2;
    EXPECT_TRUE(frames >= 8000 && frames <= 8800 && frames % 800 == 0) << frames;
    // Users' tools read the same: sox decodes the same samples, Python's wave the same format.
    const DecodedWav viaSox = ReadWithSox(take);
    EXPECT_EQ(std::tuple(viaSox.rate, viaSox.channels, viaSox.bits), std::tuple(16000, 2, 16));
    EXPECT_EQ(viaSox.samples, sound.samples);
    EXPECT_EQ(std::system(("python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); "
                           "sys.exit((w.getframerate(), w.getnchannels(), w.getsampwidth(), "
                           "w.getnframes()) != (16000, 2, 2, " +
                           std::to_string(frames) + "))' " + take)
                              .c_str()),
              0);

    const CommandResult run = Run({"record", stopped, "--device", "sine", "--json"},
                                  "timeout --preserve-status -s INT 1.5 ");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const auto blocks = Blocks(JsonLines(run.out));
    EXPECT_GE(blocks.size(), 5u);
    EXPECT_EQ(JsonLines(run.out).back()["analysed"], blocks.size());
    const Sound kept = Read16(stopped);
    EXPECT_GT(kept.samples.size(), 0.2 * 44100);
    EXPECT_EQ(std::filesystem::file_size(stopped), 44 + kept.samples.size() * 2);

    // A header lost in a crash: repair needs the format, then every sample reads again.
    std::filesystem::resize_file(stopped, 44 + kept.samples.size() * 2 + 1);  // a cut frame
    std::fstream(stopped, std::ios::in | std::ios::out | std::ios::binary)
        .write(std::string(44, '\0').data(), 44);
    EXPECT_EQ(Run({"repair", stopped}).exitCode, 1);
    EXPECT_EQ(Run({"repair", stopped, "--rate", "44100", "--channels", "1"}).exitCode, 0);
    EXPECT_EQ(Read16(stopped), kept);
}

TEST_F(Aurelix, VersionIsTheBuilds) {
    using namespace platform::build_info;
    const std::string version = std::to_string(kVersionMajor) + "." +
                                std::to_string(kVersionMinor) + "." +
                                std::to_string(kVersionRevision) + "\n";
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
    const auto devices = JsonLines(Run({"devices", "--json"}).out);
    const std::string inputs = std::to_string(std::count_if(
        devices.begin(), devices.end(), [](const json& d) { return d["direction"] == "input"; }));
    // Exit 1 names the file (the second argument) first. Monitors end on their own should a
    // refusal be missed.
    const std::tuple<int, std::vector<std::string>, std::string> failures[] = {
        {2, {}, "A subcommand is required"},
        {2, {"monitor", "--seconds", "0.2", "--bogus"}, "not expected: --bogus"},
        {2, {"monitor", "--seconds", "0.2", "--analysis", "fast"}, "--analysis fast: expected"},
        {2, {"monitor", "--seconds", "0.2", "--trigger", "1100:900"}, "F1 <= F2"},
        {2, {"monitor", "--seconds", "0.2", "--device", "no such device"}, "no input device"},
        {2, {"monitor", "--seconds", "0.2", "--device", inputs}, "--device " + inputs},
        {2, {"analyze", "a.wav", "--rate", "8000"}, "--rate"},
        {2, {"play", "a.wav", "--to", "b.wav", "--device", "0"}, "--device excludes --to"},
        {2, {"record"}, "FILE is required"},
        {1, {"analyze", folder / "missing.wav"}, "no such file"},
        {1, {"analyze", text}, "not a sound file"},
        {1, {"analyze", three}, "3 channels"},
        {1, {"play", cut, "--to", folder / "o.wav"}, "truncated"},
        {1, {"record", folder / "none/take.wav", "--seconds", "1"}, "does not exist"},
        {1, {"script", folder / "missing.txt"}, "cannot read"},
        // Zero-crossing positions past 32767 overflow: the analysis stops at the first block.
        {1, {"analyze", low, "--analysis", "zerocross", "--samples", "40000"}, "block 1: error 6"},
    };
    for (const auto& [exitCode, args, reason] : failures) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const CommandResult run = Run(args);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_TRUE(run.out.empty());
        const std::string prefix = exitCode == 1 ? "aurelix: " + args[1] + ": " : "aurelix: ";
        EXPECT_EQ(run.err.rfind(prefix, 0), 0u) << run.err;
        EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
        EXPECT_TRUE(exitCode == 2 || std::count(run.err.begin(), run.err.end(), '\n') == 1)
            << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "o.wav"));
}

}  // namespace
}  // namespace aurelix::testing
