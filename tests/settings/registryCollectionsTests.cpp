#include "tests/settings/registryTesting.h"

#include "containers/hashMap.h"
#include "settings/CPersistStubStringArray.h"

#include <algorithm>
#include <functional>

namespace {

using strings = std::vector<std::wstring>;

strings texts(const std::vector<CString>& list) {
    strings result;
    for (const CString& text : list)
        result.push_back(text.str());
    return result;
}

strings texts(const CStringArray& array) {
    strings result;
    for (int index = 0; index < array.GetSize(); ++index)
        result.push_back(array[index].str());
    return result;
}

strings texts(const CVector<stubString*>& array) {
    strings result;
    for (unsigned index = 0; index < array.GetCount(); ++index)
        result.push_back(static_cast<const wchar_t*>(*array.GetAt(index)));
    std::sort(result.begin(), result.end()); // the registry gives no index order
    return result;
}

std::vector<unsigned> numbers(const CVector<unsigned>& array) {
    std::vector<unsigned> result;
    for (unsigned index = 0; index < array.GetCount(); ++index)
        result.push_back(array.GetAt(index));
    return result;
}

} // namespace

TEST_F(registryStore, stringListsDropEmptyElementsAndLeaveOlderTails) {
    ASSERT_EQ(1, settings.writeStringList(nullptr, L"list", {L"a", L"", L"c"}));
    EXPECT_EQ(4u, raw(L"list_NumItems").bytes.size());
    EXPECT_EQ(3u, raw(L"list_NumItems").dword());
    std::vector<CString> list{L"stale"};
    EXPECT_EQ(1, settings.readStringList(L"list", list));
    EXPECT_EQ((strings{L"a", L"c"}), texts(list));

    ASSERT_EQ(1, settings.writeStringList(nullptr, L"five", {L"0", L"1", L"2", L"3", L"4"}));
    ASSERT_EQ(1, settings.writeStringList(nullptr, L"five", {L"new0", L"new1"}));
    EXPECT_TRUE(has(L"five_2") && has(L"five_4"));
    EXPECT_EQ(1, settings.readStringList(L"five", list));
    EXPECT_EQ((strings{L"new0", L"new1"}), texts(list));

    EXPECT_EQ(1, settings.readStringList(L"none", list)); // no count: empty, and fine
    EXPECT_TRUE(list.empty());
    ::RegDeleteValueW(key.get(), L"five_0");
    EXPECT_EQ(0, settings.readStringList(L"five", list));
    EXPECT_EQ((strings{L"new1"}), texts(list));
}

