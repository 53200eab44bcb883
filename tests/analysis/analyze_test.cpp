#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/literal_spectrum.h"
#include "aurelix/analysis/analyze.h"
#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/block_measures.h"
#include "aurelix/analysis/calc_spectrum.h"
#include "aurelix/analysis/export.h"
#include "aurelix/analysis/peaks.h"
#include "aurelix/analysis/real_fft_plan.h"
#include "aurelix/analysis/triggers.h"
#include "aurelix/analysis/zero_cross.h"
#include "aurelix/engine/allocate_arrays.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

namespace err = platform::err;
using aurelix::testing::ErrorTextOf;
using aurelix::testing::OnFreshThread;
using platform::BoundedArray;
using platform::RGB;
using state::State;

constexpr int32_t kRate = 11025;
constexpr int32_t kN = 1024;
constexpr double kBinWidth = double(kRate) / kN;
constexpr int32_t kRed = RGB(255, 0, 0);

// EngineState as the device opening leaves it for n samples a channel in a ring of
// `buffers` (all blocks 0 and not analysed).
void OpenForAnalysis(int32_t n, int16_t channels, int32_t buffers, int32_t flags) {
    auto& state = State();
    state.BlockSamples = n;
    state.SampleRate = kRate;
    state.ChannelCount = channels;
    state.BufferCount = buffers;
    state.AnalysisFlags = flags;
    engine::AllocateArrays();
}

std::vector<int16_t> Sine(double hz, double amplitude, double offset = 0.0) {
    std::vector<int16_t> samples(static_cast<size_t>(kN));
    for (int32_t i = 0; i < kN; ++i) {
        samples[size_t(i)] = int16_t(
            std::lround(offset + amplitude * std::sin(2.0 * std::numbers::pi * hz * i / kRate)));
    }
    return samples;
}

// Ring buffer `buffer` as the buffer cycle leaves it after capturing block `block`.
void FillBuffer(int32_t buffer, int32_t block, const std::vector<int16_t>& left,
                const std::vector<int16_t>& right = {}) {
    auto& record = State().BlockRecords(buffer);
    record.BlockNumber = block;
    record.Analyzed = 0;
    std::copy(left.begin(), left.end(), record.Left.data());
    std::copy(right.begin(), right.end(), record.Right.data());
}

template <class T>
std::vector<T> Entries(const BoundedArray<T>& array, int32_t from = 0) {
    return {array.data() + from, array.data() + array.Count()};
}

// The control's end of the mailbox and the status lamp: records what arrives, and empties
// the text after each message as the control's handler does.
struct ControlSide {
    platform::TextBox mailbox;
    platform::Label lamp;
    std::vector<std::string> texts;
    std::vector<int32_t> keys;
    std::vector<int32_t> colours;

    ControlSide() {
        mailbox.OnChange([this] {
            if (mailbox.Text().empty())
                return;
            texts.push_back(mailbox.Text());
            mailbox.SetText("");
        });
        mailbox.OnKeyUp([this](int16_t& keyCode, int16_t&) { keys.push_back(keyCode); });
        lamp.OnRefresh([this](int32_t colour) { colours.push_back(colour); });
        State().MailboxWindow = mailbox.hwnd();
        State().Lamp = &lamp;
    }
    // An engine that outlives us resets the lamp when it goes.
    ~ControlSide() { State().Lamp = nullptr; }
};

