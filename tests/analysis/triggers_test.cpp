#include "aurelix/analysis/triggers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis_setup.h"
#include "aurelix/analysis/analyze.h"
#include "aurelix/engine/cls_aurel.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::ErrorTextOf;

using aurelix::testing::OnFreshThread;
using state::State;

constexpr double kBinWidth = 11025.0 / 1024;

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
