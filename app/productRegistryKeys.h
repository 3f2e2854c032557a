#pragma once
// Where the product's logging values live in the registry.
#ifndef RC_INVOKED
#include <windows.h>

#include <string_view>

inline constexpr const wchar_t* softwareKeyName = L"Software";
inline constexpr const wchar_t* companyKeyName = L"Tarnwick";
inline constexpr const wchar_t* productKeyName = L"Driftmarkx64";
inline constexpr const wchar_t* defaultUserKeyName = L".DEFAULT";

// The product key below a root, one name per key; and below HKEY_USERS, the .DEFAULT user's.
inline constexpr std::wstring_view productKeyNames[] = {softwareKeyName, companyKeyName,
                                                        productKeyName};
inline constexpr std::wstring_view defaultUserProductKeyNames[] = {
    defaultUserKeyName, softwareKeyName, companyKeyName, productKeyName};

inline constexpr REGSAM productKeyReadAccess = KEY_READ;
inline constexpr REGSAM productKeyWriteAccess = KEY_READ | KEY_WRITE;

// Longest key path the path functions accept, in components (each component is held to the
// registry's own name limit).
inline constexpr int maxKeyPathComponents = 20;

// Stores text (null: the empty string) as REG_SZ, terminator included, in valueName of the key
// reached by walking keyPath (backslash-separated; missing keys are created) below root.
// Non-zero on success.
int writeRegistryStringAtPath(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                              const wchar_t* text);
// Reads valueName at keyPath into buffer (capacity in characters, terminator included).
// Non-zero on success. A value that does not fit gives 0 and an empty buffer; every other
// failure (null path, a key that cannot be opened, a missing value) gives 0 and leaves the
// buffer as it was.
int readRegistryStringAtPath(HKEY root, const wchar_t* keyPath, const wchar_t* valueName,
                             wchar_t* buffer, int capacity);
#endif