// The spectrum's frequency needs an amplitude above the level, the zero crossings' one an
// amplitude at or above it; an amplitude of 0 (also without the amplitude bit) gives 0 Hz.
TEST(Analyze, FrequencyNeedsTheAmplitudeAboveOrAtTheLevel) {
    const auto sine = Sine(1000.0, 10000.0);
    const int16_t top = 10000;  // its largest sample
    const std::tuple<int32_t, std::vector<int16_t>, int32_t, int16_t, double> cases[] = {
        {3, std::vector<int16_t>(kN, 0), 0, 0, 0.0},
        {3, sine, top, top, 0.0},
        // Largest sample 0 is above a negative level, yet an amplitude of 0 gives 0 Hz.
        {3, Sine(1000.0, 10000.0, -20000.0), -320, 0, 0.0},
        {2, sine, -320, 0, 0.0},
        {33, sine, top, top, 1000.0},
        {33, sine, top + 1, top, 0.0},
    };
    for (const auto& [flags, block, level, amplitude, hz] : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << flags << ", level " << level);
        OnFreshThread([&] {
            OpenForAnalysis(kN, 1, 1, flags);
            State().ThresholdLevel = level;
            State().MaxFrequencyL = State().MaxFrequencyR = -100.0;  // must be overwritten
            FillBuffer(1, 1, block);
            Analyze(1, 1);
            EXPECT_EQ(State().MaxAmplitudeL, amplitude);
            EXPECT_NEAR(State().MaxFrequencyL, hz, 10.0);
            EXPECT_EQ(State().MaxFrequencyR, flags & 2 ? 0.0 : -100.0);  // mono
        });
    }
}

// Flags 0 copy, mark and notify only; 19 adds amplitudes, spectra and the reduced spectra,
// and the spectrum exports.
FRESH_TEST(Analyze, EachFlagComputesItsOwnResults) {
    ControlSide control;
    OpenForAnalysis(kN, 2, 1, 0);
    auto& state = State();
    state.LoopMode = 1;
    const auto left = Sine(1000.0, 10000.0);
    const auto right = Sine(2000.0, 8000.0);
    FillBuffer(1, 41, left, right);
    state.MaxAmplitudeL = 123;
    state.Sequence(100) = 7;
    Analyze(41, 1);
    EXPECT_EQ(Entries(state.WaveL), left);
    EXPECT_EQ(Entries(state.WaveR), right);
    EXPECT_EQ(std::tuple(state.Sequence(99), state.Sequence(100), state.BlockRecords(1).Analyzed,
                         state.LastAnalyzedBlock, state.MaxAmplitudeL),
              std::tuple(7, 41, -1, 41, 123));
    EXPECT_EQ(control.keys, std::vector<int32_t>{257});

    state.AnalysisFlags = 19;
    InitBitReverse(kN, 0);
    Analyze(41, 1);
    EXPECT_EQ(std::tuple(state.MaxAmplitudeL, state.MaxAmplitudeR), std::tuple(10000, 8000));
    EXPECT_DOUBLE_EQ(state.MaxFrequencyL, 93 * kBinWidth);
    EXPECT_DOUBLE_EQ(state.MaxFrequencyR, 186 * kBinWidth);
    EXPECT_EQ(state.SpectrumR.Upper(), kN / 2 - 1);
    // Threshold 0: the reduced spectra list every bin above 0, the carrier included.
    EXPECT_EQ(state.PeaksL(2 * 93 - 1), -93.0f);
    EXPECT_EQ(state.PeaksR(2 * 186), state.SpectrumR(186));
    ExportData();
    EXPECT_EQ(state.ExportSpectrum, state.SpectrumL);
}

// Each analysed block blinks the lamp, the phase advancing past a missing lamp, and tells
// the control its buffer and, with triggers set, whether the left amplitude is above the
// level.
FRESH_TEST(Analyze, LampAndNotificationsFollowEveryBlock) {
    ControlSide control;
    OpenForAnalysis(kN, 1, 1, 1);
    State().LoopMode = 1;
    State().ThresholdLevel = 5000;
    for (int32_t call = 1; call <= 5; ++call) {
        FillBuffer(1, call, std::vector<int16_t>(kN, call == 1 || call == 3 ? 5001 : 5000));
        State().TriggerCount = call == 1 ? 0 : 1;
        State().Lamp = call == 4 ? nullptr : &control.lamp;
        Analyze(call, 1);
    }
    EXPECT_EQ(control.colours, (std::vector<int32_t>{kRed, RGB(175, 0, 0), kRed, kRed}));
    EXPECT_EQ(control.keys, std::vector<int32_t>(5, 257));
    EXPECT_EQ(control.texts,
              (std::vector<std::string>{"triggersoff", "triggers", "triggersoff", "triggersoff"}));
}

