#pragma once
// Test fixture that redirects HKEY_CURRENT_USER, HKEY_USERS and HKEY_LOCAL_MACHINE onto a
// private scratch tree under HKCU\Software\LogsmithTests\<test>, so no test touches real
// settings. Everything is restored and deleted in TearDown.
#include "support/uniqueResource.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

struct rawRegistryValue {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    // The data as UTF-16 text, without a trailing terminator.
    std::wstring text() const;
    DWORD dword() const;
};

// Reads a value with a raw query: exact type and byte count.
rawRegistryValue readRawValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName);
// Stores raw bytes of any type, creating the key.
void writeRawValue(HKEY root, const wchar_t* keyPath, const wchar_t* valueName, DWORD type,
                   const void* data, DWORD byteCount);
bool keyExists(HKEY root, const wchar_t* keyPath);

class scratchRegistry : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Redirects a predefined root onto a volatile key: creating a non-volatile subkey below it
    // fails with ERROR_CHILD_MUST_BE_VOLATILE.
    void makeRootRefuseCreation(HKEY predefinedRoot);
    // Redirects a predefined root onto a handle opened for reading only.
    void makeRootReadOnly(HKEY predefinedRoot);

    // Path of the scratch tree below the real HKCU, for diagnostics.
    const std::wstring& scratchPath() const { return m_scratchPath; }

private:
    void overrideRoot(HKEY predefinedRoot, const wchar_t* subkeyName, DWORD options, REGSAM access);

    std::wstring m_scratchPath;
    uniqueHkey m_scratchKey;
    std::vector<uniqueHkey> m_overrides;
};
