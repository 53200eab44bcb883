#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "aurelix/analysis/analyze.h"
#include "aurelix/analysis/bit_reverse.h"
#include "aurelix/analysis/export.h"
#include "aurelix/analysis/triggers.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/windows/label.h"
#include "aurelix/platform/windows/text_box.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::ErrorTextOf;
using aurelix::testing::OnFreshThread;
using platform::BoundedArray;
using platform::RGB;
using state::State;

constexpr int32_t kRate = 11025;
constexpr int32_t kN = 1024;
constexpr double kBinWidth = double(kRate) / kN;
constexpr int32_t kYellow = RGB(255, 255, 0);

// EngineState as the device opening leaves it for n samples a channel in a ring of
// `buffers` (records 1..buffers, all blocks 0 and not analysed).
void OpenForAnalysis(int32_t n, int16_t channels, int32_t buffers, int32_t flags) {
    auto& state = State();
    state.BlockSamples = n;
    state.SampleRate = kRate;
    state.ChannelCount = channels;
    state.BufferCount = buffers;
    state.AnalysisFlags = flags;
    state.BlockRecords.ReDim(1, buffers);
    for (int32_t i = 1; i <= buffers; ++i) {
        state.BlockRecords(i).Left.ReDim(0, n - 1);
        state.BlockRecords(i).Right.ReDim(0, n - 1);
    }
    state.WaveL.ReDim(0, n - 1);
    state.WaveR.ReDim(0, n - 1);
    state.Sequence.ReDim(1, 100);
    if (flags != 0)
        InitBitReverse(n, 0);
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

std::vector<int16_t> Samples(const BoundedArray<int16_t>& wave) {
    return {wave.data(), wave.data() + wave.Count()};
}

int16_t Largest(const std::vector<int16_t>& block) {
    return *std::max_element(block.begin(), block.end());
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
// amplitude at or above it; an amplitude of 0 gives 0 Hz either way.
TEST(Analyze, FrequencyNeedsTheAmplitudeAboveOrAtTheLevel) {
    const auto sine = Sine(1000.0, 10000.0);
    const std::tuple<int32_t, std::vector<int16_t>, int32_t, double> cases[] = {
        {3, std::vector<int16_t>(kN, 0), 0, 0.0},
        {3, sine, Largest(sine), 0.0},
        // Largest sample 0 is above a negative level, yet an amplitude of 0 gives 0 Hz.
        {3, Sine(1000.0, 10000.0, -20000.0), -320, 0.0},
        {33, sine, Largest(sine), 1000.0},
        {33, sine, Largest(sine) + 1, 0.0},
    };
    for (const auto& [flags, block, level, hz] : cases) {
        SCOPED_TRACE(::testing::Message() << "flags " << flags << ", level " << level);
        OnFreshThread([&] {
            OpenForAnalysis(kN, 1, 1, flags);
            State().ThresholdLevel = level;
            State().MaxFrequencyL = State().MaxFrequencyR = -100.0;  // must be overwritten
            FillBuffer(1, 1, block);
            Analyze(1, 1);
            EXPECT_EQ(State().MaxAmplitudeL, std::max<int16_t>(0, Largest(block)));
            EXPECT_NEAR(State().MaxFrequencyL, hz, 10.0);
            EXPECT_EQ(State().MaxFrequencyR, flags == 3 ? 0.0 : -100.0);  // mono
        });
    }
}

// One block analysed with one set of flags after another: 0 copies, marks and blinks only;
// 19 adds amplitudes, spectra and the reduced spectra; the amplitude and the spectrum bits
// also work alone. The spectrum export needs the spectrum bit.
FRESH_TEST(Analyze, EachFlagComputesItsOwnResults) {
    ControlSide control;
    OpenForAnalysis(kN, 2, 1, 0);
    auto& state = State();
    state.LoopMode = 1;
    const auto left = Sine(1000.0, 10000.0);
    const auto right = Sine(2000.0, 8000.0);
    FillBuffer(1, 41, left, right);
    state.MaxAmplitudeL = 123;
    state.MaxFrequencyL = 4.5;
    state.Sequence(100) = 7;
    Analyze(41, 1);
    EXPECT_EQ(Samples(state.WaveL), left);
    EXPECT_EQ(Samples(state.WaveR), right);
    EXPECT_EQ(state.Sequence(99), 7);
    EXPECT_EQ(state.Sequence(100), 41);
    EXPECT_EQ(state.BlockRecords(1).Analyzed, -1);
    EXPECT_EQ(state.LastAnalyzedBlock, 41);
    EXPECT_EQ(control.keys, std::vector<int32_t>{257});
    EXPECT_EQ(control.colours, std::vector<int32_t>{RGB(255, 0, 0)});
    EXPECT_FALSE(state.AnalysisBusy);
    EXPECT_EQ(state.MaxAmplitudeL, 123);
    EXPECT_EQ(state.MaxFrequencyL, 4.5);
    EXPECT_FALSE(state.SpectrumL.IsAllocated());

    state.AnalysisFlags = 19;
    InitBitReverse(kN, 0);
    Analyze(41, 1);
    EXPECT_EQ(state.MaxAmplitudeL, Largest(left));
    EXPECT_EQ(state.MaxAmplitudeR, Largest(right));
    EXPECT_DOUBLE_EQ(state.MaxFrequencyL, 93 * kBinWidth);
    EXPECT_DOUBLE_EQ(state.MaxFrequencyR, 186 * kBinWidth);
    EXPECT_EQ(state.SpectrumR.Upper(), kN / 2 - 1);
    // Threshold 0: the reduced spectra list every bin above 0, the carrier included.
    EXPECT_EQ(state.PeaksL(2 * 93 - 1), -93.0f);
    EXPECT_EQ(state.PeaksR(2 * 186), state.SpectrumR(186));
    ExportData();
    EXPECT_EQ(state.ExportSpectrum, state.SpectrumL);

    state.AnalysisFlags = 2;  // no amplitude: no frequency either
    state.SpectrumL = state.SpectrumR = BoundedArray<float>(0, kN - 1);
    Analyze(41, 1);
    EXPECT_GT(state.SpectrumL(93), 1000.0f);
    EXPECT_GT(state.SpectrumR(186), 1000.0f);
    EXPECT_EQ(state.MaxAmplitudeL + state.MaxAmplitudeR, 0);
    EXPECT_EQ(state.MaxFrequencyL + state.MaxFrequencyR, 0.0);

    // Amplitude only: the left spectrum is cleared, the rest keeps its values.
    const auto snapshot = state.ExportSpectrum;
    state.AnalysisFlags = 1;
    state.MaxFrequencyL = 1.5;
    state.MaxFrequencyR = 2.5;
    Analyze(41, 1);
    EXPECT_EQ(state.MaxAmplitudeR, Largest(right));
    EXPECT_EQ(state.SpectrumL, BoundedArray<float>(0, 1));
    EXPECT_GT(state.SpectrumR(186), 1000.0f);
    EXPECT_EQ(state.MaxFrequencyL, 1.5);
    EXPECT_EQ(state.MaxFrequencyR, 2.5);
    EXPECT_EQ(ErrorTextOf([&] { ExportData(); }), "Subscript out of range");
    EXPECT_EQ(state.ExportSpectrum, snapshot);
}

// The lamp blinks by loop mode, its phase advancing past a missing lamp; modes 1 and 3 also
// send the control the buffer and, with triggers set, whether the left amplitude is above
// the level.
TEST(Analyze, LampAndNotificationsFollowTheLoopMode) {
    for (const int32_t mode : {0, 1, 3, 2}) {
        SCOPED_TRACE(::testing::Message() << "loop mode " << mode);
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(kN, 1, 1, 1);
            State().LoopMode = mode;
            State().ThresholdLevel = 5000;
            for (int32_t call = 1; call <= 5; ++call) {
                const int16_t sample = call == 1 || call == 3 ? 5001 : 5000;
                FillBuffer(1, call, std::vector<int16_t>(kN, sample));
                State().TriggerCount = call == 1 ? 0 : 1;
                State().Lamp = call == 4 ? nullptr : &control.lamp;
                Analyze(call, 1);
            }
            const int32_t bright = mode == 0 ? RGB(0, 255, 0) : RGB(255, 0, 0);
            const int32_t dark = mode == 0 ? RGB(0, 175, 0) : RGB(175, 0, 0);
            const std::vector<int32_t> blinking = {bright, dark, bright, bright};
            EXPECT_EQ(control.colours, mode == 2 ? std::vector<int32_t>{} : blinking);
            const bool notifies = mode == 1 || mode == 3;
            const std::vector<std::string> words = {"triggersoff", "triggers", "triggersoff",
                                                    "triggersoff"};
            EXPECT_EQ(control.keys,
                      notifies ? std::vector<int32_t>(5, 257) : std::vector<int32_t>{});
            EXPECT_EQ(control.texts, notifies ? words : std::vector<std::string>{});
            EXPECT_EQ(State().LastAnalyzedBlock, notifies ? 5 : 0);
        });
    }
}

