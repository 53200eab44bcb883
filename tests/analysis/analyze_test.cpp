#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysis_setup.h"
#include "aurelix/analysis/analyze.h"
#include "aurelix/analysis/export.h"
#include "aurelix/analysis/triggers.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::ErrorTextOf;
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

constexpr int32_t kYellow = 65535;

// A ring of `buffers` holding blocks first, first + 1, ... in buffers 1, 2, ..., with the
// multimedia timer running and loop method 1, so the key-up code names the buffer chosen.
void OpenRing(int32_t buffers, int32_t first) {
    testing::OpenForAnalysis(64, 8000, 1, buffers, 1);
    for (int32_t i = 1; i <= buffers; ++i) {
        testing::FillBuffer(i, first + i - 1, std::vector<int16_t>(64, int16_t(i)));
    }
    state::State().TimerId = 17;
    state::State().LoopMode = 1;
}

TEST(AnalyzeBufferChoice, NamedBufferWithoutTimerOrWithOneBuffer) {
    for (const int32_t buffers : {4, 1}) {
        OnFreshThread([&] {
            ControlSide control;
            OpenRing(buffers, 10);
            if (buffers == 4)
                state::State().TimerId = 0;
            const int32_t expected = buffers == 4 ? 3 : 1;
            state::State().BlockRecords(expected).Analyzed = -1;  // not consulted when named
            Analyze(99, 3);
            EXPECT_EQ(state::State().Backlog, 99);
            EXPECT_EQ(control.keys, std::vector<int32_t>{256 + expected});
            EXPECT_EQ(state::State().Sequence(100), 10 + expected - 1);
        });
    }
}

FRESH_TEST(AnalyzeBufferChoice, TwoBuffersAlternateBetweenTargetAndRetarget) {
    ControlSide control;
    OpenRing(2, 20);
    state::State().Backlog = 21;
    Analyze(21, 0);
    EXPECT_EQ(control.keys, std::vector<int32_t>{258});
    EXPECT_EQ(state::State().Backlog, 21);
    // Block 21 is analysed now: the next tick finds nothing and retargets.
    Analyze(21, 0);
    EXPECT_EQ(control.keys.size(), 1u);
    EXPECT_EQ(state::State().Backlog, 20);
    Analyze(21, 0);
    EXPECT_EQ(control.keys.back(), 257);
}

FRESH_TEST(AnalyzeBufferChoice, ThreeBuffersTargetTheBlockBeforeTheNewest) {
    ControlSide control;
    OpenRing(3, 30);
    Analyze(32, 0);
    EXPECT_EQ(state::State().Backlog, 31);
    EXPECT_EQ(control.keys, std::vector<int32_t>{258});
    Analyze(40, 0);  // a block no buffer holds
    EXPECT_EQ(control.colours.back(), kYellow);
    EXPECT_EQ(state::State().Backlog, 39);
}

FRESH_TEST(AnalyzeBufferChoice, FourOrMoreTrailTheCaptureAndStopWhenCaughtUp) {
    ControlSide control;
    OpenRing(4, 1);
    auto& state = state::State();
    state.BacklogLimit = 5;
    state.BacklogMin = 2;
    state.BlocksDone = 4;
    state.Sequence(100) = 3;
    Analyze(4, 0);  // first tick: BacklogLimit behind, not a block yet
    EXPECT_EQ(state.Backlog, -1);
    EXPECT_EQ(state.Sequence(100), 3);
    state.Backlog = 0;
    state.BacklogLimit = 3;
    Analyze(4, 0);
    EXPECT_EQ(state.Backlog, 1);
    Analyze(4, 0);
    EXPECT_EQ(state.Backlog, 2);
    EXPECT_EQ(control.keys, (std::vector<int32_t>{257, 258}));

    // BlocksDone - Backlog = 1 < BacklogMin: nothing changes but the busy flag.
    state.BlocksDone = 3;
    const auto sequence = state.Sequence;
    const auto colours = control.colours;
    Analyze(4, 0);
    EXPECT_EQ(state.Backlog, 2);
    EXPECT_EQ(state.Sequence, sequence);
    EXPECT_EQ(control.colours, colours);
    EXPECT_EQ(control.keys.size(), 2u);
    EXPECT_FALSE(state.AnalysisBusy);
}

