#include "containers/CVector.h"

#include "tests/testing/heapFailures.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace {

// Shows the fields that the public operations do not report.
struct vectorProbe : CVector<std::uint32_t> {
    int capacityNow() const { return capacity; }
    int growByNow() const { return growBy; }
    int initialSizeNow() const { return initialSize; }
    void forceCount(unsigned n) { count = n; }
};

} // namespace

TEST(CVector, growthIsLinearFromTheInitialSize) {
    const struct {
        int initialSize;
        int growBy;
        unsigned adds;
        int capacity;
    } rows[] = {
        {0, 0, 3, 3},   // defaults, 0 ignored
        {-5, -3, 3, 3}, // negative ignored like 0
        {4, 0, 5, 5},   {0, 10, 2, 11}, {2, 3, 6, 8},
    };
    for (const auto& row : rows) {
        vectorProbe vector;
        vector.SetInitialSize(row.initialSize);
        vector.SetGrowBy(row.growBy);
        EXPECT_EQ(0, vector.capacityNow()) << "no storage before the first element";
        for (std::uint32_t i = 0; i < row.adds; ++i)
            ASSERT_EQ(4, vector.Add(100 + i));
        EXPECT_EQ(row.adds, vector.GetCount());
        EXPECT_EQ(row.capacity, vector.capacityNow()) << row.initialSize << " " << row.growBy;
        for (std::uint32_t i = 0; i < row.adds; ++i)
            EXPECT_EQ(100 + i, vector.GetAt(i));
        EXPECT_EQ(0u, vector.GetAt(row.adds));
        EXPECT_EQ(0u, vector.GetAt(UINT_MAX));
    }
}

TEST(CVector, reserveRows) {
    const struct {
        int initialAdds; // with initial size 4
        int growBy;
        unsigned n;
        BOOL setCount;
        BOOL result;
        int capacity;
        unsigned count;
    } rows[] = {
        {0, 1, 10, TRUE, TRUE, 10, 10},       {0, 1, 0, TRUE, FALSE, 0, 0},
        {1, 100, 4, FALSE, TRUE, 104, 1},     {1, 100, 2, TRUE, TRUE, 4, 2},
        {1, 100, 200, TRUE, TRUE, 200, 200},  {1, 1, 0x80000000u, TRUE, FALSE, 4, 1},
        {1, 1, UINT_MAX, FALSE, FALSE, 4, 1},
    };
    for (const auto& row : rows) {
        vectorProbe vector;
        vector.SetInitialSize(4);
        for (int i = 0; i < row.initialAdds; ++i)
            vector.Add(7);
        vector.SetGrowBy(row.growBy);
        tarnHeapSeam seam;
        seam.failAllocation(row.result ? 0 : 1);
        EXPECT_EQ(row.result, vector.Reserve(row.n, row.setCount)) << row.n;
        EXPECT_EQ(row.capacity, vector.capacityNow()) << row.n;
        EXPECT_EQ(row.count, vector.GetCount()) << row.n;
        EXPECT_EQ(!row.result, seam.failurePending()) << "a refusal never asks the heap";
        if (row.initialAdds > 0) {
            EXPECT_EQ(7u, vector.GetAt(0)) << "elements survive the growth";
        }
    }
}

TEST(CVector, setAtStaysInsideTheCapacity) {
    vectorProbe vector;
    ASSERT_TRUE(vector.Reserve(4, FALSE));
    EXPECT_FALSE(vector.SetAt(4, 1)) << "capacity 4";
    EXPECT_EQ(0u, vector.GetCount());

    ASSERT_TRUE(vector.Reserve(8, TRUE));
    for (unsigned i = 0; i < 8; ++i)
        vector.SetAt(i, 100 + i);
    vector.forceCount(2);
    EXPECT_TRUE(vector.SetAt(5, 55));
    EXPECT_EQ(6u, vector.GetCount());
    EXPECT_EQ(102u, vector.GetAt(2));
    EXPECT_EQ(104u, vector.GetAt(4));
    EXPECT_EQ(55u, vector.GetAt(5));
    EXPECT_TRUE(vector.SetAt(1, 11));
    EXPECT_EQ(6u, vector.GetCount()) << "storing below the count keeps it";
}

TEST(CVector, growthBeyondTheCapacityFieldIsRefused) {
    vectorProbe vector;
    ASSERT_EQ(4, vector.Add(1));
    vector.SetGrowBy(INT_MAX);
    tarnHeapSeam seam;
    seam.failAllocation(1);
    EXPECT_EQ(7, vector.Add(2));
    EXPECT_TRUE(seam.failurePending()) << "refused before asking the heap";
    EXPECT_EQ(1u, vector.GetCount());
    EXPECT_EQ(1, vector.capacityNow());
    EXPECT_EQ(1u, vector.GetAt(0));
}

TEST(CVector, removeAllAndInitKeepOrResetTheSizes) {
    tarnHeapSeam seam;
    vectorProbe vector;
    vector.SetInitialSize(5);
    vector.SetGrowBy(9);
    vector.Add(1);
    vector.RemoveAll();
    EXPECT_EQ(0, seam.liveBlocks());
    EXPECT_EQ(0u, vector.GetCount());
    EXPECT_EQ(0, vector.capacityNow());
    EXPECT_EQ(0u, vector.GetAt(0));
    EXPECT_EQ(5, vector.initialSizeNow());
    EXPECT_EQ(9, vector.growByNow());
    vector.Init();
    EXPECT_EQ(1, vector.initialSizeNow());
    EXPECT_EQ(1, vector.growByNow());
}

TEST(CVector, failedAllocationsLeaveTheVectorAsItWas) {
    failEachAllocationInTurn([] {
        vectorProbe vector;
        std::vector<std::uint32_t> added;
        for (std::uint32_t i = 0; i < 6; ++i) {
            const int capacity = vector.capacityNow();
            const int result = vector.Add(i);
            if (result == 4) {
                added.push_back(i);
            } else {
                EXPECT_EQ(7, result);
                EXPECT_EQ(capacity, vector.capacityNow());
            }
            EXPECT_EQ(added.size(), vector.GetCount());
        }
        const BOOL reserved = vector.Reserve(20, TRUE);
        EXPECT_EQ(reserved ? 20u : added.size(), vector.GetCount());
        for (std::uint32_t i = 0; i < added.size(); ++i)
            EXPECT_EQ(added[i], vector.GetAt(i));
    });
}
