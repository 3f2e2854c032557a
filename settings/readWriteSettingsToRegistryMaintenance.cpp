// Key maintenance of the registry store: listing and deleting values, emptying keys.
#include "settings/readWriteSettingsToRegistry.h"

#include "support/stubString.h"
#include "support/uniqueResource.h"

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Room for the longest value name the registry allows: a name the enumeration cannot hold
// would survive the deletion.
constexpr DWORD longestValueName = 16383;
constexpr DWORD keyNameBufferLength = 260;

bool beginsWith(const wchar_t* name, const wchar_t* prefix) {
    return prefix == nullptr || std::wcsncmp(name, prefix, std::wcslen(prefix)) == 0;
}

// The key to work on: the handle itself, or its subkey opened (created when missing) here.
class workingKey {
public:
    workingKey(HKEY key, const wchar_t* subkey) : m_key(key) {
        if (subkey == nullptr)
            return;
        m_key = nullptr;
        if (::RegCreateKeyExW(key, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr,
                              m_opened.put(), nullptr) == ERROR_SUCCESS)
            m_key = m_opened.get();
    }
    HKEY get() const { return m_key; }

private:
    uniqueHkey m_opened;
    HKEY m_key;
};

// Every value name of key, however long. No data is asked for, so only a name could overflow,
// and the buffer holds the longest there is.
template <class Visit> void forEachValueName(HKEY key, Visit visit) {
    std::vector<wchar_t> name(longestValueName + 1);
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LSTATUS status =
            ::RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            return;
        visit(name.data(), length);
    }
}

std::vector<std::wstring> valueNamesWithPrefix(HKEY key, const wchar_t* prefix) {
    std::vector<std::wstring> names;
    forEachValueName(key, [&](const wchar_t* name, DWORD length) {
        if (beginsWith(name, prefix))
            names.emplace_back(name, length);
    });
    return names;
}

std::vector<std::wstring> subkeyNames(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[keyNameBufferLength];
    for (DWORD index = 0;; ++index) {
        const LSTATUS status = ::RegEnumKeyW(key, index, name, keyNameBufferLength);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        names.emplace_back(name);
    }
    return names;
}

} // namespace

void readWriteSettingsToRegistry::visitValueNames(
    const std::function<void(const wchar_t*)>& visit) {
    forEachValueName(currentKey, [&](const wchar_t* name, DWORD) { visit(name); });
}

int readWriteSettingsToRegistry::listValueNames(stubString& names) {
    visitValueNames([&](const wchar_t* name) {
        names += L"'";
        names += name;
        names += L"'\r\n";
    });
    return 1;
}

void readWriteSettingsToRegistry::deleteRegistryValues(HKEY* key, const wchar_t* subkey,
                                                       const wchar_t* prefix) {
    if (key == nullptr || *key == nullptr)
        return;
    const workingKey target(*key, subkey);
    if (target.get() == nullptr)
        return;
    // Deleting while enumerating would shift the indices; collect first.
    for (const std::wstring& name : valueNamesWithPrefix(target.get(), prefix))
        ::RegDeleteValueW(target.get(), name.c_str());
}

void readWriteSettingsToRegistry::emptyRegistryKey(HKEY* key, const wchar_t* subkey) {
    if (key == nullptr || *key == nullptr)
        return;
    const workingKey target(*key, subkey);
    if (target.get() == nullptr)
        return;
    HKEY handle = target.get();
    const std::vector<std::wstring> children = subkeyNames(handle);
    deleteRegistryValues(&handle, nullptr, nullptr);
    for (const std::wstring& child : children) {
        emptyRegistryKey(&handle, child.c_str());
        ::RegDeleteKeyW(handle, child.c_str());
    }
}
