#include "settings/CPersistStubStringArray.h"

#include "tests/testing/heapFailures.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using texts = std::vector<std::wstring>;

// Element texts, "(null)" for a null element.
texts contents(const CVector<stubString*>& array) {
    texts result;
    for (unsigned i = 0; i < array.GetCount(); ++i) {
        const stubString* element = array.GetAt(i);
        result.emplace_back(element != nullptr ? static_cast<const wchar_t*>(*element) : L"(null)");
    }
    return result;
}

} // namespace

TEST(CPersistStubStringArray, ownsItsStringsOnTheSupportHeap) {
    tarnHeapSeam seam;
    {
        CPersistStubStringArray array;
        array.AddString(L"one");
        array.AddStringA("two");
        array.AddString(nullptr);
        array.AddStringA(nullptr);
        EXPECT_EQ((texts{L"one", L"two", L"", L""}), contents(array));
        EXPECT_EQ(5, seam.liveBlocks()) << "four strings and the storage";
        array.RemoveAll();
        EXPECT_EQ(0, seam.liveBlocks());
        EXPECT_EQ(0u, array.GetCount());
        EXPECT_EQ(nullptr, array.GetAt(0));
        array.AddString(L"kept");
    }
    EXPECT_EQ(0, seam.liveBlocks()) << "destruction frees the strings";
}

TEST(CPersistStubStringArray, findIgnoresCaseAndSkipsNullElements) {
    CPersistStubStringArray array;
    EXPECT_EQ(-1, array.Find(L""));
    array.Add(nullptr);
    for (const wchar_t* text : {L"", L"alpha", L"Beta", L"beta"})
        array.AddString(text);
    const struct {
        const wchar_t* text;
        int index;
    } rows[] = {{L"", 1}, {nullptr, 1}, {L"ALPHA", 2}, {L"beta", 3}, {L"gamma", -1}, {L"alph", -1}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.index, array.Find(row.text)) << (row.text ? row.text : L"(null)");
        EXPECT_EQ(row.index >= 0, array.Contains(row.text) != 0);
    }
}

TEST(CPersistStubStringArray, copyMakesIndependentStrings) {
    tarnHeapSeam seam;
    CPersistStubStringArray source;
    source.AddString(L"a");
    source.Add(nullptr);
    source.AddString(L"c");
    CPersistStubStringArray target;
    target.AddString(L"old 1");
    target.AddString(L"old 2");

    target.Copy(source);
    EXPECT_EQ((texts{L"a", L"", L"c"}), contents(target));
    EXPECT_NE(source.GetAt(0), target.GetAt(0));
    *target.GetAt(0) = L"changed";
    EXPECT_EQ((texts{L"a", L"(null)", L"c"}), contents(source));

    target.Copy(target);
    EXPECT_EQ((texts{L"changed", L"", L"c"}), contents(target)) << "copy onto itself keeps it";

    target.RemoveAll();
    source.RemoveAll();
    EXPECT_EQ(0, seam.liveBlocks());
}

TEST(CPersistStubStringArray, failedAllocationsKeepTheArrayAndLeakNothing) {
    failEachAllocationInTurn([] {
        CPersistStubStringArray array;
        texts added;
        for (const wchar_t* text : {L"one", L"two", L"three"}) {
            array.AddString(text);
            if (array.GetCount() > added.size())
                added.emplace_back(text);
        }
        EXPECT_EQ(added, contents(array));
        CPersistStubStringArray copy;
        copy.AddString(L"replaced");
        copy.Copy(array);
        // A string that could not be copied is skipped; the others keep their order.
        auto next = added.begin();
        for (const std::wstring& text : contents(copy)) {
            next = std::find(next, added.end(), text);
            ASSERT_NE(added.end(), next) << "copied out of order: " << text;
            ++next;
        }
    });
}
