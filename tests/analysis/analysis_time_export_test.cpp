#include <gtest/gtest.h>

#include "analysis_setup.h"
#include "aurelix/analysis/analyze.h"
#include "aurelix/analysis/export.h"
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

}  // namespace
}  // namespace aurelix::analysis