TEST(Analyze, FailureLeavesAnalysisBusyAndNamesTheProcedure) {
    // Bit 1 without an index table; a zero crossing beyond 16-bit positions.
    for (const auto& [flags, n, number] : {std::tuple{3, kN, 9}, std::tuple{33, 40000, 6}}) {
        SCOPED_TRACE(::testing::Message() << "flags " << flags);
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(n, 1, 1, 0);
            State().AnalysisFlags = flags;
            State().LoopMode = 1;
            std::vector<int16_t> block(size_t(n), 100);
            block.back() = -100;
            FillBuffer(1, 1, block);
            const auto error = aurelix::testing::CaughtError([&] { Analyze(1, 1); });
            ASSERT_TRUE(error);
            EXPECT_EQ(std::tuple(error->Number(), error->Source()), std::tuple(number, "Aurelix"));
            EXPECT_EQ(error->Description(), "Function Analyze in Aurelix\r\n" + State().ErrorText);
            EXPECT_TRUE(State().ErrorText.ends_with(platform::StandardDescription(number)));
            EXPECT_TRUE(State().AnalysisBusy);
            EXPECT_EQ(State().BlockRecords(1).Analyzed, 0);
            EXPECT_TRUE(control.keys.empty());
        });
    }
}

// Which buffer a call analyses. The ring holds blocks 11, 12, ... in buffers 1, 2, ...; loop
// method 1, so the key-up code names the buffer; the multimedia timer runs unless `timer` is
// 0. With it, one buffer is always buffer 1, two follow Backlog, three the block before the
// newest, four or more trail the capture by BacklogLimit and stop BacklogMin short of it.
TEST(Analyze, ChoosesTheBufferByTheTimerAndTheRingSize) {
    // Before the call: backlog, and analysed, a buffer done already or 0. After it: buffer,
    // the one analysed (0: none found, yellow; -1: nothing done at all), and the backlog.
    struct Case {
        const char* what;
        int32_t buffers, timer, backlog, analysed, block, index, buffer, backlogAfter;
    };
    const Case cases[] = {
        {"no timer: the named one", 4, 0, 0, 3, 99, 3, 3, 99},
        {"one buffer", 1, 17, 0, 1, 99, 3, 1, 99},
        {"two: the backlog's", 2, 17, 12, 0, 19, 0, 2, 12},
        {"two: analysed, retargets", 2, 17, 12, 2, 19, 0, 0, 18},
        {"three: the block before", 3, 17, 0, 0, 13, 0, 2, 12},
        {"three: analysed", 3, 17, 0, 2, 13, 0, 0, 12},
        {"three: in no buffer", 3, 17, 0, 0, 40, 0, 0, 39},
        {"four: first tick, limit behind", 4, 17, 0, 0, 14, 0, 1, 11},
        {"four: first tick, too early", 4, 17, 0, 0, 2, 0, -1, -1},
        {"four: the next", 4, 17, 11, 0, 19, 0, 2, 12},
        {"four: analysed", 4, 17, 11, 2, 19, 0, 0, 18},
        {"four: caught up", 4, 17, 18, 0, 19, 0, -1, 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(64, 1, c.buffers, 1);
            auto& state = State();
            for (int32_t i = 1; i <= c.buffers; ++i)
                FillBuffer(i, 10 + i, std::vector<int16_t>(64, int16_t(i)));
            if (c.analysed != 0)
                state.BlockRecords(c.analysed).Analyzed = -1;
            state.TimerId = uint32_t(c.timer);
            state.LoopMode = 1;
            state.Backlog = c.backlog;
            state.BacklogLimit = 3;
            state.BacklogMin = 2;
            state.BlocksDone = 19;
            state.Sequence(100) = 5;
            Analyze(c.block, c.index);
            EXPECT_EQ(state.Backlog, c.backlogAfter);
            EXPECT_EQ(control.keys,
                      c.buffer > 0 ? std::vector<int32_t>{256 + c.buffer} : std::vector<int32_t>{});
            const std::vector<int32_t> lamp = {c.buffer > 0 ? kRed : RGB(255, 255, 0)};
            EXPECT_EQ(control.colours, c.buffer < 0 ? std::vector<int32_t>{} : lamp);
            EXPECT_EQ(state.Sequence(99), c.buffer < 0 ? 0 : 5);
            EXPECT_EQ(state.Sequence(100), c.buffer < 0 ? 5 : c.buffer == 0 ? 0 : 10 + c.buffer);
            EXPECT_FALSE(state.AnalysisBusy);
        });
    }
}

