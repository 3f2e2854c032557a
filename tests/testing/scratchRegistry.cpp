#include "tests/testing/scratchRegistry.h"

#include <cstring>

std::wstring rawRegistryValue::text() const {
    std::wstring result(bytes.size() / sizeof(wchar_t), L'\0');
    if (!result.empty())
        std::memcpy(result.data(), bytes.data(), result.size() * sizeof(wchar_t));
    while (!result.empty() && result.back() == L'\0')
        result.pop_back();
    return result;
}

DWORD rawRegistryValue::dword() const {
    DWORD value = 0;
    std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof(value)));
    return value;
}

rawRegistryValue readRawValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName) {
    rawRegistryValue value;
    uniqueHkey key;
    value.status = ::RegOpenKeyExW(root, keyPath, 0, KEY_READ, key.put());
    if (value.status != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    value.status = ::RegQueryValueExW(key.get(), valueName, nullptr, &value.type, nullptr, &size);
    if (value.status != ERROR_SUCCESS)
        return value;
    value.bytes.resize(size);
    value.status =
        ::RegQueryValueExW(key.get(), valueName, nullptr, &value.type, value.bytes.data(), &size);
    value.bytes.resize(size);
    return value;
}

void writeRawValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, DWORD type,
                   const void* data, DWORD byteCount) {
    uniqueHkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(root, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                               nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExW(key.get(), valueName, 0, type,
                                              static_cast<const BYTE*>(data), byteCount));
}

bool keyExists(HKEY root, const wchar_t* keyPath) {
    uniqueHkey key;
    return ::RegOpenKeyExW(root, keyPath, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void scratchRegistry::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (c == '/' || c == '\\')
            c = '_';
    m_scratchPath = L"Software\\LogsmithTests\\" + std::wstring(name.begin(), name.end());

    ::RegDeleteTreeW(HKEY_CURRENT_USER, m_scratchPath.c_str());
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, m_scratchPath.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, m_scratchKey.put(), nullptr));
    overrideRoot(HKEY_CURRENT_USER, L"HKCU", 0, KEY_ALL_ACCESS);
    overrideRoot(HKEY_USERS, L"HKU", 0, KEY_ALL_ACCESS);
    overrideRoot(HKEY_LOCAL_MACHINE, L"HKLM", 0, KEY_ALL_ACCESS);
}

void scratchRegistry::overrideRoot(HKEY predefinedRoot, const wchar_t* subkeyName, DWORD options,
                                   REGSAM access) {
    uniqueHkey target;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(m_scratchKey.get(), subkeyName, 0, nullptr, options,
                                               access, nullptr, target.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(predefinedRoot, target.get()));
    m_overrides.push_back(std::move(target));
}

void scratchRegistry::makeRootRefuseCreation(HKEY predefinedRoot) {
    overrideRoot(predefinedRoot, L"volatile", REG_OPTION_VOLATILE, KEY_ALL_ACCESS);
}

void scratchRegistry::makeRootReadOnly(HKEY predefinedRoot) {
    overrideRoot(predefinedRoot, L"readonly", 0, KEY_READ);
}

void scratchRegistry::TearDown() {
    ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    ::RegOverridePredefKey(HKEY_USERS, nullptr);
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    m_overrides.clear();
    m_scratchKey.reset();
    if (!m_scratchPath.empty())
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_scratchPath.c_str());
}
