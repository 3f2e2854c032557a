#include "app/productRegistryKeys.h"

#include "settings/registryStringQuery.h"
#include "support/uniqueResource.h"

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Splits keyPath at every backslash; empty components are kept (they reopen the key reached so
// far). Fails for paths the walk would not hold: too many components or an over-long name.
bool splitKeyPath(const wchar_t* keyPath, std::vector<std::wstring>& components) {
    const wchar_t* start = keyPath;
    for (;;) {
        const wchar_t* separator = std::wcschr(start, L'\\');
        const std::size_t length =
            separator != nullptr ? static_cast<std::size_t>(separator - start) : std::wcslen(start);
        if (length > static_cast<std::size_t>(maxKeyNameLength) ||
            components.size() == static_cast<std::size_t>(maxKeyPathComponents))
            return false;
        components.emplace_back(start, length);
        if (separator == nullptr)
            return true;
        start = separator + 1;
    }
}

// Opens (creating where missing) every component below root; the handles are closed, last
// opened first, when the chain goes out of scope.
class keyChain {
public:
    // Fails for a null path or one the walk cannot hold without touching the registry.
    [[nodiscard]] bool openPath(HKEY root, const wchar_t* keyPath, REGSAM access) {
        std::vector<std::wstring> components;
        return keyPath != nullptr && splitKeyPath(keyPath, components) &&
               open(root, components, access) == ERROR_SUCCESS;
    }
    HKEY last() const { return m_keys.back().get(); }

    // Vector elements are destroyed in no promised order; close the chain from its end.
    ~keyChain() {
        while (!m_keys.empty())
            m_keys.pop_back();
    }

private:
    [[nodiscard]] LSTATUS open(HKEY root, const std::vector<std::wstring>& components,
                               REGSAM access) {
        HKEY parent = root;
        for (const std::wstring& component : components) {
            uniqueHkey key;
            const LSTATUS status =
                ::RegCreateKeyExW(parent, component.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access, nullptr, key.put(), nullptr);
            if (status != ERROR_SUCCESS)
                return status;
            parent = key.get();
            m_keys.push_back(std::move(key));
        }
        return ERROR_SUCCESS;
    }

    std::vector<uniqueHkey> m_keys;
};

} // namespace

int writeRegistryStringAtPath(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                              const wchar_t* text) {
    keyChain chain;
    if (!chain.openPath(root, keyPath, productKeyWriteAccess))
        return 0;
    const wchar_t* data = text != nullptr ? text : L"";
    const std::size_t length = std::wcslen(data);
    if (length >= MAXDWORD / sizeof(wchar_t))
        return 0;
    const DWORD byteCount = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(chain.last(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                            byteCount) == ERROR_SUCCESS
               ? 1
               : 0;
}

int readRegistryStringAtPath(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                             wchar_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0)
        return 0;
    keyChain chain;
    if (!chain.openPath(root, keyPath, productKeyReadAccess))
        return 0;
    std::wstring text;
    if (queryRegistryString(chain.last(), valueName, text) != ERROR_SUCCESS)
        return 0;
    if (text.size() >= static_cast<std::size_t>(capacity)) {
        buffer[0] = L'\0';
        return 0;
    }
    std::wmemcpy(buffer, text.c_str(), text.size() + 1);
    return 1;
}