TEST(Analyze, FailureLeavesAnalysisBusyAndNamesTheProcedure) {
    // Bit 1 without an index table; a zero crossing beyond 16-bit positions.
    for (const auto& [flags, n, number] : {std::tuple{3, kN, 9}, std::tuple{33, 40000, 6}}) {
        SCOPED_TRACE(::testing::Message() << "flags " << flags);
        OnFreshThread([&] {
            ControlSide control;
            OpenForAnalysis(n, 1, 1, 0);
            auto& state = State();
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

// Which buffer a call analyses. The ring holds blocks 11, 12, ... in buffers 1, 2, ...; loop
// method 1, so the key-up code names the buffer; the multimedia timer runs unless `timer` is
// 0. With it, one buffer is always buffer 1, two follow Backlog, three the block before the
// newest, four or more trail the capture by BacklogLimit and stop BacklogMin short of it.
TEST(Analyze, ChoosesTheBufferByTheTimerAndTheRingSize) {
    struct Case {
        const char* what;
        int32_t buffers;
        uint32_t timer;
        int32_t backlog, analysed;  // before the call; analysed: a buffer done already or 0
        int32_t block, index;
        int32_t buffer;  // the one analysed; 0: none found (yellow), -1: nothing done at all
        int32_t backlogAfter;
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
            state.TimerId = c.timer;
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
            const std::vector<int32_t> lamp = {c.buffer > 0 ? RGB(255, 0, 0) : kYellow};
            EXPECT_EQ(control.colours, c.buffer < 0 ? std::vector<int32_t>{} : lamp);
            EXPECT_EQ(state.Sequence(99), c.buffer < 0 ? 0 : 5);
            EXPECT_EQ(state.Sequence(100), c.buffer < 0 ? 5 : c.buffer == 0 ? 0 : 10 + c.buffer);
            EXPECT_FALSE(state.AnalysisBusy);
        });
    }
}

FRESH_TEST(AnalysisTime, ReplacesBlockSpectrumAndTableWithTheEngineLength) {
    State().HostedByControl = true;
    engine::clsAurel engine;
    engine.Analysis(3);
    OpenForAnalysis(kN, 1, 1, 3);
    FillBuffer(1, 1, Sine(1000.0, 10000.0));
    Analyze(1, 1);
    State().BlockSamples = 512;  // as a later setter leaves it without Init
    EXPECT_GE(engine.AnalysisTime(3), 0.0);
    EXPECT_EQ(State().WaveL, BoundedArray<int16_t>(0, kN));
    EXPECT_EQ(State().SpectrumL, BoundedArray<float>(0, kN / 2 - 1));
    EXPECT_EQ(State().BlockSamples, kN);
    EXPECT_EQ(State().BitReverseSize, kN);
    engine.AnalysisTime(0);  // no cycle: the spectrum is only re-dimensioned
    EXPECT_EQ(State().SpectrumL, BoundedArray<float>(0, kN));
}

std::vector<int32_t> Entries(const BoundedArray<int32_t>& list) {
    return {list.data(), list.data() + list.Count()};
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
    ASSERT_EQ(table.Upper(), 3);
    EXPECT_EQ(table(3).Level, 320.0);
    EXPECT_EQ(table(3).Active, -1);
    EXPECT_EQ(table(2).Active, 0);
    engine.AddTrigger(1, 1.0, 2.0, 0.0f);  // within the table: no growth
    EXPECT_EQ(table.Upper(), 3);
    EXPECT_EQ(table(3).F1, 10.5 * kBinWidth);
    EXPECT_EQ(ErrorTextOf([&] { engine.AddTrigger(-1, 1.0, 2.0, 1.0f); }),
              PassedOn("Function AddTrigger in clsAurel", platform::err::kSubscriptOutOfRange));
    EXPECT_EQ(table.Upper(), 3);
    engine.AddTrigger(4, 20.5 * kBinWidth, 19.5 * kBinWidth, 0.0f);  // F1 > F2: never fires
    table(0).F1 = 5000.0;                                            // index 0 is never converted

    InitTriggers(table, kRate, kN);
    EXPECT_EQ(table(0).Bin1, 0);
    EXPECT_EQ(table(3).Bin1, 10);
    EXPECT_EQ(table(3).Bin2, 12);
    EXPECT_DOUBLE_EQ(table(3).F1, 10 * kBinWidth);
    EXPECT_DOUBLE_EQ(table(3).F2, 13 * kBinWidth - 1e-10);
    EXPECT_EQ(table(1).Bin1, 0);  // narrower than a bin
    EXPECT_EQ(table(1).Bin2, 0);
    InitTriggers(table, kRate, kN);  // converting again keeps the bins
    EXPECT_EQ(table(3).Bin1, 10);
    EXPECT_EQ(table(3).Bin2, 12);
    EXPECT_EQ(ErrorTextOf([&] { InitTriggers(table, kRate, 0); }),
              PassedOn("Function InitTriggers in Aurelix", platform::err::kDivisionByZero));

    State().SpectrumL.ReDim(0, kN / 2 - 1);
    BoundedArray<int32_t> list;
    // Records 1 and 2 have level 0: bin 0 meets it.
    EXPECT_EQ(engine.GetTriggers(list), 2);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2}));
    State().SpectrumL(10) = 320.0f;
    State().SpectrumL(11) = 400.0f;
    State().SpectrumL(12) = 1000.0f;
    State().SpectrumL(20) = 1000.0f;
    EXPECT_EQ(engine.GetTriggers(list), 5);
    EXPECT_EQ(Entries(list), (std::vector<int32_t>{1, 2, 3, 3, 3}));
    State().SpectrumL(10) = 319.9f;
    EXPECT_EQ(engine.GetTriggers(list), 4);

    // No hit at all gives the single entry 0; a band past the spectrum fails.
    table.ReDim(0, 1);
    table(1) = {0.0, 0.0, 100, 101, 320.0, -1};
    EXPECT_EQ(engine.GetTriggers(list), 0);
    EXPECT_EQ(Entries(list), std::vector<int32_t>{0});
    State().SpectrumL.ReDim(0, 1);  // what the analysis leaves without the FFT bit
    EXPECT_EQ(ErrorTextOf([&] { engine.GetTriggers(list); }),
              PassedOn("Function GetTriggers in clsAurel", platform::err::kSubscriptOutOfRange));
}

}  // namespace
}  // namespace aurelix::analysis
