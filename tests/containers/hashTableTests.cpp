#include "containers/hashString.h"
#include "containers/hashTable.h"

#include "tests/testing/heapFailures.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

using keyList = std::vector<std::uint64_t>;

void* valueFor(std::uint64_t key) {
    return reinterpret_cast<void*>(key * 3 + 1);
}

void insertAll(hashTable& table, const keyList& keys) {
    for (std::uint64_t key : keys)
        table.SetAt(key, valueFor(key));
}

keyList iterationOrder(const hashTable& table) {
    keyList keys;
    for (POSITION position = table.GetStartPosition(); position != nullptr;) {
        std::uint64_t key = 0;
        void* value = nullptr;
        table.GetNextAssoc(position, key, value);
        EXPECT_EQ(valueFor(key), value);
        keys.push_back(key);
    }
    return keys;
}

} // namespace

TEST(hashString, wideAndNarrowForms) {
    EXPECT_EQ(0u, hashString(L""));
    EXPECT_EQ(3299u, hashString(L"ab"));
    EXPECT_EQ(0xFFFFu, hashString(L"\xFFFF")) << "code units are unsigned";
    EXPECT_EQ(3299u, hashString("ab"));
    EXPECT_EQ(0xFFFFFFFFu, hashString("\xFF")) << "bytes are signed";
    EXPECT_EQ(0xFFFFFFFFu * 33 + 0x61, hashString("\xFF"
                                                  "a"));
}

TEST(hashTable, bucketPlacementAndIterationOrder) {
    const std::uint64_t upper = 0x100000000ull;
    const struct {
        keyList inserted;
        keyList visited;
    } cases[] = {
        {{0x20, 0x10}, {0x10, 0x20}},   // buckets 1 and 2
        {{0x10, 0x120}, {0x120, 0x10}}, // both bucket 1, newest first
        {{0x20, 0x10, 0x120, 0x0}, {0x0, 0x120, 0x10, 0x20}},
        {{0x10, upper | 0x10}, {upper | 0x10, 0x10}}, // differ in the upper half only
        {{0x20, 0x110}, {0x110, 0x20}},               // 0x110 wraps round to bucket 0
    };
    for (const auto& c : cases) {
        hashTable table(10);
        insertAll(table, c.inserted);
        EXPECT_EQ(static_cast<int>(c.inserted.size()), table.GetCount());
        EXPECT_EQ(c.visited, iterationOrder(table));
        for (std::uint64_t key : c.inserted) {
            void* value = nullptr;
            EXPECT_TRUE(table.Lookup(key, value));
            EXPECT_EQ(valueFor(key), value);
        }
    }
}

TEST(hashTable, absentKeysAndStartPositions) {
    hashTable table(10);
    void* untouched = &table;
    EXPECT_FALSE(table.Lookup(0x10, untouched)) << "no buckets yet";
    EXPECT_EQ(&table, untouched);
    EXPECT_FALSE(table.RemoveKey(0x10));
    EXPECT_EQ(nullptr, table.GetStartPosition());

    table.SetAt(0x10, valueFor(0x10));
    EXPECT_EQ(reinterpret_cast<POSITION>(~std::uintptr_t(0)), table.GetStartPosition());
    EXPECT_EQ(nullptr, table.GetValueAt(0x120)) << "same bucket, other key";
    EXPECT_EQ(nullptr, table.GetValueAt(0x100000010ull));
    EXPECT_FALSE(table.RemoveKey(0x120));
    EXPECT_EQ(nullptr, table[0x30]) << "a new key starts with a null value";
    EXPECT_EQ(2, table.GetCount());
}

TEST(hashTable, removalUnlinksAndTheLastKeyReleasesEverything) {
    tarnHeapSeam seam;
    {
        hashTable table(2);
        insertAll(table, {0x10, 0x120, 0x230, 0x20}); // three in bucket 1, two blocks
        EXPECT_EQ(3, seam.liveBlocks()) << "bucket array and two blocks";
        EXPECT_TRUE(table.RemoveKey(0x120));
        EXPECT_FALSE(table.RemoveKey(0x120));
        EXPECT_EQ((keyList{0x230, 0x10, 0x20}), iterationOrder(table));

        table.SetAt(0x40, valueFor(0x40));
        EXPECT_EQ(3, seam.liveBlocks()) << "a freed entry is reused";

        for (std::uint64_t key : {0x230ull, 0x10ull, 0x20ull})
            EXPECT_TRUE(table.RemoveKey(key));
        EXPECT_EQ(3, seam.liveBlocks());
        EXPECT_TRUE(table.RemoveKey(0x40));
        EXPECT_TRUE(table.IsEmpty());
        EXPECT_EQ(0, seam.liveBlocks()) << "the last key takes buckets and blocks along";
        EXPECT_EQ(nullptr, table.GetStartPosition());

        insertAll(table, {0x10});
        EXPECT_EQ(valueFor(0x10), table.GetValueAt(0x10)) << "usable again";
    }
    EXPECT_EQ(0, seam.liveBlocks());
}

TEST(hashTable, initHashTableSizesAndMovesHeldEntries) {
    tarnHeapSeam seam;
    hashTable table(10);
    table.InitHashTable(31, FALSE);
    EXPECT_EQ(31u, table.GetHashTableSize());
    EXPECT_EQ(0, seam.liveBlocks()) << "buckets wait for the first insertion";

    table.InitHashTable(0, TRUE);
    EXPECT_EQ(1u, table.GetHashTableSize());
    insertAll(table, {0x10, 0x20, 0x120});
    EXPECT_EQ((keyList{0x120, 0x20, 0x10}), iterationOrder(table));

    table.InitHashTable(5, FALSE);
    EXPECT_EQ(5u, table.GetHashTableSize());
    EXPECT_EQ((keyList{0x10, 0x20, 0x120}), iterationOrder(table)); // buckets 1, 2 and 3
    EXPECT_EQ(3, table.GetCount());

    seam.failAllocation(1);
    table.InitHashTable(7, TRUE);
    EXPECT_EQ(5u, table.GetHashTableSize()) << "no new buckets, nothing changed";
    EXPECT_EQ((keyList{0x10, 0x20, 0x120}), iterationOrder(table));

    table.RemoveAll();
    EXPECT_EQ(0, seam.liveBlocks());
    EXPECT_EQ(5u, table.GetHashTableSize());
}

TEST(hashTable, failedAllocationsInsertNothingAndLeakNothing) {
    const keyList keys = {0x10, 0x20, 0x120, 0x30, 0x40};
    failEachAllocationInTurn([&] {
        auto* table = new hashTable(2);
        if (table == nullptr)
            return;
        keyList inserted;
        for (std::uint64_t key : keys) {
            const int before = table->GetCount();
            (*table)[key] = valueFor(key);
            if (table->GetCount() == before + 1)
                inserted.push_back(key);
            if (key == 0x120)
                table->InitHashTable(7, TRUE);
        }
        for (std::uint64_t key : keys) {
            const bool wasInserted =
                std::find(inserted.begin(), inserted.end(), key) != inserted.end();
            EXPECT_EQ(wasInserted ? valueFor(key) : nullptr, table->GetValueAt(key));
            EXPECT_EQ(wasInserted, table->RemoveKey(key) != FALSE);
        }
        EXPECT_TRUE(table->IsEmpty());
        delete table;
    });
}
