#include "settings/registryStringQuery.h"

#include <cwchar>
#include <vector>

namespace {

std::wstring textFromData(const wchar_t* data, DWORD byteCount) {
    const std::size_t characters = byteCount / sizeof(wchar_t);
    return std::wstring(data, wcsnlen(data, characters));
}

} // namespace

LSTATUS queryRegistryString(HKEY key, const wchar_t* valueName, std::wstring& text) {
    wchar_t local[firstStringQueryBytes / sizeof(wchar_t)];
    DWORD byteCount = firstStringQueryBytes;
    LSTATUS status = ::RegQueryValueExW(key, valueName, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(local), &byteCount);
    if (status == ERROR_SUCCESS) {
        text = textFromData(local, byteCount);
        return status;
    }
    if (status != ERROR_MORE_DATA)
        return status;

    // The reported size, rounded up to whole characters; if the value grew in between, the
    // second query fails with ERROR_MORE_DATA and so does the read.
    const DWORD reported = byteCount;
    std::vector<wchar_t> block(reported / sizeof(wchar_t) + 1, L'\0');
    byteCount = reported;
    status = ::RegQueryValueExW(key, valueName, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(block.data()), &byteCount);
    if (status == ERROR_SUCCESS)
        text = textFromData(block.data(), byteCount);
    return status;
}
