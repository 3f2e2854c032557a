#include "settings/registryStringQuery.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace {

std::wstring textFromData(const wchar_t* data, DWORD byteCount) {
    const std::size_t characters = byteCount / sizeof(wchar_t);
    return std::wstring(data, wcsnlen(data, characters));
}

std::string textFromData(const char* data, DWORD byteCount) {
    return std::string(data, strnlen(data, byteCount));
}

LSTATUS queryValue(HKEY key, const wchar_t* valueName, void* data, DWORD& byteCount) {
    return ::RegQueryValueExW(key, valueName, nullptr, nullptr, static_cast<BYTE*>(data),
                              &byteCount);
}

LSTATUS queryValue(HKEY key, const char* valueName, void* data, DWORD& byteCount) {
    return ::RegQueryValueExA(key, valueName, nullptr, nullptr, static_cast<BYTE*>(data),
                              &byteCount);
}

// One query into a fixed buffer of firstStringQueryBytes and, only when the value is longer, a
// second one into a block of the reported size (rounded up to whole characters). If the value
// grew in between, the second query fails with ERROR_MORE_DATA and so does the read.
template <class Char, class Name>
LSTATUS queryString(HKEY key, const Name* valueName, std::basic_string<Char>& text) {
    Char local[firstStringQueryBytes / sizeof(Char)];
    DWORD byteCount = firstStringQueryBytes;
    LSTATUS status = queryValue(key, valueName, local, byteCount);
    if (status == ERROR_SUCCESS) {
        text = textFromData(local, byteCount);
        return status;
    }
    if (status != ERROR_MORE_DATA)
        return status;

    const DWORD reported = byteCount;
    std::vector<Char> block(reported / sizeof(Char) + 1, Char());
    byteCount = reported;
    status = queryValue(key, valueName, block.data(), byteCount);
    if (status == ERROR_SUCCESS)
        text = textFromData(block.data(), byteCount);
    return status;
}

} // namespace

LSTATUS queryRegistryString(HKEY key, const wchar_t* valueName, std::wstring& text) {
    return queryString(key, valueName, text);
}

LSTATUS queryRegistryStringA(HKEY key, const char* valueName, std::string& text) {
    return queryString(key, valueName, text);
}
