#include "aurelix/analysis/analyze.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysis_setup.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::ErrorNumberOf;

using aurelix::testing::OnFreshThread;
using platform::RGB;
using state::State;
using testing::ControlSide;
using testing::FillBuffer;
using testing::OpenForAnalysis;
using testing::Sine;

constexpr int32_t kRate = 11025;
constexpr int32_t kN = 1024;
constexpr double kBinWidth = double(kRate) / kN;

int16_t Largest(const std::vector<int16_t>& block) {
    return *std::max_element(block.begin(), block.end());
}

FRESH_TEST(Analyze, SineGivesItsStrongestBinInEachChannel) {
    ControlSide control;
    OpenForAnalysis(kN, kRate, 2, 1, 19);
    state::State().LoopMode = 1;
    const auto left = Sine(kN, 1000.0, kRate, 10000.0);
    const auto right = Sine(kN, 2000.0, kRate, 8000.0);
    FillBuffer(1, 41, left, right);
    Analyze(41, 1);

    auto& state = state::State();
    EXPECT_EQ(state.MaxAmplitudeL, Largest(left));
    EXPECT_EQ(state.MaxAmplitudeR, Largest(right));
    EXPECT_DOUBLE_EQ(state.MaxFrequencyL, 93 * kBinWidth);
    EXPECT_DOUBLE_EQ(state.MaxFrequencyR, 186 * kBinWidth);
    EXPECT_EQ(state.SpectrumR.Upper(), kN / 2 - 1);
    EXPECT_EQ(std::vector<int16_t>(state.WaveR.data(), state.WaveR.data() + kN), right);
    // Threshold 0: the reduced spectra list every bin above 0, the carrier included.
    EXPECT_EQ(state.PeaksL(2 * 93 - 1), -93.0f);
    EXPECT_EQ(state.PeaksR(2 * 186), state.SpectrumR(186));
    EXPECT_EQ(state.Sequence(100), 41);
    EXPECT_EQ(state.BlockRecords(1).Analyzed, -1);
    EXPECT_EQ(state.LastAnalyzedBlock, 41);
    EXPECT_EQ(control.keys, std::vector<int32_t>{257});
    EXPECT_FALSE(state.AnalysisBusy);
}

TEST(Analyze, FrequenciesAreZeroUnlessTheAmplitudeIsAboveTheLevel) {
    const auto sine = Sine(kN, 1000.0, kRate, 10000.0);
    const std::vector<std::pair<std::vector<int16_t>, int32_t>> blocks = {
        {std::vector<int16_t>(kN, 0), 0},  // silence
        {sine, Largest(sine)},             // peaking exactly at the level
        // Largest sample 0 is above a negative level, yet an amplitude of 0 gives 0 Hz.
        {Sine(kN, 1000.0, kRate, 10000.0, -20000.0), -320},
    };
    for (const auto& [block, level] : blocks) {
        OnFreshThread([&] {
            OpenForAnalysis(kN, kRate, 1, 1, 3);
            state::State().ThresholdLevel = level;
            state::State().MaxFrequencyL = state::State().MaxFrequencyR = 5.0;
            FillBuffer(1, 1, block);
            Analyze(1, 1);
            EXPECT_EQ(state::State().MaxAmplitudeL, std::max<int16_t>(0, Largest(block)));
            EXPECT_EQ(state::State().MaxFrequencyL, 0.0) << level;
            EXPECT_EQ(state::State().MaxFrequencyR, 0.0) << level;
        });
    }
}

FRESH_TEST(Analyze, ZeroCrossingsStillCountAtExactlyTheLevel) {
    OpenForAnalysis(kN, kRate, 1, 1, 33);
    const auto sine = Sine(kN, 1000.0, kRate, 10000.0);
    FillBuffer(1, 1, sine);
    state::State().ThresholdLevel = Largest(sine);
    Analyze(1, 1);
    EXPECT_NEAR(state::State().MaxFrequencyL, 1000.0, 10.0);
    state::State().ThresholdLevel += 1;
    Analyze(1, 1);
    EXPECT_EQ(state::State().MaxFrequencyL, 0.0);
}

FRESH_TEST(Analyze, AnalysisZeroCopiesMarksAndBlinksButComputesNothing) {
    ControlSide control;
    OpenForAnalysis(kN, kRate, 1, 1, 0);
    auto& state = state::State();
    state.MaxAmplitudeL = 123;
    state.MaxFrequencyL = 4.5;
    const auto spectrum = state.SpectrumL;
    const auto block = Sine(kN, 1000.0, kRate, 10000.0);
    FillBuffer(1, 8, block);
    state.Sequence(100) = 7;
    Analyze(8, 1);
    EXPECT_EQ(std::vector<int16_t>(state.WaveL.data(), state.WaveL.data() + kN), block);
    EXPECT_EQ(state.Sequence(99), 7);
    EXPECT_EQ(state.Sequence(100), 8);
    EXPECT_EQ(state.BlockRecords(1).Analyzed, -1);
    EXPECT_EQ(control.colours, std::vector<int32_t>{RGB(0, 255, 0)});
    EXPECT_EQ(state.MaxAmplitudeL, 123);
    EXPECT_EQ(state.MaxFrequencyL, 4.5);
    EXPECT_EQ(state.SpectrumL, spectrum);
}

