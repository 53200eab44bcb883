#include <gtest/gtest.h>

#include "aurelix/control/aurel.h"
#include "aurelix/platform/windows/window.h"
#include "aurelix/state/engine_state.h"
#include "control/control_test_support.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace aurelix::control {
namespace {

using aurelix::testing::CaughtError;
using aurelix::testing::OnFreshThread;
using aurelix::testing::PlacedControl;
using platform::SimpleContainer;
using Log = std::vector<std::string>;

FRESH_TEST(AurelMailbox, WordsAreCaseInsensitiveAndTheTextIsClearedAfterwards) {
    PlacedControl f(true, false);
    state::State().WaveHandle = 0x1234;
    f.Mail("START");
    f.Mail("Closed");
    f.Mail("donerecording");
    f.Mail("start now please");  // extra tokens are ignored
    f.Mail("unknown words");
    f.Mail(" start");  // the word is the empty first token
    EXPECT_EQ(f.events.log,
              (Log{"WaveDeviceOpened", "WaveDeviceClosed", "DoneRecordig", "WaveDeviceOpened"}));
    EXPECT_EQ(f.events.openedHandles, (std::vector<int32_t>{0x1234, 0x1234}));
    EXPECT_EQ(f.aurel.txtMsg().Text(), "");
}

FRESH_TEST(AurelMailbox, AnalyzedConvertsItsNumbersAndRespectsTheNestingDepth) {
    PlacedControl f(true, false);
    auto& state = state::State();
    f.Mail("analyzed 7 3");
    f.Mail("analyzed 7.5 2.5");
    f.Mail("analyzed  4");  // empty token 1: block 0, buffer 4
    state.CallbackDepth = 2;
    f.Mail("analyzed 9 9");
    EXPECT_EQ(f.events.log, (Log{"Complete 7 3", "Complete 8 2", "Complete 0 4"}));
    EXPECT_EQ(f.events.completeTimes, (std::vector<double>{0.0, 0.0, 0.0}));
    EXPECT_EQ(state.NotifyCount, 4);
    EXPECT_EQ(CaughtError([&] { f.Mail("analyzed 1e10 1"); })->Number(), 6);
}

FRESH_TEST(AurelMailbox, ChangedSamplesAndNext) {
    PlacedControl f(true, false);
    auto& state = state::State();
    f.Mail("changedsamples 512");
    f.Mail("changedsamples x");
    f.Mail("next");
    EXPECT_EQ(state.NotifyCount, 0);  // no device
    state.Status = 3;
    state.BufferCount = 2;
    f.Mail("next");
    EXPECT_EQ(state.NotifyCount, 1);
    EXPECT_EQ(f.events.log, (Log{"ChangedSamples 512", "ChangedSamples 0"}));
}

FRESH_TEST(AurelMailbox, TriggersOffIsRaisedOncePerRunOfTriggerEvents) {
    PlacedControl f(true, false);
    auto& state = state::State();
    f.aurel.AddTrigger(1, 100, 200, 1.0f);  // level 320
    f.aurel.AddTrigger(2, 300, 300, 1.0f);
    auto& triggers = f.aurel.Engine().Triggers();
    triggers(1).Bin1 = 2;
    triggers(1).Bin2 = 3;
    triggers(2).Bin1 = 5;
    triggers(2).Bin2 = 5;
    state.SpectrumL.ReDim(0, 7);
    state.SpectrumL(2) = 320.0f;  // at the level counts
    state.SpectrumL(3) = 500.0f;
    state.SpectrumL(5) = 319.0f;

    f.Mail("triggersoff");  // nothing before any trigger event
    f.Mail("triggers");
    state.SpectrumL(5) = 400.0f;
    f.Mail("triggers");
    state.SpectrumL(2) = state.SpectrumL(3) = state.SpectrumL(5) = 0.0f;
    f.Mail("triggers");  // none active: behaves as triggersoff
    f.Mail("triggersoff");
    EXPECT_EQ(f.events.log, (Log{"FrequencyTrigger 2: 1 1", "FrequencyTrigger 3: 1 1 2",
                                 "FrequencyTriggersOff"}));
}

FRESH_TEST(AurelMailbox, KeyUpCarriesTheKindInTheHighByteAndTheBufferInTheLow) {
    PlacedControl f(true, false);
    auto& state = state::State();
    state.LastAnalyzedBlock = 41;
    state.BlocksDone = 44;
    state.LastBlockTime = 0.5;
    f.Key(0x0105);
    f.Key(0x0203);
    f.Key(0x0305);
    f.Key(256 + 256);  // buffer 256 carries into the kind: a MissedBuffer for buffer 0
    EXPECT_EQ(f.events.log, (Log{"Complete 41 5", "MissedBuffer 44 3", "MissedBuffer 44 0"}));
    EXPECT_EQ(f.events.completeTimes, (std::vector<double>{0.5}));
    // The stopwatch was created and stopped by the key-up.
    ASSERT_NE(state.Stopwatch, nullptr);
    EXPECT_NE(state.Stopwatch->StopCount, 0u);
}

}  // namespace
}  // namespace aurelix::control
