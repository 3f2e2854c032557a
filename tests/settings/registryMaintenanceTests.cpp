#include "tests/settings/registryTesting.h"

#include "support/stubString.h"

#include <set>

namespace {

std::set<std::wstring> valueNames(HKEY root, const std::wstring& path) {
    std::set<std::wstring> names;
    uniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return names;
    std::wstring name(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (::RegEnumValueW(key.get(), index, name.data(), &length, nullptr, nullptr, nullptr,
                            nullptr) != ERROR_SUCCESS)
            return names;
        names.insert(name.substr(0, length));
    }
}

DWORD subkeyCount(HKEY root, const std::wstring& path) {
    uniqueHkey key;
    DWORD count = 0;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return MAXDWORD;
    return count;
}

const std::wstring longName = L"ab" + std::wstring(298, L'x');

} // namespace

TEST_F(registryStore, deleteRegistryValuesRemovesExactlyThePrefixedValues) {
    struct {
        const wchar_t* prefix;
        std::set<std::wstring> kept;
    } const cases[] = {
        {L"ab", {L"Abz", L"xab", L"a", L""}},
        {L"", {}},
        {nullptr, {}},
        {L"zz", {L"ab", L"abc", L"ab_1", L"Abz", L"xab", L"a", L"", longName}},
    };
    const std::wstring path = std::wstring(storePath) + L"\\Values";
    for (const auto& c : cases) {
        for (const std::wstring& name :
             {std::wstring(L"ab"), std::wstring(L"abc"), std::wstring(L"ab_1"),
              std::wstring(L"Abz"), std::wstring(L"xab"), std::wstring(L"a"), std::wstring(),
              longName})
            writeRawValue(HKEY_CURRENT_USER, path.c_str(), name.c_str(), REG_SZ, L"", 2);
        writeRawValue(HKEY_CURRENT_USER, (path + L"\\Child").c_str(), L"ab", REG_SZ, L"", 2);

        HKEY handle = key.get();
        readWriteSettingsToRegistry::deleteRegistryValues(&handle, L"Values", c.prefix);
        EXPECT_EQ(c.kept, valueNames(HKEY_CURRENT_USER, path)) << (c.prefix ? c.prefix : L"null");
        EXPECT_EQ(1u, valueNames(HKEY_CURRENT_USER, path + L"\\Child").size())
            << "values of subkeys are not touched";
    }

    // Without a subkey the handle's own values go.
    storeText(L"abOwn", L"");
    HKEY handle = key.get();
    readWriteSettingsToRegistry::deleteRegistryValues(&handle, nullptr, L"ab");
    EXPECT_FALSE(has(L"abOwn"));

    HKEY none = nullptr;
    readWriteSettingsToRegistry::deleteRegistryValues(&none, L"Values", nullptr);
    readWriteSettingsToRegistry::deleteRegistryValues(nullptr, L"Values", nullptr);
    readWriteSettingsToRegistry::emptyRegistryKey(&none, nullptr);
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
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, tree.c_str()));
    EXPECT_EQ(0u, subkeyCount(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, tree).empty());
    EXPECT_TRUE(has(L"outside"));

    // A missing subkey is created, and stays empty.
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"Missing");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, (std::wstring(storePath) + L"\\Missing").c_str()));

    // Without a subkey the handle's own key is emptied.
    readWriteSettingsToRegistry::emptyRegistryKey(&handle, nullptr);
    EXPECT_TRUE(valueNames(HKEY_CURRENT_USER, storePath).empty());
    EXPECT_EQ(0u, subkeyCount(HKEY_CURRENT_USER, storePath));
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, storePath));
}

TEST_F(registryStore, listValueNamesAppendsEveryNameThatEnumerates) {
    storeText(L"first", L"1");
    storeDword(L"second", 2);
    storeText(L"tooLongData", std::wstring(300, L'x')); // beyond the enumeration's data buffer
    stubString names = L"before\r\n";
    EXPECT_EQ(1, settings.listValueNames(names));
    const std::wstring text = static_cast<const wchar_t*>(names);
    EXPECT_EQ(0u, text.find(L"before\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"'first'\r\n"));
    EXPECT_NE(std::wstring::npos, text.find(L"'second'\r\n"));
    EXPECT_EQ(std::wstring(L"before\r\n").size() + 9 + 10, text.size());

    readWriteSettingsToRegistry unbound;
    stubString empty;
    EXPECT_EQ(1, unbound.listValueNames(empty));
    EXPECT_EQ(0, empty.GetLength());
}
