#include "containers/hashMap.h"
#include "support/stubString.h"

#include "tests/testing/heapFailures.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using textMap = hashMap<stubString, const wchar_t*, stubString, const wchar_t*>;
using names = std::vector<std::wstring>;

std::wstring valueFor(const std::wstring& key) {
    return L"<" + key + L">";
}

// Inserts the keys, then returns them in iteration order.
names insertAndVisit(textMap& map, const names& keys) {
    for (const std::wstring& key : keys)
        map.SetAt(key.c_str(), valueFor(key).c_str());
    names visited;
    for (POSITION position = map.GetStartPosition(); position != nullptr;) {
        stubString key, value;
        map.GetNextAssoc(position, key, value);
        EXPECT_STREQ(valueFor(static_cast<const wchar_t*>(key)).c_str(), value);
        visited.emplace_back(key);
    }
    names ranged;
    for (const auto& [key, value] : std::as_const(map)) {
        EXPECT_STREQ(valueFor(static_cast<const wchar_t*>(key)).c_str(), value);
        ranged.emplace_back(key);
    }
    EXPECT_EQ(visited, ranged) << "range-for visits in GetNextAssoc's order";
    return visited;
}

} // namespace

TEST(hashMap, keysAreExactAndIterateByBucketNewestFirst) {
    // Buckets of 17: "" 0, "a" and "r" 12, "b" 13, "Key" and "KEY" 10, "key" 8.
    const struct {
        names inserted, visited, absent;
    } cases[] = {
        {{L"a", L"r"}, {L"r", L"a"}, {L"A", L"ar"}},
        {{L"b", L"r", L"", L"a"}, {L"", L"a", L"r", L"b"}, {L" "}},
        {{L"Key", L"key", L"KEY"}, {L"key", L"KEY", L"Key"}, {L"kEY", L"Key "}},
    };
    for (const auto& c : cases) {
        textMap map(10);
        EXPECT_EQ(nullptr, map.GetStartPosition());
        EXPECT_EQ(c.visited, insertAndVisit(map, c.inserted));
        stubString value;
        for (const std::wstring& key : c.absent)
            EXPECT_FALSE(map.Lookup(key.c_str(), value));
        // Into 5 buckets: "" 0, "a" 2, "b" 3, "r" and "Key" 4; a stale bucket index would end
        // the iteration early.
        map.InitHashTable(5, FALSE);
        names visited = insertAndVisit(map, {}), expected = c.visited;
        std::sort(visited.begin(), visited.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, visited);
    }
}

TEST(hashMap, failedAllocationsInsertNothingAndLeakNothing) {
    const names keys = {L"a", L"r", L"b", L"Key", L"KEY", L"name"};
    failEachAllocationInTurn([&] {
        auto* map = new hashMap<stubString, const wchar_t*, unsigned int, unsigned int>(2);
        if (map == nullptr)
            return;
        std::vector<bool> inserted(keys.size());
        for (unsigned i = 0; i < keys.size(); ++i) {
            const int before = map->GetCount();
            (*map)[keys[i].c_str()] += i + 1; // a new key starts at 0
            inserted[i] = map->GetCount() > before;
            if (i == 2)
                map->InitHashTable(5, TRUE);
        }
        for (unsigned i = 0; i < keys.size(); ++i) {
            unsigned value = 0;
            EXPECT_EQ(inserted[i], map->Lookup(keys[i].c_str(), value) != FALSE);
            EXPECT_EQ(inserted[i] ? i + 1 : 0, value);
        }
        delete map;
    });
}

TEST(hashMap, convertsToAndFromStdMapAndChangesValuesThroughRangeFor) {
    using countMap = hashMap<stubString, const wchar_t*, unsigned int, unsigned int>;
    const countMap::standardMap counts = {{L"", 0}, {L"b", 2}, {L"a\u00e9", 1}};
    countMap map(4);
    ASSERT_TRUE(map.assign(counts));
    for (auto [key, count] : map)
        count += 10;
    EXPECT_EQ((countMap::standardMap{{L"", 10}, {L"b", 12}, {L"a\u00e9", 11}}), map.toStdMap());

    textMap texts(4);
    ASSERT_TRUE(texts.assign({{L"k", L"v"}}));
    EXPECT_EQ((textMap::standardMap{{L"k", L"v"}}), texts.toStdMap());
    // A zero inside would cut the text.
    EXPECT_FALSE(texts.assign({{L"k", L"v"}, {std::wstring(L"k\0x", 3), L"w"}}));
    EXPECT_EQ(0, texts.GetCount());
    EXPECT_FALSE(texts.assign({{L"k", std::wstring(L"v\0", 2)}}));

    failEachAllocationInTurn([&] {
        countMap failing(1);
        if (!failing.assign(counts))
            EXPECT_EQ(0, failing.GetCount());
        else
            EXPECT_EQ(counts, failing.toStdMap());
    });
}
