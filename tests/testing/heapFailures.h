#pragma once
// Runs a script once per support-heap allocation it makes, failing the 1st allocation, then the
// 2nd, and so on, until a run completes without reaching the planned failure. Every run must
// give back all the support-heap blocks it took.
#include "support/tarnHeapTesting.h"

#include <gtest/gtest.h>

template <class SCRIPT> void failEachAllocationInTurn(SCRIPT script, unsigned limit = 500) {
    for (unsigned n = 1; n <= limit; ++n) {
        SCOPED_TRACE(testing::Message() << "failing allocation " << n);
        tarnHeapSeam seam;
        seam.failAllocation(n);
        script();
        EXPECT_EQ(0, seam.liveBlocks()) << "blocks leaked";
        if (seam.failurePending() || testing::Test::HasFailure())
            return;
    }
    ADD_FAILURE() << "still allocating after " << limit << " failed allocations";
}
