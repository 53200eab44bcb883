#include "aurelix/platform/runtime/bounded_array.h"

#include <gtest/gtest.h>

#include <string>
#include "support/caught_error.h"

namespace aurelix::platform {
namespace {

using aurelix::testing::ErrorNumberOf;

TEST(BoundedArray, UnallocatedHasNoBoundsAndNoElements) {
    BoundedArray<int16_t> array;
    EXPECT_FALSE(array.IsAllocated());
    EXPECT_EQ(array.Count(), 0);
    EXPECT_EQ(ErrorNumberOf([&] { array.Upper(); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array.Lower(); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);
}

TEST(BoundedArray, ExplicitBoundsAreCheckedOnEveryAccess) {
    BoundedArray<int32_t> array(1, 100);
    EXPECT_EQ(array.Lower(), 1);
    EXPECT_EQ(array.Upper(), 100);
    array(1) = 7;
    array(100) = 8;
    EXPECT_EQ(array(1), 7);
    EXPECT_EQ(array.data()[99], 8);
    EXPECT_EQ(ErrorNumberOf([&] { array(0); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array(101); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { array.Range(1, 101); }), 9);
    EXPECT_EQ(array.Range(50, 100), array.data() + 49);
    EXPECT_EQ(ErrorNumberOf([] { BoundedArray<int>(5, 3); }), 9);
}

TEST(BoundedArray, ReDimDiscardsAndPreserveKeepsOverlappingIndexes) {
    BoundedArray<std::string> array(0, 3);
    for (int i = 0; i <= 3; ++i) {
        array(i) = std::to_string(i);
    }
    array.ReDimPreserve(0, 1);
    ASSERT_EQ(array.Upper(), 1);
    EXPECT_EQ(array(1), "1");
    array.ReDimPreserve(-1, 4);
    EXPECT_EQ(array(-1), "");
    EXPECT_EQ(array(0), "0");
    EXPECT_EQ(array(1), "1");
    EXPECT_EQ(array(4), "");
    array.ReDim(0, 1);
    EXPECT_EQ(array(0), "");
    array.Erase();
    EXPECT_FALSE(array.IsAllocated());
}

TEST(BoundedArray2D, ColumnsAreContiguousAndIndexesChecked) {
    BoundedArray2D<int16_t> ring;
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 1); }), 9);
    ring.ReDim(0, 3, 1, 2);  // two buffers of four samples
    ring(0, 2) = 5;
    ring(3, 1) = 6;
    EXPECT_EQ(ring.Address(0, 2) - ring.Address(0, 1), 4);
    EXPECT_EQ(ring.data()[4], 5);
    EXPECT_EQ(ring.data()[3], 6);
    EXPECT_EQ(ring.Upper(1), 3);
    EXPECT_EQ(ring.Lower(2), 1);
    EXPECT_EQ(ErrorNumberOf([&] { ring(4, 1); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 3); }), 9);
    EXPECT_EQ(ErrorNumberOf([&] { ring(0, 0); }), 9);
}

}  // namespace
}  // namespace aurelix::platform