// The description a procedure that passes `number` on with `context` produces.
std::string PassedOn(const char* context, int32_t number) {
    return std::string(context) + "\r\n" + std::string(platform::StandardDescription(number));
}

// A trigger table through its life: added (growing with empty records), aligned to whole
// bins, then listed once per bin at or above its level.
FRESH_TEST(Triggers, AddAlignToBinsAndListPerBinAtOrAboveTheLevel) {
    State().HostedByControl = true;
    engine::clsAurel engine;
    auto& table = engine.Triggers();
    EXPECT_EQ(engine.AddTrigger(3, 10.5 * kBinWidth, 12.5 * kBinWidth, 1.0f), 0);
    engine.AddTrigger(1, 1.0, 2.0, 0.0f);  // within the table: no growth
    EXPECT_EQ(ErrorTextOf([&] { engine.AddTrigger(-1, 1.0, 2.0, 1.0f); }),
              PassedOn("Function AddTrigger in clsAurel", err::kSubscriptOutOfRange));
    EXPECT_EQ(table.Upper(), 3);
    engine.AddTrigger(4, 20.5 * kBinWidth, 19.5 * kBinWidth, 0.0f);  // F1 > F2: never fires
    table(0).F1 = 5000.0;                                            // index 0 is never converted

    for (int pass = 0; pass < 2; ++pass)  // converting again keeps the bins
        InitTriggers(table, kRate, kN);
    // Record 1 is narrower than a bin.
    EXPECT_EQ(std::tuple(table(0).Bin1, table(1).Bin1, table(1).Bin2, table(3).Bin1, table(3).Bin2),
              std::tuple(0, 0, 0, 10, 12));
    EXPECT_DOUBLE_EQ(table(3).F1, 10 * kBinWidth);
    EXPECT_DOUBLE_EQ(table(3).F2, 13 * kBinWidth - 1e-10);
    EXPECT_EQ(ErrorTextOf([&] { InitTriggers(table, kRate, 0); }),
              PassedOn("Function InitTriggers in Aurelix", err::kDivisionByZero));

    auto& spectrum = State().SpectrumL;
    spectrum.ReDim(0, kN / 2 - 1);
    BoundedArray<int32_t> list;
    // Records 1 and 2 have level 0: bin 0 meets it.
    EXPECT_EQ(engine.GetTriggers(list), 2);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2}));
    spectrum(10) = 320.0f;
    spectrum(11) = 400.0f;
    spectrum(12) = spectrum(20) = 1000.0f;
    EXPECT_EQ(engine.GetTriggers(list), 5);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2, 3, 3, 3}));
    spectrum(10) = 319.9f;
    EXPECT_EQ(engine.GetTriggers(list), 4);

    // No hit at all gives the single entry 0; a band past the spectrum fails.
    table.ReDim(0, 1);
    table(1) = {0.0, 0.0, 100, 101, 320.0, -1};
    EXPECT_EQ(engine.GetTriggers(list), 0);
    EXPECT_EQ(Entries(list), std::vector<int32_t>{0});
    spectrum.ReDim(0, 1);  // what the analysis leaves without the FFT bit
    EXPECT_EQ(ErrorTextOf([&] { engine.GetTriggers(list); }),
              PassedOn("Function GetTriggers in clsAurel", err::kSubscriptOutOfRange));
}