TEST(AnalyzeBufferChoice, AnAnalysedSearchResultCountsAsNoBuffer) {
    for (const int32_t buffers : {2, 3, 4}) {
        OnFreshThread([&] {
            ControlSide control;
            OpenRing(buffers, 1);
            state::State().Backlog = 1;  // two buffers: kept; three: block - 1; four: + 1
            state::State().BacklogMin = 1;
            state::State().BlocksDone = 9;
            const int32_t block = buffers == 3 ? 2 : 9;
            state::State().BlockRecords(buffers == 4 ? 2 : 1).Analyzed = -1;
            state::State().Sequence(100) = 5;
            Analyze(block, 0);
            EXPECT_EQ(control.colours, std::vector<int32_t>{kYellow}) << buffers;
            EXPECT_EQ(state::State().Sequence(99), 5);
            EXPECT_EQ(state::State().Sequence(100), 0);
            EXPECT_EQ(state::State().Backlog, block - 1);
            EXPECT_TRUE(control.keys.empty());
            EXPECT_FALSE(state::State().AnalysisBusy);
        });
    }
}

bool AllZero(const auto& array) {
    for (int32_t i = array.Lower(); i <= array.Upper(); ++i) {
        if (array(i) != 0)
            return false;
    }
    return true;
}

TEST(AnalysisTime, ReplacesBlockSpectrumAndTableWithTheEngineLength) {
    for (const int32_t cycles : {0, 3}) {
        OnFreshThread([&] {
            state::State().HostedByControl = true;
            engine::clsAurel engine;
            engine.Analysis(3);
            testing::OpenForAnalysis(1024, 11025, 1, 1, 3);
            testing::FillBuffer(1, 1, testing::Sine(1024, 1000.0, 11025, 10000.0));
            Analyze(1, 1);
            state::State().BlockSamples = 512;  // as a later setter leaves it without Init

            EXPECT_GE(engine.AnalysisTime(cycles), 0.0);
            EXPECT_EQ(state::State().WaveL.Upper(), 1024);
            EXPECT_TRUE(AllZero(state::State().WaveL));
            EXPECT_EQ(state::State().SpectrumL.Upper(), cycles == 0 ? 1024 : 511);
            EXPECT_TRUE(AllZero(state::State().SpectrumL));
            EXPECT_EQ(state::State().BlockSamples, 1024);
            EXPECT_EQ(state::State().BitReverseSize, 1024);
        });
    }
}

FRESH_TEST(ExportData, SnapshotsTheLeftSpectrumOrFailsWithoutTheFftBit) {
    testing::OpenForAnalysis(1024, 11025, 1, 1, 3);
    testing::FillBuffer(1, 1, testing::Sine(1024, 1000.0, 11025, 10000.0));
    Analyze(1, 1);
    ExportData();
    EXPECT_EQ(state::State().ExportSpectrum.Upper(), 511);
    EXPECT_EQ(state::State().ExportSpectrum, state::State().SpectrumL);

    const auto snapshot = state::State().ExportSpectrum;
    state::State().AnalysisFlags = 1;
    Analyze(1, 1);  // leaves SpectrumL with bins 0 and 1 only
    EXPECT_EQ(ErrorTextOf([&] { ExportData(); }), "Subscript out of range");
    EXPECT_EQ(state::State().ExportSpectrum, snapshot);
}

std::vector<int32_t> Entries(const platform::BoundedArray<int32_t>& list) {
    return {list.data(), list.data() + list.Count()};
}

// The description a procedure that passes `number` on with `context` produces.
std::string PassedOn(const char* context, int32_t number) {
    return std::string(context) + "\r\n" + std::string(platform::StandardDescription(number));
}

FRESH_TEST(InitTriggers, AlignsBandsToWholeBins) {
    platform::BoundedArray<state::TriggerRecord> table(0, 2);
    table(0).F1 = 5000.0;  // index 0 is never converted
    table(1).F1 = 1000.0;
    table(1).F2 = 1010.0;
    table(2).F1 = table(2).F2 = 3.0;  // narrower than a bin
    InitTriggers(table, 11025, 1024);
    EXPECT_EQ(table(0).Bin1, 0);
    EXPECT_EQ(table(1).Bin1, 92);
    EXPECT_EQ(table(1).Bin2, 93);
    EXPECT_DOUBLE_EQ(table(1).F1, 92 * kBinWidth);
    EXPECT_DOUBLE_EQ(table(1).F2, 94 * kBinWidth - 1e-10);
    EXPECT_EQ(table(2).Bin1, 0);
    EXPECT_EQ(table(2).Bin2, 0);
    // Converting again keeps the bins.
    InitTriggers(table, 11025, 1024);
    EXPECT_EQ(table(1).Bin1, 92);
    EXPECT_EQ(table(1).Bin2, 93);

    EXPECT_EQ(ErrorTextOf([&] { InitTriggers(table, 11025, 0); }),
              PassedOn("Function InitTriggers in Aurelix", platform::err::kDivisionByZero));
}

