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

// Sorted: the registry gives no index order.
strings texts(const CVector<stubString*>& array) {
    strings result;
    for (unsigned index = 0; index < array.GetCount(); ++index)
        result.push_back(static_cast<const wchar_t*>(*array.GetAt(index)));
    std::sort(result.begin(), result.end());
    return result;
}

} // namespace

TEST_F(registryStore, listsDropEmptyElementsAndLeaveOlderTails) {
    ASSERT_EQ(1, settings.writeStringList(nullptr, L"list", {L"a", L"", L"c"}));
    EXPECT_EQ(4u, raw(L"list_NumItems").bytes.size());
    std::vector<CString> list{L"stale"};
    EXPECT_EQ(1, settings.readStringList(L"list", list));
    EXPECT_EQ((strings{L"a", L"c"}), texts(list));

    ASSERT_EQ(1, settings.writeStringList(nullptr, L"list", {L"new0", L"new1"}));
    EXPECT_TRUE(has(L"list_2"));
    EXPECT_EQ(1, settings.readStringList(L"list", list));
    EXPECT_EQ((strings{L"new0", L"new1"}), texts(list));
    EXPECT_EQ(1, settings.readStringList(L"none", list)); // no count: empty, and fine
    EXPECT_TRUE(list.empty());

    CStringArray written, read;
    for (const wchar_t* text : {L"x", L"", L"z"})
        written.Add(text);
    ASSERT_EQ(1, settings.writeFrameworkStringArray(nullptr, L"fa", written));
    EXPECT_EQ(8u, raw(L"fa_SA_LEN").bytes.size());
    read.Add(L"stale");
    EXPECT_EQ(1, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ(texts(written), texts(read));
    storeDword(L"fa_SA_LEN", 3); // a 4-byte count fills the low bytes
    ::RegDeleteValueW(key.get(), L"fa_SA_1");
    EXPECT_EQ(0, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ((strings{L"x", L"z"}), texts(read)) << "the elements after a missing one are kept";

    stubString listing;
    EXPECT_EQ(1, settings.listValueNames(listing));
    EXPECT_NE(std::wstring::npos, std::wstring(listing).find(L"'fa_SA_LEN'\r\n"));
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

TEST_F(registryStore, collectionDeletesRemoveTheirFamiliesBelowTheCountAndRefuseCutNames) {
    // Cut after 263 characters, "[n...]I10" would become "[n...]I1", a name of another index.
    const std::wstring name(259, L'n'), cutVictim = L"[" + name + L"]I1";
    const std::set<std::wstring> stored = {L"[c]I0", L"[c]I1", L"[c]I2", L"[c]SS0", L"[c]SS1",
                                           L"[c]S0", L"[c]S1", L"[d]I0", L"[c]I",   cutVictim};
    const struct {
        std::function<int(readWriteSettingsToRegistry&)> erase;
        std::set<std::wstring> removed;
    } cases[] = {
        {[](auto& s) { return s.deleteUIntArray(nullptr, L"c", 2); }, {L"[c]I0", L"[c]I1"}},
        {[](auto& s) { return s.deleteStringArray(L"c", 3); }, {L"[c]SS0", L"[c]SS1"}},
        {[](auto& s) { return s.deleteMapStrings(L"c", 1); }, {L"[c]S0"}},
        {[](auto& s) { return s.deleteMapNumbers(L"c", 3); }, {L"[c]I0", L"[c]I1", L"[c]I2"}},
        {[](auto& s) { return s.deleteCollections(L"c", 1); }, {L"[c]I0", L"[c]SS0", L"[c]S0"}},
        {[&](auto& s) { return s.deleteUIntArray(nullptr, name.c_str(), 10); }, {cutVictim}},
        {[&](auto& s) { return s.deleteCollections(name.c_str(), 11); }, {}}};
    for (const auto& c : cases) {
        for (const std::wstring& value : stored)
            storeDword(value.c_str(), 1);
        EXPECT_EQ(1, c.erase(settings));
        std::set<std::wstring> expected = stored;
        for (const std::wstring& value : c.removed)
            expected.erase(value);
        EXPECT_EQ(expected, valueNamesOf(storePath));
    }

    CVector<unsigned> numbers;
    CPersistStubStringArray strings;
    for (unsigned index = 0; index <= 10; ++index) {
        numbers.Add(index);
        strings.AddString(L"x");
    }
    EXPECT_EQ(1, settings.writeUIntArray(nullptr, numbers, name.c_str()));
    EXPECT_EQ(0, settings.writeStringArray(nullptr, strings, name.c_str()));
    EXPECT_EQ(1u, raw(cutVictim.c_str()).dword()) << "nothing written";
}

TEST_F(registryStore, numberArraysLandAtTheirStoredIndices) {
    CVector<unsigned> read, fresh;
    for (unsigned value : {7u, 8u, 9u})
        read.Add(value);
    EXPECT_EQ(1, settings.writeUIntArray(nullptr, read, L"a"));
    EXPECT_EQ(4u, raw(L"[a]I2").bytes.size());

    // Indices 0 and 5 only; the bare prefix is index 0, hostile indices are ignored.
    storeDword(L"[b]I5", 55);
    for (const wchar_t* name : {L"[b]I", L"[b]I2000000", L"[b]I-1"})
        storeDword(name, 11);
    EXPECT_EQ(1, settings.readUIntArray(fresh, L"b"));
    EXPECT_EQ(1, settings.readUIntArray(read, L"b"));
    const unsigned freshValues[] = {11, 0, 0, 0, 0, 55};
    const unsigned keptValues[] = {11, 8, 9, 0, 0, 55}; // neither emptied nor shrunk
    ASSERT_EQ(6u, fresh.GetCount());
    ASSERT_EQ(6u, read.GetCount());
    for (unsigned index = 0; index < 6; ++index) {
        EXPECT_EQ(freshValues[index], fresh.GetAt(index)) << index;
        EXPECT_EQ(keptValues[index], read.GetAt(index)) << index;
    }
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
    map.RemoveAll();
    for (unsigned index = 0; index < 10; ++index)
        map.SetAt((L"new" + std::to_wstring(index)).c_str(), 1000 + index);
    EXPECT_EQ(1, settings.writeDllMap(nullptr, map));
    EXPECT_FALSE(has(L"[dll]S10"));
    EXPECT_TRUE(has(L"[dll]S149") && has(L"[dll]I100"));

    // 120 values: pairs 0 to 59 are tried, 0 to 9 exist; unrelated values add tries.
    read.SetAt(L"stale", 1);
    EXPECT_EQ(1, settings.readDllMap(read));
    storeText(L"other", L"");
    EXPECT_EQ(1, settings.readDllMap(read));
    unsigned number = 0;
    EXPECT_EQ(10, read.GetCount());
    EXPECT_TRUE(read.Lookup(L"new3", number) && number == 1003);
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

TEST_F(registryStore, deleteRegistryValuesRemovesExactlyThePrefixedValues) {
    const std::wstring path = std::wstring(storePath) + L"\\Values";
    const std::wstring longName = L"ab" + std::wstring(298, L'x'); // beyond the listing buffers
    const std::set<std::wstring> all = {L"ab", L"abc", L"Abz", L"xab", L"", longName};
    const struct {
        const wchar_t* prefix;
        std::set<std::wstring> kept;
    } cases[] = {{L"ab", {L"Abz", L"xab", L""}}, {nullptr, {}}, {L"zz", all}};
    for (const auto& c : cases) {
        for (const std::wstring& name : all)
            writeRawValue(HKEY_CURRENT_USER, path.c_str(), name.c_str(), REG_SZ, L"", 2);
        writeRawValue(HKEY_CURRENT_USER, (path + L"\\Child").c_str(), L"ab", REG_SZ, L"", 2);
        HKEY handle = key.get();
        readWriteSettingsToRegistry::deleteRegistryValues(&handle, L"Values", c.prefix);
        EXPECT_EQ(c.kept, valueNamesOf(path));
        EXPECT_EQ(1u, valueNamesOf(path + L"\\Child").size()) << "subkeys are not touched";
    }
}

TEST_F(registryStore, emptyRegistryKeyDeletesEverythingBelowTheKeyButTheKeyItself) {
    const std::wstring tree = std::wstring(storePath) + L"\\Tree";
    for (const wchar_t* path : {L"", L"\\A", L"\\A\\A1", L"\\A\\A1\\A11", L"\\B"})
        writeRawValue(HKEY_CURRENT_USER, (tree + path).c_str(), std::wstring(300, L'v').c_str(),
                      REG_SZ, L"", 2);
    storeText(L"outside", L"kept");
    HKEY handle = key.get();
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"Tree");
    EXPECT_TRUE(valueNamesOf(tree).empty());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, (tree + L"\\A").c_str()));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, (tree + L"\\B").c_str()));
    EXPECT_TRUE(has(L"outside"));

    readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"Missing"); // created, empty
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, (std::wstring(storePath) + L"\\Missing").c_str()));
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, nullptr); // the handle's own key
    EXPECT_TRUE(valueNamesOf(storePath).empty());
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, tree.c_str()));
}

TEST_F(registryStore, nameListingsReportEveryNameWhateverItsDataOrLength) {
    const std::wstring longName = L"p_" + std::wstring(16000, L'n');
    storeText(L"p_longText", std::wstring(2000, L't'));
    storeDword(L"p_short", 1);
    storeDword(longName.c_str(), 2);
    storeDword(L"other", 3);
    stubStringMap names(10);
    ASSERT_EQ(1, settings.collectNames(L"p_", names));
    EXPECT_EQ(3, names.GetCount());
    stubString found;
    for (const std::wstring& name : {std::wstring(L"p_longText"), longName})
        EXPECT_TRUE(names.Lookup(name.c_str(), found)) << name.size();
    stubString listing;
    ASSERT_EQ(1, settings.listValueNames(listing));
    for (const std::wstring& name : {std::wstring(L"p_longText"), longName, std::wstring(L"other")})
        EXPECT_NE(std::wstring::npos, std::wstring(listing).find(L"'" + name + L"'\r\n"));
}