TEST_F(registryStore, frameworkStringArraysRoundTripInOrder) {
    CStringArray written, read;
    for (const wchar_t* text : {L"x", L"", L"z"})
        written.Add(text);
    ASSERT_EQ(1, settings.writeFrameworkStringArray(nullptr, L"fa", written));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw(L"fa_SA_LEN").type);
    EXPECT_EQ(8u, raw(L"fa_SA_LEN").bytes.size());
    read.Add(L"stale");
    EXPECT_EQ(1, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ(texts(written), texts(read));

    storeDword(L"fa_SA_LEN", 3); // a 4-byte count fills the low bytes
    ::RegDeleteValueW(key.get(), L"fa_SA_1");
    EXPECT_EQ(0, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ((strings{L"x"}), texts(read)) << "nothing kept after the first failure";

    readWriteSettingsToRegistry unbound;
    EXPECT_EQ(0, unbound.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ(0, unbound.writeFrameworkStringArray(nullptr, L"fa", written));
}

TEST_F(registryStore, storedCountsCannotOutnumberTheKeysValues) {
    // Reading up to these counts would take billions of queries.
    const std::int64_t huge = 0x7FFFFFFFFFFFFFFFll;
    storeDword(L"list_NumItems", 0xFFFFFFFF);
    store(L"fa_SA_LEN", REG_DWORD, &huge, sizeof(huge));
    storeText(L"list_0", L"first");
    storeText(L"fa_SA_0", L"first");
    std::vector<CString> list;
    CStringArray array;
    EXPECT_EQ(0, settings.readStringList(L"list", list));
    EXPECT_EQ(0, settings.readFrameworkStringArray(L"fa", array));
    EXPECT_EQ((strings{L"first"}), texts(list));
    EXPECT_EQ((strings{L"first"}), texts(array));
}

TEST_F(registryStore, collectionDeletesRemoveTheirFamiliesBelowTheCount) {
    const std::set<std::wstring> stored = {L"[c]I0", L"[c]I1", L"[c]I2", L"[c]SS0", L"[c]SS1",
                                           L"[c]S0", L"[c]S1", L"[d]I0", L"[c]I",   L"c_0"};
    const struct {
        std::function<int(readWriteSettingsToRegistry&)> erase;
        std::set<std::wstring> removed;
    } cases[] = {
        {[](auto& s) { return s.deleteUIntArray(nullptr, L"c", 2); }, {L"[c]I0", L"[c]I1"}},
        {[](auto& s) { return s.deleteStringArray(L"c", 3); }, {L"[c]SS0", L"[c]SS1"}},
        {[](auto& s) { return s.deleteMapStrings(L"c", 1); }, {L"[c]S0"}},
        {[](auto& s) { return s.deleteMapNumbers(L"c", 3); }, {L"[c]I0", L"[c]I1", L"[c]I2"}},
        {[](auto& s) { return s.deleteCollections(L"c", 1); }, {L"[c]I0", L"[c]SS0", L"[c]S0"}},
    };
    for (const auto& c : cases) {
        for (const std::wstring& name : stored)
            storeDword(name.c_str(), 1);
        EXPECT_EQ(1, c.erase(settings));
        std::set<std::wstring> expected = stored;
        for (const std::wstring& name : c.removed)
            expected.erase(name);
        EXPECT_EQ(expected, valueNamesOf(storePath));
    }
}

TEST_F(registryStore, collectionNamesTooLongForTheirIndexAreRefusedNotCut) {
    // Cut after 263 characters, "[name]I10" would become "[name]I1" and "[longer]I0" the bare
    // "[longer]I": names of values that belong to other indices.
    const std::wstring name(259, L'n');
    const std::wstring longer(260, L'n');
    const std::wstring victims[] = {L"[" + name + L"]I0", L"[" + name + L"]I1",
                                    L"[" + longer + L"]I"};
    for (const std::wstring& victim : victims)
        storeDword(victim.c_str(), 7);

    EXPECT_EQ(1, settings.deleteUIntArray(nullptr, name.c_str(), 11));
    EXPECT_EQ(1, settings.deleteCollections(longer.c_str(), 1));
    for (const std::wstring& victim : victims)
        EXPECT_TRUE(has(victim.c_str())) << victim.size();
    CVector<unsigned> numbers;
    CPersistStubStringArray strings;
    for (unsigned index = 0; index <= 10; ++index) {
        numbers.Add(index);
        strings.AddString(L"x");
    }
    EXPECT_EQ(1, settings.writeUIntArray(nullptr, numbers, name.c_str()));
    EXPECT_EQ(0, settings.writeStringArray(nullptr, strings, name.c_str()));
    EXPECT_EQ(7u, raw(victims[0].c_str()).dword()) << "nothing written";
    EXPECT_EQ(1, settings.deleteUIntArray(nullptr, name.c_str(), 10));
    EXPECT_FALSE(has(victims[0].c_str())) << "names that fit are deleted";
}

TEST_F(registryStore, numberArraysLandAtTheirStoredIndices) {
    CVector<unsigned> written;
    for (unsigned value : {7u, 8u, 9u})
        written.Add(value);
    EXPECT_EQ(1, settings.writeUIntArray(nullptr, written, L"a"));
    EXPECT_EQ(4u, raw(L"[a]I2").bytes.size());
    CVector<unsigned> read;
    EXPECT_EQ(1, settings.readUIntArray(read, L"a"));
    EXPECT_EQ((std::vector<unsigned>{7, 8, 9}), numbers(read));

    // Indices 0 and 5 only; the bare prefix is index 0, and a hostile index is ignored.
    storeDword(L"[b]I5", 55);
    storeDword(L"[b]I", 11);
    storeDword(L"[b]I2000000", 1);
    storeDword(L"[b]I-1", 1);
    CVector<unsigned> fresh;
    EXPECT_EQ(1, settings.readUIntArray(fresh, L"b"));
    EXPECT_EQ((std::vector<unsigned>{11, 0, 0, 0, 0, 55}), numbers(fresh));
    EXPECT_EQ(1, settings.readUIntArray(read, L"b")) << "neither emptied nor shrunk";
    EXPECT_EQ((std::vector<unsigned>{11, 8, 9, 0, 0, 55}), numbers(read));
    EXPECT_EQ(0, settings.readUIntArray(read, nullptr));
}

TEST_F(registryStore, stringArraysAppendWhatIsStoredUnderTheirName) {
    CPersistStubStringArray five, two, read;
    for (const wchar_t* text : {L"0", L"1", L"2", L"3", L"4"})
        five.AddString(text);
    two.AddString(L"new0");
    two.Add(nullptr); // writes nothing for its index
    EXPECT_EQ(1, settings.writeStringArray(nullptr, five, L"s"));
    EXPECT_EQ(1, settings.writeStringArray(nullptr, two, L"s"));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw(L"[s]SS0").type);
    read.AddString(L"kept");
    EXPECT_EQ(1, settings.readStringArray(read, L"s"));
    EXPECT_STREQ(L"kept", *read.GetAt(0));
    EXPECT_EQ((strings{L"1", L"2", L"3", L"4", L"kept", L"new0"}), texts(read));
}

TEST_F(registryStore, dllMapRewritesOnlyItsFirstHundredEntries) {
    stubStringToUIntMap map(10), read(10);
    for (unsigned index = 0; index < 150; ++index)
        map.SetAt(std::to_wstring(index).c_str(), index);
    EXPECT_EQ(1, settings.writeDllMap(nullptr, map));
    EXPECT_TRUE(has(L"[dll]S149") && has(L"[dll]I149"));
    map.RemoveAll();
    for (unsigned index = 0; index < 10; ++index)
        map.SetAt((L"new" + std::to_wstring(index)).c_str(), 1000 + index);
    EXPECT_EQ(1, settings.writeDllMap(nullptr, map));
    EXPECT_FALSE(has(L"[dll]S10"));
    EXPECT_TRUE(has(L"[dll]S100"));

    // 120 values: the pairs 0 to 59 are tried and only 0 to 9 exist.
    read.SetAt(L"stale", 1);
    EXPECT_EQ(1, settings.readDllMap(read));
    EXPECT_EQ(10, read.GetCount());
    unsigned number = 0;
    EXPECT_TRUE(read.Lookup(L"new3", number) && number == 1003);

    // Unrelated values only raise the count of pairs tried.
    storeDword(L"other", 1);
    storeText(L"text", L"");
    EXPECT_EQ(1, settings.readDllMap(read));
    EXPECT_EQ(10, read.GetCount());
}

TEST_F(registryStore, collectionsGoThroughTheObjectsOwnScalarSlots) {
    struct upperCase : readWriteSettingsToRegistry {
        int writeCString(const wchar_t* trace, const wchar_t* name, const CString& value) override {
            CString upper = value;
            return readWriteSettingsToRegistry::writeCString(trace, name, upper.MakeUpper());
        }
    } derived;
    derived.attachKey(key.get());
    readWriteSettings& base = derived;
    EXPECT_EQ(1, base.writeStringList(nullptr, L"l", {L"abc"}));
    EXPECT_EQ(L"ABC", raw(L"l_0").text());
}
