#include "containers/hashString.h"
#include "containers/hashTable.h"

#include "tests/testing/heapFailures.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace {

using keyList = std::vector<std::uint64_t>;

void* valueFor(std::uint64_t key) {
    return reinterpret_cast<void*>(key * 3 + 1);
}

// Inserts the keys, then returns them in iteration order.
keyList insertAndVisit(hashTable& table, const keyList& keys) {
    for (std::uint64_t key : keys)
        table.SetAt(key, valueFor(key));
    keyList visited;
    for (POSITION position = table.GetStartPosition(); position != nullptr;) {
        std::uint64_t key = 0;
        void* value = nullptr;
        table.GetNextAssoc(position, key, value);
        EXPECT_EQ(valueFor(key), value);
        visited.push_back(key);
    }
    keyList ranged;
    for (const auto& [key, value] : std::as_const(table)) {
        EXPECT_EQ(valueFor(key), value);
        ranged.push_back(key);
    }
    EXPECT_EQ(visited, ranged) << "range-for visits in GetNextAssoc's order";
    return visited;
}

} // namespace

TEST(hashString, wideAndNarrowForms) {
    EXPECT_EQ(3299u, hashString(L"ab"));
    EXPECT_EQ(0xFFFFu, hashString(L"\xFFFF")) << "code units are unsigned";
    EXPECT_EQ(3299u, hashString("ab"));
    EXPECT_EQ(0xFFFFFFFFu, hashString("\xFF")) << "bytes are signed";
}

TEST(hashTable, bucketPlacementAndIterationOrder) {
    const std::uint64_t upper = 0x100000000ull;
    const struct {
        keyList inserted, visited;
    } cases[] = {
        {{0x20, 0x10}, {0x10, 0x20}},   // buckets 1 and 2
        {{0x10, 0x120}, {0x120, 0x10}}, // both bucket 1, newest first
        {{0x20, 0x10, 0x120, 0x0}, {0x0, 0x120, 0x10, 0x20}},
        {{0x10, upper | 0x10}, {upper | 0x10, 0x10}}, // differ in the upper half only
        {{0x20, 0x110}, {0x110, 0x20}},               // 0x110 wraps round to bucket 0
    };
    for (const auto& c : cases) {
        hashTable table(10);
        EXPECT_EQ(nullptr, table.GetStartPosition());
        EXPECT_EQ(c.visited, insertAndVisit(table, c.inserted));
        EXPECT_EQ(nullptr, table.GetValueAt(0x230)) << "bucket 1, never inserted";
        EXPECT_EQ(reinterpret_cast<POSITION>(~std::uintptr_t(0)), table.GetStartPosition());
    }
}

TEST(hashTable, removalUnlinksReusesEntriesAndTheLastKeyReleasesAll) {
    tarnHeapSeam seam;
    hashTable table(2);
    table.InitHashTable(0, FALSE); // taken as one bucket
    insertAndVisit(table, {0x10, 0x120, 0x230, 0x20});
    EXPECT_EQ(3, seam.liveBlocks()) << "bucket array and two blocks";
    EXPECT_TRUE(table.RemoveKey(0x120));
    EXPECT_FALSE(table.RemoveKey(0x120));
    EXPECT_EQ((keyList{0x40, 0x20, 0x230, 0x10}), insertAndVisit(table, {0x40}));
    EXPECT_EQ(3, seam.liveBlocks()) << "the freed entry was reused";
    for (std::uint64_t key : {0x230ull, 0x10ull, 0x20ull, 0x40ull})
        EXPECT_TRUE(table.RemoveKey(key));
    EXPECT_EQ(0, seam.liveBlocks()) << "the last key takes buckets and blocks along";
}

TEST(hashTable, failedAllocationsInsertNothingAndLeakNothing) {
    failEachAllocationInTurn([] {
        auto* table = new hashTable(2);
        if (table == nullptr)
            return;
        keyList inserted;
        for (std::uint64_t key : {0x10ULL, 0x20ULL, 0x120ULL, 0x30ULL, 0x40ULL}) {
            const int before = table->GetCount();
            (*table)[key] = valueFor(key);
            if (table->GetCount() > before)
                inserted.push_back(key);
            else
                EXPECT_EQ(nullptr, table->GetValueAt(key));
            if (key == 0x120)
                table->InitHashTable(7, TRUE); // moves what is held, or changes nothing
        }
        for (std::uint64_t key : inserted) {
            EXPECT_EQ(valueFor(key), table->GetValueAt(key));
            EXPECT_TRUE(table->RemoveKey(key));
        }
        EXPECT_TRUE(table->IsEmpty());
        delete table;
    });
}
