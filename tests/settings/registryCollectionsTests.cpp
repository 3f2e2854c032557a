#include "tests/settings/registryTesting.h"

#include <functional>
#include <set>

namespace {

std::set<std::wstring> allValueNames(HKEY key) {
    std::set<std::wstring> names;
    wchar_t name[1024];
    for (DWORD index = 0;; ++index) {
        DWORD length = 1024;
        if (::RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return names;
        names.insert(std::wstring(name, length));
    }
}

std::vector<std::wstring> texts(const std::vector<CString>& list) {
    std::vector<std::wstring> result;
    for (const CString& text : list)
        result.push_back(text.str());
    return result;
}

std::vector<std::wstring> texts(const CStringArray& array) {
    std::vector<std::wstring> result;
    for (int index = 0; index < array.GetSize(); ++index)
        result.push_back(array[index].str());
    return result;
}

} // namespace

TEST_F(registryStore, stringListsDropEmptyElementsAndLeaveOlderTails) {
    ASSERT_EQ(1, settings.writeStringList(nullptr, L"list", {L"a", L"", L"c"}));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw(L"list_NumItems").type);
    EXPECT_EQ(4u, raw(L"list_NumItems").bytes.size());
    EXPECT_EQ(3u, raw(L"list_NumItems").dword());
    EXPECT_EQ(L"", raw(L"list_1").text());
    std::vector<CString> list{L"stale"};
    EXPECT_EQ(1, settings.readStringList(L"list", list));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"c"}), texts(list));

    ASSERT_EQ(1, settings.writeStringList(nullptr, L"five", {L"0", L"1", L"2", L"3", L"4"}));
    ASSERT_EQ(1, settings.writeStringList(nullptr, L"five", {L"new0", L"new1"}));
    EXPECT_TRUE(has(L"five_2") && has(L"five_4"));
    EXPECT_EQ(1, settings.readStringList(L"five", list));
    EXPECT_EQ((std::vector<std::wstring>{L"new0", L"new1"}), texts(list));

    // No count: empty and successful. A missing element: the others, and failure.
    EXPECT_EQ(1, settings.readStringList(L"none", list));
    EXPECT_TRUE(list.empty());
    ::RegDeleteValueW(key.get(), L"five_0");
    EXPECT_EQ(0, settings.readStringList(L"five", list));
    EXPECT_EQ((std::vector<std::wstring>{L"new1"}), texts(list));
}