// Pairs of (-bin, magnitude) after entry 0, for bins strictly above the level; never bin 0.
FRESH_TEST(GetPeaks, ListsBinsStrictlyAboveTheLevelOrFailsLeavingPeaksBusy) {
    State().ThresholdLevel = 160;
    BoundedArray<float> spectrum(0, 511), peaks(0, 40);
    spectrum(0) = 5000.0f;
    spectrum(10) = 300.5f;
    spectrum(11) = 161.0f;
    spectrum(12) = 160.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 2);
    EXPECT_EQ(Entries(peaks), (std::vector<float>{0.0f, -10.0f, 300.5f, -11.0f, 161.0f}));
    EXPECT_FALSE(State().PeaksBusy);
    spectrum(10) = spectrum(11) = 0.0f;
    EXPECT_EQ(GetPeaks(spectrum, peaks), 0);
    EXPECT_EQ(Entries(peaks), std::vector<float>{0.0f});

    EXPECT_EQ(ErrorTextOf([&] { GetPeaks(BoundedArray<float>(), peaks); }),
              "Function GetPeaks in Aurelix\r\nSubscript out of range");
    EXPECT_TRUE(State().PeaksBusy);
    GetPeaks(BoundedArray<float>(0, 1), peaks);
    EXPECT_FALSE(State().PeaksBusy);
}

TEST(MaxSample, LowersLastToTheBlockAndNeverGoesBelowZero) {
    BoundedArray<int16_t> block(0, 2);
    block(0) = -30000;
    block(1) = -2;
    EXPECT_EQ(MaxSample(block, 1024), 0);
    block(2) = 11;
    EXPECT_EQ(MaxSample(block, 1024), 11);
    EXPECT_EQ(MaxSample(block, 1), 0);
    EXPECT_EQ(MaxSample(block, -1), 0);
}

// A block of +-100 whose sign flips after each index of `flips` (a crossing at each).
BoundedArray<int16_t> SignFlips(int32_t n, const std::vector<int32_t>& flips) {
    BoundedArray<int16_t> block(0, n - 1);
    for (int32_t i = 0; i < n; ++i) {
        const auto before = std::lower_bound(flips.begin(), flips.end(), i) - flips.begin();
        block(i) = before % 2 == 0 ? 100 : -100;
    }
    return block;
}

// Crossings closer than half the mean spacing to a kept one are dropped, one at sample 0 is
// never kept, and counting stops after a thousand.
FRESH_TEST(ZeroCrossFrequency, DropsCloseCrossingsAndStopsAfterAThousand) {
    State().SampleRate = 11025;
    BoundedArray<int16_t> positions;
    // Mean spacing 30: 11 and 111, one sample after a kept crossing, are glitches.
    const double hz = ZeroCrossFrequency(SignFlips(200, {10, 11, 60, 110, 111, 160}), positions);
    EXPECT_EQ(Entries(positions, 1), (std::vector<int16_t>{10, 60, 110, 160}));
    EXPECT_DOUBLE_EQ(hz, 3.0 / (150.0 / 11025) / 2.0);

    State().SampleRate = 8000;
    EXPECT_EQ(ZeroCrossFrequency(SignFlips(100, {0, 50}), positions), 0.0);
    EXPECT_EQ(Entries(positions, 1), std::vector<int16_t>{50});
    // A sample at exactly 0 is a crossing with either neighbour.
    BoundedArray<int16_t> throughZero = SignFlips(100, {50});
    throughZero(50) = 0;
    ZeroCrossFrequency(throughZero, positions);
    EXPECT_EQ(Entries(positions, 1), (std::vector<int16_t>{49, 50}));
    // 1200 crossings at every sample, then slow ones that must not count.
    std::vector<int32_t> flips;
    for (int32_t i = 0; i < 4000; i += i < 1200 ? 1 : 100)
        flips.push_back(i);
    EXPECT_DOUBLE_EQ(ZeroCrossFrequency(SignFlips(4096, flips), positions), 4000.0);
    EXPECT_EQ(positions.Upper(), 999);
}

// Float rounding, relative to the block's largest magnitude.
constexpr double kTolerance = 4e-7;

