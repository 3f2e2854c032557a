#include "tests/settings/registryTesting.h"

#include "support/stubString.h"

namespace {

const std::wstring longName = L"ab" + std::wstring(298, L'x'); // longer than listings hold
const std::wstring valuesPath = std::wstring(registryStore::storePath) + L"\\Values";

DWORD subkeyCount(const std::wstring& path) {
    uniqueHkey key;
    DWORD count = MAXDWORD;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr);
    return count;
}

} // namespace

TEST_F(registryStore, deleteRegistryValuesRemovesExactlyThePrefixedValues) {
    const std::set<std::wstring> all = {L"ab", L"abc", L"Abz", L"xab", L"", longName};
    const struct {
        const wchar_t* prefix;
        std::set<std::wstring> kept;
    } cases[] = {
        {L"ab", {L"Abz", L"xab", L""}}, // compared case-sensitively
        {nullptr, {}},
        {L"zz", all},
    };
    for (const auto& c : cases) {
        for (const std::wstring& name : all)
            writeRawValue(HKEY_CURRENT_USER, valuesPath.c_str(), name.c_str(), REG_SZ, L"", 2);
        writeRawValue(HKEY_CURRENT_USER, (valuesPath + L"\\Child").c_str(), L"ab", REG_SZ, L"", 2);
        HKEY handle = key.get();
        readWriteSettingsToRegistry::deleteRegistryValues(&handle, L"Values", c.prefix);
        EXPECT_EQ(c.kept, valueNamesOf(valuesPath)) << (c.prefix ? c.prefix : L"null");
        EXPECT_EQ(1u, valueNamesOf(valuesPath + L"\\Child").size()) << "subkeys are not touched";
    }
    storeText(L"abOwn", L""); // without a subkey, the handle's own values
    HKEY handle = key.get();
    readWriteSettingsToRegistry::deleteRegistryValues(&handle, nullptr, L"ab");
    EXPECT_FALSE(has(L"abOwn"));
}

TEST_F(registryStore, emptyRegistryKeyDeletesEverythingBelowTheKeyButTheKeyItself) {
    const std::wstring tree = std::wstring(storePath) + L"\\Tree";
    for (const wchar_t* path : {L"", L"\\A", L"\\A\\A1", L"\\A\\A1\\A11", L"\\B"}) {
        writeRawValue(HKEY_CURRENT_USER, (tree + path).c_str(), L"v", REG_DWORD, "\1\0\0\0", 4);
        writeRawValue(HKEY_CURRENT_USER, (tree + path).c_str(), longName.c_str(), REG_SZ, L"", 2);
    }
    storeText(L"outside", L"kept");
    HKEY handle = key.get();
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"Tree");
    EXPECT_EQ(0u, subkeyCount(tree));
    EXPECT_TRUE(valueNamesOf(tree).empty());
    EXPECT_TRUE(has(L"outside"));

    readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"Missing"); // created, empty
    EXPECT_EQ(0u, subkeyCount(std::wstring(storePath) + L"\\Missing"));
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, nullptr); // the handle's own key
    EXPECT_TRUE(valueNamesOf(storePath).empty());
    EXPECT_EQ(0u, subkeyCount(storePath));

    HKEY none = nullptr;
    readWriteSettingsToRegistry::emptyRegistryKey(&none, L"x");
    readWriteSettingsToRegistry::deleteRegistryValues(nullptr, L"x", nullptr);
}

TEST_F(registryStore, listValueNamesAppendsEveryNameThatEnumerates) {
    storeText(L"first", L"1");
    storeDword(L"second", 2);
    storeText(L"tooLongData", std::wstring(300, L'x')); // beyond the listing's data buffer
    stubString names = L"before\r\n";
    EXPECT_EQ(1, settings.listValueNames(names));
    const std::wstring text = static_cast<const wchar_t*>(names);
    EXPECT_TRUE(text == L"before\r\n'first'\r\n'second'\r\n" ||
                text == L"before\r\n'second'\r\n'first'\r\n")
        << text;
}
