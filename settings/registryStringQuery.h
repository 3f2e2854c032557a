#pragma once
// Reads a registry value as a string: one query into a fixed 522-byte buffer, and a second,
// exactly sized query only when the value is longer.
#include <windows.h>

#include <string>

// Queries valueName of key and takes the data as UTF-16 text that ends at its first terminator
// or at the end of the returned bytes (an odd trailing byte is dropped). The value's type is not
// examined. On failure text is left unchanged and the registry's status is returned.
[[nodiscard]] LSTATUS queryRegistryString(HKEY key, const wchar_t* valueName, std::wstring& text);

// The same through the 8-bit query, which converts name and text with the ANSI code page: data as
// 8-bit text that ends at its first terminator or at the end of the returned bytes.
[[nodiscard]] LSTATUS queryRegistryStringA(HKEY key, const char* valueName, std::string& text);

// First query's buffer size in bytes: 261 wide characters.
inline constexpr DWORD firstStringQueryBytes = 522;
