#include "aurelix/analysis/bit_reverse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/state/engine_state.h"
#include "support/caught_error.h"
#include "support/fresh_thread.h"

namespace {

using aurelix::testing::ErrorNumberOf;

using aurelix::analysis::InitBitReverse;
using aurelix::analysis::ReverseBits;
using aurelix::platform::RuntimeError;
using aurelix::state::State;
using aurelix::testing::OnFreshThread;
namespace err = aurelix::platform::err;

std::vector<int32_t> TableEntries() {
    const auto& table = State().BitReverse;
    std::vector<int32_t> entries;
    for (int32_t i = table.Lower(); i <= table.Upper(); ++i) {
        entries.push_back(table(i));
    }
    return entries;
}

TEST(ReverseBitsTest, ReversesTheLowestBitsAndDropsTheRest) {
    EXPECT_EQ(ReverseBits(1, 10), 512);
    EXPECT_EQ(ReverseBits(6, 3), 3);
    EXPECT_EQ(ReverseBits(5, 3), 5);
    EXPECT_EQ(ReverseBits(13, 2), 2);
    EXPECT_EQ(ReverseBits(1, 31), 1 << 30);
}

TEST(ReverseBitsTest, NoBitsOrAResultBeyond32BitsIsAnOverflow) {
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(0, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(5, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { ReverseBits(1, 32); }), err::kOverflow);
}

FRESH_TEST(InitBitReverseTest, BuildsThePermutationForTheLength) {
    EXPECT_EQ(State().BitReverseSize, 0);
    InitBitReverse(8, 0);
    EXPECT_EQ(State().BitReverseSize, 8);
    EXPECT_EQ(State().BitReverse.Lower(), 0);
    EXPECT_EQ(TableEntries(), (std::vector<int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));

    InitBitReverse(8, 2);  // explicit bits: only the lowest two are reversed
    EXPECT_EQ(TableEntries(), (std::vector<int32_t>{0, 2, 1, 3, 0, 2, 1, 3}));

    InitBitReverse(1000, 0);  // bits = round(log2 1000) = 10
    EXPECT_EQ(State().BitReverseSize, 1000);
    EXPECT_EQ(State().BitReverse.Upper(), 999);
    EXPECT_EQ(State().BitReverse(1), 512);
    EXPECT_EQ(State().BitReverse(999), ReverseBits(999, 10));
}

FRESH_TEST(InitBitReverseTest, FailuresKeepTheOldTable) {
    InitBitReverse(4, 0);
    const std::vector<int32_t> before = TableEntries();
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(1, 0); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, 256); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(16, -1); }), err::kOverflow);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(0, 0); }), err::kInvalidCall);
    EXPECT_EQ(ErrorNumberOf([] { InitBitReverse(-8, 3); }), err::kSubscriptOutOfRange);
    EXPECT_EQ(TableEntries(), before);
    EXPECT_EQ(State().BitReverseSize, 4);
}

}  // namespace