FRESH_TEST(Analyze, SpectrumBitWithoutAmplitudeBitAndTheOtherWayRound) {
    OpenForAnalysis(kN, kRate, 2, 1, 2);
    auto& state = state::State();
    const auto sine = Sine(kN, 1000.0, kRate, 10000.0);
    FillBuffer(1, 1, sine, sine);
    state.MaxAmplitudeL = state.MaxAmplitudeR = 9;
    Analyze(1, 1);
    EXPECT_GT(state.SpectrumL(93), 1000.0f);
    EXPECT_GT(state.SpectrumR(93), 1000.0f);
    EXPECT_EQ(state.MaxAmplitudeL + state.MaxAmplitudeR, 0);
    EXPECT_EQ(state.MaxFrequencyL + state.MaxFrequencyR, 0.0);

    // Amplitude only: the left spectrum is cleared, the rest keeps its values.
    state.AnalysisFlags = 1;
    state.MaxFrequencyL = 1.5;
    state.MaxFrequencyR = 2.5;
    Analyze(1, 1);
    EXPECT_EQ(state.SpectrumL, platform::BoundedArray<float>(0, 1));
    EXPECT_GT(state.SpectrumR(93), 1000.0f);
    EXPECT_EQ(state.MaxFrequencyL, 1.5);
    EXPECT_EQ(state.MaxFrequencyR, 2.5);
}

TEST(Analyze, LampBlinksByLoopModeAndMayBeMissing) {
    for (const int32_t mode : {0, 1, 3, 2}) {
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(kN, kRate, 1, 1, 1);
            state::State().LoopMode = mode;
            for (int32_t call = 1; call <= 5; ++call) {
                // Without a lamp the phase still advances.
                state::State().Lamp = call == 4 ? nullptr : &control.lamp;
                Analyze(call, 1);
            }
            const int32_t bright = mode == 0 ? RGB(0, 255, 0) : RGB(255, 0, 0);
            const int32_t dark = mode == 0 ? RGB(0, 175, 0) : RGB(175, 0, 0);
            const std::vector<int32_t> blinking = {bright, dark, bright, bright};
            const bool notifies = mode == 1 || mode == 3;
            EXPECT_EQ(control.colours, mode == 2 ? std::vector<int32_t>{} : blinking) << mode;
            EXPECT_EQ(control.keys.size(), notifies ? 5u : 0u) << mode;
            EXPECT_EQ(state::State().LastAnalyzedBlock, notifies ? 5 : 0) << mode;
        });
    }
}

FRESH_TEST(Analyze, TriggerWordFollowsTheLeftAmplitudeAgainstTheLevel) {
    ControlSide control;
    OpenForAnalysis(kN, kRate, 1, 2, 1);
    state::State().LoopMode = 3;
    state::State().ThresholdLevel = 5000;
    FillBuffer(1, 1, std::vector<int16_t>(kN, 5001));
    FillBuffer(2, 2, std::vector<int16_t>(kN, 5000));
    Analyze(1, 1);
    Analyze(2, 2);
    EXPECT_EQ(control.keys, (std::vector<int32_t>{257, 258}));
    EXPECT_TRUE(control.texts.empty());  // empty trigger table

    state::State().TriggerCount = 1;
    Analyze(1, 1);
    Analyze(2, 2);
    Analyze(2, 2);
    EXPECT_EQ(control.texts, (std::vector<std::string>{"triggers", "triggersoff", "triggersoff"}));
}

TEST(Analyze, FailureLeavesAnalysisBusyAndNamesTheProcedure) {
    // Bit 1 without an index table; a zero crossing beyond 16-bit positions.
    for (const auto& [flags, n, number] : {std::tuple{3, kN, 9}, std::tuple{33, 40000, 6}}) {
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(n, kRate, 1, 1, 0);
            auto& state = state::State();
            state.AnalysisFlags = flags;
            state.LoopMode = 1;
            std::vector<int16_t> block(size_t(n), 100);
            block.back() = -100;
            FillBuffer(1, 1, block);
            const auto error = aurelix::testing::CaughtError([&] { Analyze(1, 1); });
            ASSERT_TRUE(error);
            EXPECT_EQ(error->Number(), number);
            EXPECT_EQ(error->Source(), "Aurelix");
            EXPECT_EQ(error->Description(), "Function Analyze in Aurelix\r\n" + state.ErrorText);
            EXPECT_TRUE(state.ErrorText.ends_with(platform::StandardDescription(number)));
            EXPECT_TRUE(state.AnalysisBusy);
            EXPECT_EQ(state.BlockRecords(1).Analyzed, 0);
            EXPECT_TRUE(control.keys.empty());
        });
    }
}

}  // namespace
}  // namespace aurelix::analysis