FRESH_TEST(AddTrigger, GrowsWithZeroRecordsAndRefusesNegativeIndexes) {
    state::State().HostedByControl = true;
    engine::clsAurel engine;
    EXPECT_EQ(engine.AddTrigger(3, 100.0, 200.0, 0.5f), 0);
    const auto& table = engine.Triggers();
    ASSERT_EQ(table.Upper(), 3);
    EXPECT_EQ(table(3).Level, 160.0);
    EXPECT_EQ(table(3).Active, -1);
    EXPECT_EQ(table(1).F2, 0.0);
    EXPECT_EQ(table(2).Active, 0);
    engine.AddTrigger(1, 1.0, 2.0, 1.0f);
    EXPECT_EQ(table.Upper(), 3);
    EXPECT_EQ(table(3).F1, 100.0);

    EXPECT_EQ(ErrorTextOf([&] { engine.AddTrigger(-1, 1.0, 2.0, 1.0f); }),
              PassedOn("Function AddTrigger in clsAurel", platform::err::kSubscriptOutOfRange));
    EXPECT_EQ(table.Upper(), 3);
}

FRESH_TEST(GetTriggers, ListsATriggerOncePerBinAtOrAboveItsLevelOrFails) {
    state::State().HostedByControl = true;
    engine::clsAurel engine;
    engine.AddTrigger(3, 10.5 * kBinWidth, 12.5 * kBinWidth, 1.0f);  // bins 10..12, level 320
    engine.AddTrigger(4, 20.5 * kBinWidth, 19.5 * kBinWidth, 0.0f);  // F1 > F2: never fires
    InitTriggers(engine.Triggers(), 11025, 1024);
    state::State().SpectrumL.ReDim(0, 511);
    platform::BoundedArray<int32_t> list;
    // Records 1 and 2 were created empty: bin 0 meets their level 0.
    EXPECT_EQ(engine.GetTriggers(list), 2);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2}));

    state::State().SpectrumL(10) = 320.0f;
    state::State().SpectrumL(11) = 400.0f;
    state::State().SpectrumL(12) = 1000.0f;
    state::State().SpectrumL(20) = 1000.0f;
    EXPECT_EQ(engine.GetTriggers(list), 5);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2, 3, 3, 3}));
    state::State().SpectrumL(10) = 319.9f;
    EXPECT_EQ(engine.GetTriggers(list), 4);

    // No hit at all gives the single entry 0; a band past the spectrum fails.
    engine.Triggers().ReDim(0, 1);
    engine.Triggers()(1) = {0.0, 0.0, 100, 101, 320.0, -1};
    EXPECT_EQ(engine.GetTriggers(list), 0);
    EXPECT_EQ(Entries(list), std::vector<int32_t>{0});
    state::State().SpectrumL.ReDim(0, 1);  // what the analysis leaves without the FFT bit
    EXPECT_EQ(ErrorTextOf([&] { engine.GetTriggers(list); }),
              PassedOn("Function GetTriggers in clsAurel", platform::err::kSubscriptOutOfRange));
}

// The round trip of one block: the analysis writes "triggers", the control asks the engine.
FRESH_TEST(GetTriggers, AnswersTheTriggersMessageOfAnAnalysedBlock) {
    state::State().HostedByControl = true;
    engine::clsAurel engine;
    engine.AddTrigger(2, 900.0, 1100.0, 10.0f);
    state::State().TriggerCount = engine.Triggers().Upper();
    InitTriggers(engine.Triggers(), 11025, 1024);
    testing::ControlSide control;
    std::vector<int32_t> fired;
    control.onText = [&](const std::string& word) {
        platform::BoundedArray<int32_t> list;
        if (word == "triggers" && engine.GetTriggers(list) > 0)
            fired = Entries(list);
    };
    testing::OpenForAnalysis(1024, 11025, 1, 1, 3);
    state::State().LoopMode = 1;
    state::State().ThresholdLevel = 320;
    testing::FillBuffer(1, 1, testing::Sine(1024, 1000.0, 11025, 10000.0));
    Analyze(1, 1);
    EXPECT_EQ(control.keys, std::vector<int32_t>{257});
    EXPECT_EQ(control.texts, std::vector<std::string>{"triggers"});
    // Only bin 93 of 83..102 carries the 1 kHz tone above 3200; record 1 is an empty one.
    EXPECT_EQ(fired, (std::vector<int32_t>{1, 2}));
}

}  // namespace
}  // namespace aurelix::analysis