TEST_F(registryStore, frameworkStringArraysRoundTripInOrder) {
    CStringArray written;
    for (const wchar_t* text : {L"x", L"", L"z"})
        written.Add(text);
    ASSERT_EQ(1, settings.writeFrameworkStringArray(nullptr, L"fa", written));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw(L"fa_SA_LEN").type);
    EXPECT_EQ(8u, raw(L"fa_SA_LEN").bytes.size());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw(L"fa_SA_2").type);

    CStringArray read;
    read.Add(L"stale");
    EXPECT_EQ(1, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ(texts(written), texts(read));

    // A 4-byte count fills the low bytes of the 64-bit one.
    storeDword(L"fa_SA_LEN", 2);
    EXPECT_EQ(1, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ((std::vector<std::wstring>{L"x", L""}), texts(read));

    // After the first missing element nothing more is kept.
    storeDword(L"fa_SA_LEN", 3);
    ::RegDeleteValueW(key.get(), L"fa_SA_1");
    EXPECT_EQ(0, settings.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ((std::vector<std::wstring>{L"x"}), texts(read));

    readWriteSettingsToRegistry unbound;
    EXPECT_EQ(0, unbound.readFrameworkStringArray(L"fa", read));
    EXPECT_EQ(0, unbound.writeFrameworkStringArray(nullptr, L"fa", written));
    EXPECT_EQ(1u, read.GetSize());
}

TEST_F(registryStore, storedCountsCannotOutnumberTheKeysValues) {
    // Reading up to these counts would take billions of queries.
    storeDword(L"list_NumItems", 0xFFFFFFFF);
    storeText(L"list_0", L"first");
    const std::int64_t huge = 0x7FFFFFFFFFFFFFFFll;
    store(L"fa_SA_LEN", REG_DWORD, &huge, sizeof(huge));
    storeText(L"fa_SA_0", L"first");

    std::vector<CString> list;
    EXPECT_EQ(0, settings.readStringList(L"list", list));
    EXPECT_EQ((std::vector<std::wstring>{L"first"}), texts(list));
    CStringArray array;
    EXPECT_EQ(0, settings.readFrameworkStringArray(L"fa", array));
    EXPECT_EQ((std::vector<std::wstring>{L"first"}), texts(array));
}

TEST_F(registryStore, collectionDeletesRemoveTheirFamiliesBelowTheCount) {
    const std::set<std::wstring> stored = {L"[c]I0",  L"[c]I1", L"[c]I2", L"[c]SS0", L"[c]SS1",
                                           L"[c]SS2", L"[c]S0", L"[c]S1", L"[c]S2",  L"[d]I0",
                                           L"[d]SS0", L"c_0",   L"[c]I"};
    struct {
        const char* what;
        std::function<int(readWriteSettingsToRegistry&)> erase;
        std::set<std::wstring> removed;
    } const cases[] = {
        {"deleteUIntArray",
         [](auto& s) { return s.deleteUIntArray(nullptr, L"c", 2); },
         {L"[c]I0", L"[c]I1"}},
        {"deleteStringArray",
         [](auto& s) { return s.deleteStringArray(L"c", 3); },
         {L"[c]SS0", L"[c]SS1", L"[c]SS2"}},
        {"deleteMapStrings", [](auto& s) { return s.deleteMapStrings(L"c", 1); }, {L"[c]S0"}},
        {"deleteMapNumbers",
         [](auto& s) { return s.deleteMapNumbers(L"c", 3); },
         {L"[c]I0", L"[c]I1", L"[c]I2"}},
        {"deleteCollections",
         [](auto& s) { return s.deleteCollections(L"c", 2); },
         {L"[c]I0", L"[c]I1", L"[c]SS0", L"[c]SS1", L"[c]S0", L"[c]S1"}},
        {"count 0", [](auto& s) { return s.deleteCollections(L"c", 0); }, {}},
    };
    for (const auto& c : cases) {
        for (const std::wstring& name : stored)
            storeDword(name.c_str(), 1);
        EXPECT_EQ(1, c.erase(settings)) << c.what;
        std::set<std::wstring> expected;
        for (const std::wstring& name : stored)
            if (c.removed.count(name) == 0)
                expected.insert(name);
        EXPECT_EQ(expected, allValueNames(key.get())) << c.what;
    }
    readWriteSettingsToRegistry unbound;
    EXPECT_EQ(1, unbound.deleteCollections(L"c", 3));
}

TEST_F(registryStore, collectionNamesTooLongForTheirIndexAreRefusedNotCut) {
    // Cut after 263 characters, "[name]I10" would become "[name]I1" and "[longer]I0" the bare
    // "[longer]I", both names of values that belong to someone else.
    const std::wstring name(259, L'n');
    const std::wstring longer(260, L'n');
    const std::wstring victims[] = {L"[" + name + L"]I0", L"[" + name + L"]I1",
                                    L"[" + longer + L"]I"};
    for (const std::wstring& victim : victims)
        storeDword(victim.c_str(), 7);

    EXPECT_EQ(1, settings.deleteUIntArray(nullptr, name.c_str(), 11));
    EXPECT_EQ(1, settings.deleteCollections(longer.c_str(), 1));
    EXPECT_EQ(1, settings.deleteMapNumbers(longer.c_str(), 1));
    for (const std::wstring& victim : victims)
        EXPECT_TRUE(has(victim.c_str())) << victim.size();
    EXPECT_EQ(1, settings.deleteUIntArray(nullptr, name.c_str(), 10));
    EXPECT_FALSE(has(victims[0].c_str())) << "names that fit are deleted";
}
