#include "containers/CVector.h"

#include "tests/testing/heapFailures.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace {

// Shows the fields that the public operations do not report.
struct vectorProbe : CVector<std::uint32_t> {
    int capacityNow() const { return capacity; }
    void forceCount(unsigned n) { count = n; }
};

} // namespace

TEST(CVector, growthIsLinearFromTheInitialSize) {
    const struct {
        int initialSize, growBy;
        unsigned adds;
        int capacity;
    } rows[] = {{0, 0, 3, 3}, {-5, -3, 3, 3}, {4, 0, 5, 5}, {0, 10, 2, 11}, {2, 3, 6, 8}};
    for (const auto& row : rows) {
        vectorProbe vector;
        vector.SetInitialSize(row.initialSize); // 0 and negative sizes are ignored
        vector.SetGrowBy(row.growBy);
        for (std::uint32_t i = 0; i < row.adds; ++i)
            ASSERT_EQ(4, vector.Add(100 + i));
        EXPECT_EQ(row.capacity, vector.capacityNow()) << row.initialSize << " " << row.growBy;
        EXPECT_EQ(100 + row.adds - 1, vector.GetAt(row.adds - 1));
        EXPECT_EQ(0u, vector.GetAt(row.adds));
    }
}

TEST(CVector, reserveRowsAndSizesBeyondTheFields) {
    const struct {
        int adds, growBy; // after an initial size of 4
        unsigned n;
        BOOL setCount, result;
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
        for (int i = 0; i < row.adds; ++i)
            vector.Add(7);
        vector.SetGrowBy(row.growBy);
        tarnHeapSeam seam;
        seam.failAllocation(row.result ? 0 : 1);
        EXPECT_EQ(row.result, vector.Reserve(row.n, row.setCount)) << row.n;
        EXPECT_EQ(!row.result, seam.failurePending()) << "a refusal never asks the heap";
        EXPECT_EQ(row.capacity, vector.capacityNow()) << row.n;
        EXPECT_EQ(row.count, vector.GetCount()) << row.n;
    }
    vectorProbe vector;
    ASSERT_EQ(4, vector.Add(1));
    vector.SetGrowBy(INT_MAX);
    EXPECT_EQ(7, vector.Add(2)) << "capacity 1 + INT_MAX does not fit";
    EXPECT_EQ(1u, vector.GetCount());
    EXPECT_EQ(1, vector.capacityNow());
}

TEST(CVector, setAtStaysInsideTheCapacity) {
    vectorProbe vector;
    ASSERT_TRUE(vector.Reserve(8, TRUE));
    for (unsigned i = 0; i < 8; ++i)
        vector.SetAt(i, 100 + i);
    vector.forceCount(2);
    EXPECT_FALSE(vector.SetAt(8, 1));
    EXPECT_TRUE(vector.SetAt(5, 55));
    EXPECT_EQ(6u, vector.GetCount());
    EXPECT_EQ(104u, vector.GetAt(4)) << "elements between keep their values";
}

TEST(CVector, failedAllocationsLeaveTheVectorAsItWas) {
    failEachAllocationInTurn([] {
        vectorProbe vector;
        std::vector<std::uint32_t> added;
        for (std::uint32_t i = 0; i < 6; ++i) {
            const int capacity = vector.capacityNow();
            const int result = vector.Add(i);
            if (result == 4)
                added.push_back(i);
            EXPECT_TRUE(result == 4 || (result == 7 && capacity == vector.capacityNow()));
        }
        const BOOL reserved = vector.Reserve(20, TRUE);
        EXPECT_EQ(reserved ? 20u : added.size(), vector.GetCount());
        for (std::uint32_t i = 0; i < added.size(); ++i)
            EXPECT_EQ(added[i], vector.GetAt(i));
    });
}
