#include "settings/CPersistStubStringArray.h"

#include "tests/testing/heapFailures.h"

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

TEST(CPersistStubStringArray, ownsItsStringsAndCopiesThem) {
    tarnHeapSeam seam;
    CPersistStubStringArray source, target;
    source.AddString(L"a");
    source.Add(nullptr);
    source.AddStringA(nullptr);
    target.AddStringA("old");
    EXPECT_EQ(5, seam.liveBlocks()) << "three strings and the storage of both arrays";

    target.Copy(source);
    EXPECT_EQ((texts{L"a", L"", L""}), contents(target));
    *target.GetAt(0) = L"changed";
    EXPECT_EQ((texts{L"a", L"(null)", L""}), contents(source));
    target.Copy(target);
    EXPECT_EQ((texts{L"changed", L"", L""}), contents(target)) << "copy onto itself keeps it";

    target.RemoveAll();
    source.RemoveAll();
    EXPECT_EQ(0, seam.liveBlocks());
    EXPECT_EQ(nullptr, target.GetAt(0));
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

TEST(CPersistStubStringArray, failedAllocationsKeepTheArrayAndLeakNothing) {
    failEachAllocationInTurn([] {
        CPersistStubStringArray array, copy;
        texts added;
        for (const wchar_t* text : {L"one", L"two", L"three"}) {
            array.AddString(text);
            if (array.GetCount() > added.size())
                added.emplace_back(text);
        }
        EXPECT_EQ(added, contents(array));
        copy.AddString(L"replaced");
        copy.Copy(array); // a string that cannot be copied is skipped
        EXPECT_LE(copy.GetCount(), array.GetCount());
    });
}
