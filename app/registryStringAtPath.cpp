#include "app/productRegistryKeys.h"

#include "settings/registryKeyChain.h"
#include "settings/registryStringQuery.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <string_view>

namespace {

// Opens (creating where missing, with the access given) every component of keyPath below root.
// A null path, or one of more components than the path functions hold, fails before the
// registry is asked; so does a component longer than a key name can be.
[[nodiscard]] bool openPath(registryKeyChain& chain, HKEY root, const wchar_t* keyPath,
                            REGSAM access) {
    if (keyPath == nullptr)
        return false;
    const std::wstring_view path(keyPath);
    if (std::count(path.begin(), path.end(), L'\\') >= maxKeyPathComponents)
        return false;
    return chain.open(root, path, access, keyChainMode::openOrCreate) == ERROR_SUCCESS;
}

} // namespace

int writeRegistryStringAtPath(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                              const wchar_t* text) {
    registryKeyChain chain;
    if (!openPath(chain, root, keyPath, productKeyWriteAccess))
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
    registryKeyChain chain;
    if (!openPath(chain, root, keyPath, productKeyReadAccess))
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
