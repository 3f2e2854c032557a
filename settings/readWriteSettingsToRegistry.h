#pragma once
// Settings kept as the values of one open registry key, each named by the setting's name.
//
// A key given to attachKey is borrowed and never closed here; only keys the object opened
// itself (openedKeys) are closed, last opened first. Every operation returns non-zero on
// success and 0 on failure; a read that fails leaves the caller's variable untouched, so the
// caller sets its default before reading.
#include "framework/CString.h"
#include "framework/CollectionClasses.h"

#include <windows.h>

class readWriteSettingsToRegistry {
public:
    readWriteSettingsToRegistry();
    virtual ~readWriteSettingsToRegistry();

    readWriteSettingsToRegistry(const readWriteSettingsToRegistry&) = delete;
    readWriteSettingsToRegistry& operator=(const readWriteSettingsToRegistry&) = delete;

    void attachKey(HKEY key);
    void closeKeys();

    // Fixed-width reads of 4 bytes: a longer stored value fails, a shorter one fills only its
    // own leading bytes.
    int readDword(const wchar_t* valueName, DWORD& value);
    int readInt(const wchar_t* valueName, int& value);
    // Any length; the data ends at its first terminator or at the end of the stored bytes.
    int readCString(const wchar_t* valueName, CString& value);

    // tracePath names a diagnostic trace file or is null; it never changes the result.
    int writeDword(const wchar_t* tracePath, const wchar_t* valueName, DWORD value);
    int writeInt(const wchar_t* tracePath, const wchar_t* valueName, int value);
    int writeCString(const wchar_t* tracePath, const wchar_t* valueName, const CString& value);

    HKEY getCurrentKey() const { return currentKey; }

protected:
    [[nodiscard]] LSTATUS readFixedWidth(const wchar_t* valueName, void* value, DWORD width);
    // Stores one value. A failure is reported into the trace file at tracePath (when given and
    // while diagnostic logging is on), with traceText naming the operation.
    [[nodiscard]] LSTATUS writeValue(const wchar_t* tracePath, const wchar_t* valueName, DWORD type,
                                     const void* data, DWORD byteCount, const char* traceText);
    [[nodiscard]] LSTATUS writeString(const wchar_t* tracePath, const wchar_t* valueName,
                                      const wchar_t* text, std::size_t length,
                                      const char* traceText);

    HKEY currentKey;
    CPtrArray openedKeys;
};