// |X[k]| / n of bins 0..n/2-1 by FFTW in double precision.
std::vector<double> ReferenceSpectrum(const BoundedArray<int16_t>& samples) {
    const int32_t n = samples.Count();
    std::vector<double> input(samples.data(), samples.data() + n);
    std::vector<fftw_complex> output(size_t(n / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, input.data(), output.data(), FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
    std::vector<double> magnitudes(size_t(n / 2));
    for (size_t k = 0; k < magnitudes.size(); ++k)
        magnitudes[k] = std::hypot(output[k][0], output[k][1]) / n;
    return magnitudes;
}

// The largest difference over the bins, relative to the largest magnitude of `reference`
// (absolute when that is 0, so that zeros must give zeros exactly).
template <class Got, class Reference>
double RelativeDifference(const std::vector<Got>& got, const std::vector<Reference>& reference) {
    EXPECT_EQ(got.size(), reference.size());
    double largest = 0.0;
    double difference = 0.0;
    for (size_t k = 0; k < std::min(got.size(), reference.size()); ++k) {
        largest = std::max(largest, std::abs(double(reference[k])));
        difference = std::max(difference, std::abs(double(got[k]) - double(reference[k])));
    }
    return largest > 0.0 ? difference / largest : difference;
}

// The fast transform against the literal one (the oracle) and both against FFTW in double
// precision, for every length from 2 to 65536 and every kernel this processor runs.
class RealFftAccuracyTest : public ::testing::TestWithParam<int32_t> {};

// The oracle against double precision; then CalcSpectrum and every kernel this processor
// runs (not only the one CalcSpectrum picks) against both, on noise, a full-scale tone on a
// bin, one between bins and a constant. The constant is its magnitude in bin 0 exactly and
// nothing elsewhere, or a level-0 peak list would fill with rounding noise.
TEST_P(RealFftAccuracyTest, EveryTransformIsWithinFloatRoundingOfTheOthers) {
    const int32_t n = int32_t{1} << GetParam();
    InitBitReverse(n, 0);
    const BoundedArray<int32_t>& table = State().BitReverse;
    std::mt19937 generator{uint32_t(n)};
    std::uniform_int_distribution<int32_t> noise(-32768, 32767);
    const double bin = std::max(n / 8, 1);
    for (int32_t b = 0; b < 4; ++b) {
        SCOPED_TRACE("block " + std::to_string(b));
        BoundedArray<int16_t> samples(0, n - 1);
        for (int32_t i = 0; i < n; ++i) {
            const double phase = 2.0 * std::numbers::pi * i / n;
            const double values[] = {double(noise(generator)), 32767.0 * std::sin(bin * phase),
                                     30000.0 * std::sin((bin + 0.37) * phase + 0.3), -32768.0};
            samples(i) = int16_t(std::lround(values[b]));
        }
        const std::vector<float> literal =
            aurelix::testing::LiteralSpectrum(samples.data(), table.data(), n);
        const std::vector<double> reference = ReferenceSpectrum(samples);
        EXPECT_LE(RelativeDifference(literal, reference), kTolerance) << "literal";

        BoundedArray<float> spectrum(-3, 2 * n);  // re-dimensioned to 0..n/2-1
        CalcSpectrum(samples, spectrum, table, n);
        EXPECT_EQ(spectrum.Lower(), 0);
        std::vector<std::vector<float>> results = {
            {spectrum.data(), spectrum.data() + spectrum.Count()}};
        for (int32_t lanes : {1, 4, 8}) {
            if (RealFftPlan::Fits(n, lanes)) {
                results.emplace_back(size_t(n / 2));
                RealFftPlan(n, lanes).Run(samples.data(), results.back().data());
            }
        }
        std::vector<float> exact(size_t(n / 2), 0.0f);
        exact[0] = 32768.0f;
        for (size_t r = 0; r < results.size(); ++r) {
            SCOPED_TRACE(r == 0 ? "CalcSpectrum" : "kernel " + std::to_string(r));
            EXPECT_LE(RelativeDifference(results[r], literal), kTolerance);
            EXPECT_LE(RelativeDifference(results[r], reference), kTolerance);
            if (b == 3) {
                EXPECT_EQ(results[r], exact);
            }
        }
    }
}

// Log2 of the length.
INSTANTIATE_TEST_SUITE_P(Lengths, RealFftAccuracyTest, ::testing::Range(1, 17));

}  // namespace
}  // namespace aurelix::analysis
