#include "settings/readWriteSettingsToFile.h"

#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "settings/CPersistStubStringArray.h"
#include "support/stubString.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::wstring indexed(const std::wstring& prefix, unsigned index) {
    return prefix + std::to_wstring(index);
}

// Collections go through the object's own scalar slots.
class countingStore : public readWriteSettingsToFile {
public:
    int readUInt(const wchar_t* name, unsigned int& value) override {
        ++scalarCalls;
        return readWriteSettingsToFile::readUInt(name, value);
    }
    int writeString(const wchar_t* trace, const wchar_t* name, const stubString& value) override {
        ++scalarCalls;
        return readWriteSettingsToFile::writeString(trace, name, value);
    }
    int scalarCalls = 0;
};

} // namespace

TEST(settingsFileCollections, arraysAppendStopAtGapsAndShareTheirNames) {
    countingStore store;
    CVector<unsigned int> numbers;
    for (unsigned int v : {7u, 0u, 0xFFFFFFFFu})
        numbers.Add(v);
    ASSERT_EQ(1, store.writeUIntArray(nullptr, numbers, L"n"));
    ASSERT_EQ(1, store.readUIntArray(numbers, L"n")); // appends
    ASSERT_EQ(6u, numbers.GetCount());
    EXPECT_EQ(0xFFFFFFFFu, numbers.GetAt(5));
    EXPECT_EQ(4, store.scalarCalls); // three values and the missing fourth

    CVector<stubString*> strings;
    stubString x(L"x"), z(L"z");
    for (stubString* element : {&x, static_cast<stubString*>(nullptr), &z})
        strings.Add(element);
    ASSERT_EQ(1, store.writeStringArray(nullptr, strings, L"s"));
    EXPECT_EQ(6, store.scalarCalls);
    EXPECT_EQ(nullptr, store.findRecord(L"[s]I1"));
    CPersistStubStringArray read;
    read.AddString(L"kept");
    ASSERT_EQ(1, store.readStringArray(read, L"s"));
    ASSERT_EQ(2u, read.GetCount()); // stops at the gap
    EXPECT_TRUE(*read.GetAt(1) == L"x");

    // String arrays live under the number array's names, so deleteUIntArray removes them.
    EXPECT_EQ(1, store.deleteStringArray(L"s", 3));
    EXPECT_NE(nullptr, store.findRecord(L"[s]I0"));
    EXPECT_EQ(1, store.deleteUIntArray(nullptr, L"s", 3));
    EXPECT_EQ(nullptr, store.findRecord(L"[s]I2"));
    for (const wchar_t* prefix : {L"[c]SS", L"[c]S", L"[c]I"})
        for (unsigned i = 0; i < 3; ++i)
            ASSERT_EQ(1, store.writeDword(nullptr, indexed(prefix, i).c_str(), i));
    EXPECT_EQ(1, store.deleteCollections(L"c", 2));
    EXPECT_EQ(3u + 3u, store.getRecordCount()); // index 2 of each, and the number array
}

TEST(settingsFileCollections, composedNamesLongerThanTheirBufferAreRefusedNotCut) {
    readWriteSettingsToFile store;
    const std::wstring fits(259, L'f'); // "[" + 259 + "]I" + one digit = 263 characters
    const std::wstring tooLong(260, L'l');
    CVector<unsigned int> numbers;
    for (unsigned int v = 0; v < 11; ++v)
        numbers.Add(v);
    // Indices 0 to 9 fit; index 10 needs one character more than the buffer holds.
    EXPECT_EQ(0, store.writeUIntArray(nullptr, numbers, fits.c_str()));
    EXPECT_EQ(10u, store.getRecordCount());
    EXPECT_NE(nullptr, store.findRecord((L"[" + fits + L"]I9").c_str()));
    EXPECT_EQ(0, store.writeUIntArray(nullptr, numbers, tooLong.c_str()));
    EXPECT_EQ(10u, store.getRecordCount());

    // A record of such a name, read from a file, is neither found nor removed through them.
    const unsigned int one = 1;
    ASSERT_NE(nullptr,
              store.setRecord((L"[" + tooLong + L"]I0").c_str(), REG_DWORD, sizeof(one), &one));
    EXPECT_EQ(1, store.readUIntArray(numbers, tooLong.c_str()));
    EXPECT_EQ(11u, numbers.GetCount());
    EXPECT_EQ(1, store.deleteUIntArray(nullptr, tooLong.c_str(), 1));
    EXPECT_EQ(11u, store.getRecordCount());
}

TEST(settingsFileCollections, dllMapRoundTripsAndClearsItsFirstThousandIndices) {
    readWriteSettingsToFile store;
    for (unsigned i : {0u, 999u, 1000u}) {
        ASSERT_EQ(1, store.writeDword(nullptr, indexed(L"[dll]I", i).c_str(), i));
        ASSERT_EQ(1, store.writeCString(nullptr, indexed(L"[dll]S", i).c_str(), CString(L"k")));
    }
    stubStringToUIntMap map(10);
    ASSERT_EQ(1, store.writeDllMap(nullptr, map));
    EXPECT_EQ(2u, store.getRecordCount()); // index 1000 is left

    const std::map<std::wstring, unsigned> expected = {{L"a.dll", 1}, {L"B.DLL", 2}, {L"c", 0}};
    for (const auto& [key, value] : expected)
        map.SetAt(key.c_str(), value);
    ASSERT_EQ(1, store.writeDllMap(nullptr, map));
    stubStringToUIntMap read(10);
    read.SetAt(L"stale", 9);
    ASSERT_EQ(1, store.readDllMap(read));
    std::map<std::wstring, unsigned> got;
    stubString key;
    unsigned value = 0;
    for (POSITION position = read.GetStartPosition(); position != nullptr;) {
        read.GetNextAssoc(position, key, value);
        got[static_cast<const wchar_t*>(key)] = value;
    }
    EXPECT_EQ(expected, got);
    ASSERT_EQ(1, store.removeRecord(L"[dll]I1")); // reading stops at the first gap
    ASSERT_EQ(1, store.readDllMap(read));
    EXPECT_EQ(1, read.GetCount());

    stubStringMap names(10);
    names.SetAt(L"x", L"y");
    EXPECT_EQ(0, store.collectNames(L"", names));
    EXPECT_EQ(1, names.GetCount());
}
