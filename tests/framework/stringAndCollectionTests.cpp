#include "framework/CString.h"
#include "framework/CollectionClasses.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

TEST(CString, formatUsesWideStringsAndGrowsAsNeeded) {
    CString text;
    text.Format(L"%ls_%d [%hs] 0x%08x", L"items", 7, "narrow", 0xBEEFu);
    EXPECT_STREQ(L"items_7 [narrow] 0x0000beef", text);

    const std::wstring longPart(5000, L'z');
    text.Format(L"<%ls>", longPart.c_str());
    EXPECT_EQ(5002, text.GetLength());
    EXPECT_EQ(L'>', text.GetAt(5001));

    text.Format(L"");
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_NE(nullptr, static_cast<const wchar_t*>(text));
}

TEST(CString, searchAndSlicesStayInsideTheString) {
    const CString path = L"C:\\logs\\run.dmlog_x64";
    EXPECT_EQ(2, path.Find(L'\\'));
    EXPECT_EQ(7, path.Find(L'\\', 3));
    EXPECT_EQ(-1, path.Find(L'\\', 8));
    EXPECT_EQ(-1, path.Find(L'\\', -1));
    EXPECT_EQ(-1, path.Find(L'\\', 100));
    EXPECT_EQ(8, path.Find(L"run"));
    EXPECT_EQ(-1, path.Find(nullptr));
    EXPECT_EQ(7, path.ReverseFind(L'\\'));
    EXPECT_EQ(-1, CString(L"plain").ReverseFind(L'\\'));

    const struct {
        CString result;
        const wchar_t* expected;
    } slices[] = {
        {path.Left(7), L"C:\\logs"}, {path.Left(-3), L""},
        {path.Left(500), path},      {path.Mid(8), L"run.dmlog_x64"},
        {path.Mid(8, 3), L"run"},    {path.Mid(-5, 2), L"C:"},
        {path.Mid(30), L""},         {path.Mid(19, 50), L"64"},
        {path.Right(3), L"x64"},     {path.Right(99), path},
        {path.Right(-1), L""},
    };
    for (const auto& slice : slices)
        EXPECT_STREQ(slice.expected, slice.result);
    EXPECT_EQ(L'\0', path.GetAt(-1));
    EXPECT_EQ(L'\0', path.GetAt(path.GetLength()));
}

TEST(CString, comparisonCaseAndBufferAccess) {
    CString text = "Mixed Case";
    EXPECT_TRUE(text == L"Mixed Case");
    EXPECT_EQ(0, text.CompareNoCase(L"MIXED case"));
    EXPECT_NE(0, text.Compare(L"MIXED case"));
    text.MakeLower();
    EXPECT_STREQ(L"mixed case", text);

    CString joined = CString(L"a") + L"\\" + CString(L"b") + L'c';
    joined += L"d";
    EXPECT_STREQ(L"a\\bcd", joined);

    wchar_t* buffer = joined.GetBuffer(64);
    wcscpy_s(buffer, 65, L"filled by an API");
    joined.ReleaseBuffer();
    EXPECT_STREQ(L"filled by an API", joined);
    EXPECT_EQ(16, joined.GetLength());
    joined.GetBuffer(4);
    joined.ReleaseBuffer(6);
    EXPECT_STREQ(L"filled", joined);

    CString fromNull = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(fromNull.IsEmpty());
    fromNull = static_cast<const char*>(nullptr);
    EXPECT_TRUE(fromNull.IsEmpty());
}

TEST(CMapStringToString, setLookupRemoveAndIterateEveryEntryOnce) {
    CMapStringToString map(10);
    EXPECT_EQ(10, map.GetBlockSize());
    EXPECT_EQ(nullptr, map.GetStartPosition());
    map.SetAt(L"txt", L"C:\\docs");
    map.SetAt(L"log", L"C:\\logs");
    map.SetAt(L"LOG", L"D:\\other");
    map.SetAt(L"log", L"E:\\replaced");
    EXPECT_EQ(3, map.GetCount());

    CString value = L"untouched";
    EXPECT_FALSE(map.Lookup(L"doc", value));
    EXPECT_STREQ(L"untouched", value);
    ASSERT_TRUE(map.Lookup(L"log", value));
    EXPECT_STREQ(L"E:\\replaced", value);

    std::map<std::wstring, std::wstring> seen;
    for (POSITION position = map.GetStartPosition(); position != nullptr;) {
        CString key, entry;
        map.GetNextAssoc(position, key, entry);
        EXPECT_TRUE(seen.emplace(key.GetString(), entry.GetString()).second) << "seen twice";
    }
    const std::map<std::wstring, std::wstring> expected = {
        {L"LOG", L"D:\\other"}, {L"log", L"E:\\replaced"}, {L"txt", L"C:\\docs"}};
    EXPECT_EQ(expected, seen);

    EXPECT_TRUE(map.RemoveKey(L"LOG"));
    EXPECT_FALSE(map.RemoveKey(L"LOG"));
    EXPECT_EQ(2, map.GetCount());
}

TEST(frameworkArrays, indexedAccessOutsideTheArrayChangesNothing) {
    CStringArray strings;
    EXPECT_EQ(0, strings.Add(L"first"));
    strings.SetAtGrow(3, L"fourth");
    ASSERT_EQ(4, strings.GetSize());
    EXPECT_TRUE(strings.GetAt(1).IsEmpty());
    EXPECT_TRUE(strings.GetAt(-1).IsEmpty());
    EXPECT_TRUE(strings.GetAt(4).IsEmpty());
    strings.SetAt(9, L"ignored");
    strings.InsertAt(1, L"second");
    strings.RemoveAt(2, 100);
    ASSERT_EQ(2, strings.GetSize());
    EXPECT_STREQ(L"second", strings[1]);

    CPtrArray pointers;
    int a = 1, b = 2;
    pointers.Add(&a);
    pointers.Add(&b);
    pointers.RemoveAt(0);
    EXPECT_EQ(&b, pointers.GetAt(0));
    EXPECT_EQ(0, pointers.GetUpperBound());
    pointers.RemoveAll();
    EXPECT_TRUE(pointers.IsEmpty());
}
