#include "support/CSentinelStubObject.h"
#include "support/stubMapStringToPtr.h"
#include "support/stubString.h"
#include "support/tarnHeap.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

TEST(tarnHeap, allocatesFromTheSupportHeapAndKeepsContentsOnGrowth) {
    HANDLE heap = getStubHeap();
    ASSERT_NE(nullptr, heap);
    EXPECT_EQ(heap, getStubHeap()) << "the support heap is created once";
    EXPECT_NE(::GetProcessHeap(), heap);

    auto* block = static_cast<char*>(tarnHeapAlloc(0, 16));
    ASSERT_NE(nullptr, block);
    dm_memcpy(block, "0123456789abcdef", 16);
    auto* grown = static_cast<char*>(tarnHeapReAlloc(0, block, 4096));
    ASSERT_NE(nullptr, grown);
    EXPECT_EQ(0, std::memcmp(grown, "0123456789abcdef", 16));
    EXPECT_GE(::HeapSize(heap, 0, grown), 4096u);
    dm_memset(grown, 0x5A, 4096);
    EXPECT_EQ(0x5A, static_cast<unsigned char>(grown[4095]));
    EXPECT_TRUE(tarnHeapFree(0, grown));
}

TEST(tarnHeap, failedGrowthKeepsTheOldBlock) {
    auto* block = static_cast<char*>(tarnHeapAlloc(0, 8));
    ASSERT_NE(nullptr, block);
    std::memcpy(block, "keepme!", 8);
    EXPECT_EQ(nullptr, tarnHeapReAlloc(0, block, ~static_cast<SIZE_T>(0) - 4096));
    EXPECT_STREQ("keepme!", block);
    tarnHeapFree(getStubHeap(), 0, block);
}

TEST(tarnHeap, givenHeapFormsAndNullHeaps) {
    HANDLE own = ::HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, own);
    void* block = tarnHeapAlloc(own, 0, 32);
    ASSERT_NE(nullptr, block);
    EXPECT_TRUE(::HeapValidate(own, 0, block));
    EXPECT_TRUE(tarnHeapFree(own, 0, block));
    ::HeapDestroy(own);

    EXPECT_EQ(nullptr, tarnHeapAlloc(nullptr, 0, 32));
    EXPECT_FALSE(tarnHeapFree(nullptr, 0, nullptr));
}

TEST(tarnHeaps, announcedHeapsAreRecordedAndWithdrawn) {
    HANDLE heap = ::HeapCreate(0, 0, 0);
    ASSERT_NE(nullptr, heap);
    const std::size_t before = tarnHeaps::announcedCount();
    EXPECT_TRUE(tarnHeaps::addHeap(heap));
    EXPECT_TRUE(tarnHeaps::addHeap(heap)) << "announcing twice records the heap once";
    EXPECT_TRUE(tarnHeaps::isAnnounced(heap));
    EXPECT_EQ(before + 1, tarnHeaps::announcedCount());
    ::HeapDestroy(heap);
    EXPECT_TRUE(tarnHeaps::removeHeap(heap));
    EXPECT_FALSE(tarnHeaps::isAnnounced(heap));
    EXPECT_EQ(before, tarnHeaps::announcedCount());
    EXPECT_FALSE(tarnHeaps::removeHeap(heap));
}

namespace {
struct countedObject : CSentinelStubObject {
    explicit countedObject(int* counter) : counter(counter) { ++*counter; }
    ~countedObject() override { --*counter; }
    int* counter;
};
} // namespace

TEST(CSentinelStubObject, objectsLiveOnTheSupportHeapAndDeleteThroughTheBase) {
    int alive = 0;
    CSentinelStubObject* object = new countedObject(&alive);
    ASSERT_NE(nullptr, object);
    EXPECT_EQ(1, alive);
    EXPECT_TRUE(::HeapValidate(getStubHeap(), 0, object));
    delete object;
    EXPECT_EQ(0, alive);
}

TEST(stubString, constructionAssignmentAndConversion) {
    stubString empty;
    EXPECT_NE(nullptr, static_cast<const wchar_t*>(empty));
    EXPECT_STREQ(L"", empty);
    EXPECT_EQ(0, empty.GetLength());

    stubString fromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_STREQ(L"", fromNull);

    stubString narrow("abc\xE9");
    EXPECT_EQ(4, narrow.GetLength());
    EXPECT_EQ(L'a', static_cast<const wchar_t*>(narrow)[0]);

    stubString text(L"Driftmark");
    stubString copy(text);
    text = L"changed";
    EXPECT_TRUE(copy == L"Driftmark");
    copy = "x";
    EXPECT_TRUE(copy == L"x");
    copy += L"yz";
    copy += L'!';
    copy += '?';
    EXPECT_TRUE(copy == L"xyz!?");
    EXPECT_FALSE(copy == L"XYZ!?");
    EXPECT_EQ(0, copy.CompareNoCase(L"XYZ!?"));
    EXPECT_NE(0, copy.CompareNoCase(L"XYZ"));
    copy.Empty();
    EXPECT_STREQ(L"", copy);
}

TEST(stubString, heapObjectsUseTheSupportHeap) {
    auto* text = new stubString(L"on the heap");
    ASSERT_NE(nullptr, text);
    EXPECT_TRUE(::HeapValidate(getStubHeap(), 0, text));
    delete text;
}

TEST(stubMapStringToPtr, insertsReplacesAndComparesKeysExactly) {
    stubMapStringToPtr map(10);
    int first = 1, second = 2;
    map.SetAt(L"Key", &first);
    map.SetAt(L"key", &second);
    EXPECT_EQ(2, map.GetCount());
    void* value = nullptr;
    ASSERT_TRUE(map.Lookup(L"Key", value));
    EXPECT_EQ(&first, value);
    map.SetAt(L"Key", &second);
    EXPECT_EQ(2, map.GetCount());
    ASSERT_TRUE(map.Lookup(L"Key", value));
    EXPECT_EQ(&second, value);

    void* untouched = &first;
    EXPECT_FALSE(map.Lookup(L"KEY", untouched));
    EXPECT_EQ(&first, untouched);
}
