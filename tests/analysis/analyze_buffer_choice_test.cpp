#include <gtest/gtest.h>

#include <vector>

#include "analysis_setup.h"
#include "aurelix/analysis/analyze.h"
#include "aurelix/state/engine_state.h"
#include "support/fresh_thread.h"

namespace aurelix::analysis {
namespace {

using aurelix::testing::OnFreshThread;
using state::State;
using testing::ControlSide;

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

}  // namespace
}  // namespace aurelix::analysis
