#include "support/tarnHeap.h"
#include "support/tarnHeapTesting.h"

#include <gtest/gtest.h>

TEST(tarnHeapSeam, failsOnlyThePlannedAllocationAndCountsSupportBlocks) {
    tarnHeapSeam seam;
    seam.failAllocation(2);
    void* block = tarnHeapAlloc(0, 8);
    EXPECT_TRUE(seam.failurePending());
    EXPECT_EQ(nullptr, tarnHeapReAlloc(0, block, 64)) << "the second allocation from now";
    EXPECT_FALSE(seam.failurePending());
    EXPECT_EQ(1, seam.liveBlocks());
    block = tarnHeapReAlloc(0, block, 64);
    EXPECT_NE(nullptr, block);
    tarnHeapFree(0, block);
    EXPECT_EQ(0, seam.liveBlocks());
}
