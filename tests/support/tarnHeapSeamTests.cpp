#include "support/tarnHeap.h"
#include "support/tarnHeapTesting.h"

#include <gtest/gtest.h>
#include <windows.h>

TEST(tarnHeapSeam, failsThePlannedAllocationAndCountsSupportBlocks) {
    HANDLE own = ::HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, own);
    {
        tarnHeapSeam seam;
        void* first = tarnHeapAlloc(0, 8);
        ASSERT_NE(nullptr, first);
        seam.failAllocation(3);
        void* second = tarnHeapReAlloc(0, nullptr, 8); // 1st from now
        void* elsewhere = tarnHeapAlloc(own, 0, 8);    // 2nd, not a support block
        ASSERT_NE(nullptr, second);
        ASSERT_NE(nullptr, elsewhere);
        EXPECT_TRUE(seam.failurePending());
        EXPECT_EQ(nullptr, tarnHeapReAlloc(0, second, 64)); // 3rd
        EXPECT_FALSE(seam.failurePending());
        EXPECT_EQ(2, seam.liveBlocks());
        second = tarnHeapReAlloc(0, second, 64);
        EXPECT_NE(nullptr, second) << "only the planned one fails";
        EXPECT_EQ(2, seam.liveBlocks());
        tarnHeapFree(own, 0, elsewhere);
        tarnHeapFree(0, first);
        tarnHeapFree(getStubHeap(), 0, second);
        EXPECT_EQ(0, seam.liveBlocks());
        seam.failAllocation(1);
    }
    void* afterwards = tarnHeapAlloc(0, 8);
    EXPECT_NE(nullptr, afterwards) << "the seam is off again";
    tarnHeapFree(0, afterwards);
    ::HeapDestroy(own);
}
