#include "containers/hashMap.h"
#include "support/stubString.h"

#include "tests/testing/heapFailures.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using textMap = hashMap<stubString, const wchar_t*, stubString, const wchar_t*>;
using numberMap = hashMap<stubString, const wchar_t*, unsigned int, unsigned int>;
using names = std::vector<std::wstring>;

std::wstring valueFor(const std::wstring& key) {
    return L"<" + key + L">";
}

names iterationOrder(const textMap& map) {
    names keys;
    for (POSITION position = map.GetStartPosition(); position != nullptr;) {
        stubString key;
        stubString value;
        map.GetNextAssoc(position, key, value);
        EXPECT_STREQ(valueFor(static_cast<const wchar_t*>(key)).c_str(), value);
        keys.emplace_back(key);
    }
    return keys;
}

void insertAll(textMap& map, const names& keys) {
    for (const std::wstring& key : keys)
        map.SetAt(key.c_str(), valueFor(key).c_str());
}

} // namespace

TEST(hashMap, keysAreExactAndIterateByBucketNewestFirst) {
    // Buckets of 17: "" 0, "a" and "r" 12, "b" 13, "Key" and "KEY" 10, "key" 8.
    const struct {
        names inserted;
        names visited;
        names absent;
    } cases[] = {
        {{L"a", L"r"}, {L"r", L"a"}, {L"A", L"ar"}},
        {{L"b", L"r", L"", L"a"}, {L"", L"a", L"r", L"b"}, {L" "}},
        {{L"Key", L"key", L"KEY"}, {L"key", L"KEY", L"Key"}, {L"kEY", L"Key "}},
    };
    for (const auto& c : cases) {
        textMap map(10);
        insertAll(map, c.inserted);
        EXPECT_EQ(static_cast<int>(c.inserted.size()), map.GetCount());
        EXPECT_EQ(c.visited, iterationOrder(map));
        for (const std::wstring& key : c.inserted) {
            stubString value;
            EXPECT_TRUE(map.Lookup(key.c_str(), value));
            EXPECT_STREQ(valueFor(key).c_str(), value);
        }
        for (const std::wstring& key : c.absent) {
            stubString value(L"untouched");
            EXPECT_FALSE(map.Lookup(key.c_str(), value));
            EXPECT_STREQ(L"untouched", value);
        }
    }
}

TEST(hashMap, numberValuesReplaceAndStartAtZero) {
    numberMap map(10);
    EXPECT_EQ(nullptr, map.GetStartPosition());
    EXPECT_TRUE(map.IsEmpty());
    EXPECT_EQ(0u, map[L"new"]);
    map.SetAt(L"a", 7);
    map.SetAt(L"r", 9);
    map.SetAt(L"a", 8);
    EXPECT_EQ(3, map.GetCount());

    POSITION position = map.GetStartPosition();
    EXPECT_EQ(reinterpret_cast<POSITION>(~std::uintptr_t(0)), position);
    std::vector<std::pair<std::wstring, unsigned>> visited;
    while (position != nullptr) {
        stubString key;
        unsigned value = 0;
        map.GetNextAssoc(position, key, value);
        visited.emplace_back(static_cast<const wchar_t*>(key), value);
    }
    const std::vector<std::pair<std::wstring, unsigned>> expected = {
        {L"new", 0}, {L"r", 9}, {L"a", 8}}; // "new" is in bucket 9
    EXPECT_EQ(expected, visited);
}

TEST(hashMap, initHashTableMovesEntriesAndRemoveAllReleasesThem) {
    tarnHeapSeam seam;
    textMap map(2);
    const names keys = {L"a", L"r", L"b", L"", L"Key"};
    insertAll(map, keys);
    map.InitHashTable(5, FALSE);
    EXPECT_EQ(5u, map.GetHashTableSize());
    names visited = iterationOrder(map);
    std::sort(visited.begin(), visited.end());
    names sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, visited) << "each entry once, none lost to a stale bucket index";

    map.InitHashTable(0, TRUE);
    EXPECT_EQ(1u, map.GetHashTableSize());
    map.InitHashTable(17, TRUE);
    EXPECT_EQ((names{L"", L"Key", L"r", L"a", L"b"}), iterationOrder(map));

    map.RemoveAll();
    EXPECT_EQ(0, seam.liveBlocks());
    EXPECT_EQ(nullptr, map.GetStartPosition());
    insertAll(map, {L"again"});
    EXPECT_EQ(1, map.GetCount());
}

TEST(hashMap, failedAllocationsInsertNothingAndLeakNothing) {
    const names keys = {L"a", L"r", L"b", L"Key", L"KEY", L"name"};
    failEachAllocationInTurn([&] {
        auto* map = new numberMap(2);
        if (map == nullptr)
            return;
        names inserted;
        for (unsigned i = 0; i < keys.size(); ++i) {
            const int before = map->GetCount();
            map->SetAt(keys[i].c_str(), i + 1);
            if (map->GetCount() == before + 1)
                inserted.push_back(keys[i]);
            if (i == 2)
                map->InitHashTable(5, TRUE);
        }
        for (unsigned i = 0; i < keys.size(); ++i) {
            unsigned value = 0;
            const bool wasInserted =
                std::find(inserted.begin(), inserted.end(), keys[i]) != inserted.end();
            EXPECT_EQ(wasInserted, map->Lookup(keys[i].c_str(), value) != FALSE);
            EXPECT_EQ(wasInserted ? i + 1 : 0, value);
        }
        delete map;
    });
}
