// The registry store's single values: numbers, times, binary data and strings.
#include "settings/readWriteSettingsToRegistry.h"

#include "diagnostics/logFile.h"
#include "settings/registryStringQuery.h"
#include "support/stubString.h"

#include <cstring>
#include <cwchar>

namespace {

// A failed operation leaves the registry's result in GetLastError, as Win32 functions that
// return 0 do, so a caller can tell the user why.
int succeeded(LSTATUS status) {
    if (status == ERROR_SUCCESS)
        return 1;
    ::SetLastError(static_cast<DWORD>(status));
    return 0;
}

// The checks that come before the registry is asked.
LSTATUS refusal(HKEY key, bool argumentsValid = true) {
    if (key == nullptr)
        return ERROR_INVALID_HANDLE;
    return argumentsValid ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

template <class Name>
void reportFailure(const wchar_t* tracePath, LSTATUS status, const char* traceText,
                   const Name* valueName) {
    if (status != ERROR_SUCCESS && tracePath != nullptr)
        logFile::writeErrorToLogFile(tracePath, static_cast<DWORD>(status), traceText, valueName);
}

// Bytes of a wide string and its terminator, when the registry can take them.
bool stringByteCount(std::size_t length, DWORD& byteCount) {
    if (length >= MAXDWORD / sizeof(wchar_t))
        return false;
    byteCount = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
    return true;
}

LSTATUS queryString(HKEY key, const wchar_t* valueName, std::wstring& text) {
    return queryRegistryString(key, valueName, text);
}

LSTATUS queryString(HKEY key, const char* valueName, std::string& text) {
    return queryRegistryStringA(key, valueName, text);
}

// The string read: any length; the output changes only on success. 8-bit data is converted
// by the output's own 8-bit assignment.
template <class Char, class Output>
int readStringInto(HKEY key, const Char* valueName, Output& value) {
    std::basic_string<Char> text;
    const LSTATUS status =
        key == nullptr ? ERROR_INVALID_HANDLE : queryString(key, valueName, text);
    if (status != ERROR_SUCCESS)
        return succeeded(status);
    value = text.c_str();
    return 1;
}

// Index just past the returned data, or -1 when the buffer has no room left for a terminator
// and the data does not hold one.
template <class Char> int terminatorIndex(const Char* buffer, int capacity, DWORD byteCount) {
    // An odd trailing byte of wide data is no character; the terminator replaces it.
    const int characters = static_cast<int>(byteCount / sizeof(Char));
    if (characters < capacity)
        return characters;
    for (int index = 0; index < characters; ++index) {
        if (buffer[index] == Char())
            return index;
    }
    return -1;
}

// Ends a buffer read: a terminated string on success, an empty one on failure. Data that fills
// the buffer without room for a terminator fails as data too long for it.
template <class Char>
int terminateRead(LSTATUS status, Char* buffer, int capacity, DWORD byteCount) {
    const int end = status == ERROR_SUCCESS ? terminatorIndex(buffer, capacity, byteCount) : -1;
    buffer[end >= 0 ? end : 0] = Char();
    if (end >= 0)
        return 1;
    return succeeded(status == ERROR_SUCCESS ? ERROR_MORE_DATA : status);
}

} // namespace

LSTATUS readWriteSettingsToRegistry::readFixedWidth(const wchar_t* valueName, void* value,
                                                    DWORD width) {
    if (currentKey == nullptr)
        return ERROR_INVALID_HANDLE;
    DWORD type = REG_NONE;
    DWORD byteCount = width;
    return ::RegQueryValueExW(currentKey, valueName, nullptr, &type, static_cast<BYTE*>(value),
                              &byteCount);
}

int readWriteSettingsToRegistry::readWord(const wchar_t* valueName, short& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readBinary64(const wchar_t* valueName, ULARGE_INTEGER& value) {
    // Copied whole on success: bytes beyond a shorter stored value are those of the zeroed
    // temporary.
    ULARGE_INTEGER stored{};
    if (!succeeded(readFixedWidth(valueName, &stored, sizeof(stored))))
        return 0;
    value = stored;
    return 1;
}

int readWriteSettingsToRegistry::readInt64(const wchar_t* valueName, std::int64_t& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readUInt64(const wchar_t* valueName, std::uint64_t& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readDword(const wchar_t* valueName, DWORD& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readDwordA(const char* valueName, DWORD& value) {
    if (currentKey == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    DWORD type = REG_NONE;
    DWORD byteCount = sizeof(value);
    return succeeded(::RegQueryValueExA(currentKey, valueName, nullptr, &type,
                                        reinterpret_cast<BYTE*>(&value), &byteCount));
}

int readWriteSettingsToRegistry::readDouble(const wchar_t* valueName, double& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readUInt(const wchar_t* valueName, unsigned int& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readInt(const wchar_t* valueName, int& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readWideChar(const wchar_t* valueName, wchar_t& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readUChar(const wchar_t* valueName, unsigned char& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readChar(const wchar_t* valueName, char& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readTime(const wchar_t* valueName, time_t& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readString(const wchar_t* valueName, stubString& value) {
    return readStringInto(currentKey, valueName, value);
}

int readWriteSettingsToRegistry::readStringA(const char* valueName, stubString& value) {
    return readStringInto(currentKey, valueName, value);
}

int readWriteSettingsToRegistry::readCString(const wchar_t* valueName, CString& value) {
    return readStringInto(currentKey, valueName, value);
}

int readWriteSettingsToRegistry::readTextA(const char* valueName, char* buffer, int capacity) {
    if (const LSTATUS refused = refusal(currentKey, buffer != nullptr && capacity > 0))
        return succeeded(refused);
    DWORD byteCount = static_cast<DWORD>(capacity);
    const LSTATUS status = ::RegQueryValueExA(currentKey, valueName, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &byteCount);
    return terminateRead(status, buffer, capacity, byteCount);
}

int readWriteSettingsToRegistry::readText(const wchar_t* valueName, wchar_t* buffer, int capacity) {
    if (const LSTATUS refused = refusal(currentKey, buffer != nullptr && capacity > 0))
        return succeeded(refused);
    DWORD byteCount = static_cast<DWORD>(capacity) * sizeof(wchar_t);
    const LSTATUS status = ::RegQueryValueExW(currentKey, valueName, nullptr, nullptr,
                                              reinterpret_cast<BYTE*>(buffer), &byteCount);
    return terminateRead(status, buffer, capacity, byteCount);
}

LSTATUS readWriteSettingsToRegistry::setValue(const wchar_t* tracePath, const wchar_t* valueName,
                                              DWORD type, const void* data, DWORD byteCount,
                                              const char* traceText) {
    const LSTATUS status =
        ::RegSetValueExW(currentKey, valueName, 0, type, static_cast<const BYTE*>(data), byteCount);
    reportFailure(tracePath, status, traceText, valueName);
    return status;
}

LSTATUS readWriteSettingsToRegistry::setStringValue(const wchar_t* tracePath,
                                                    const wchar_t* valueName, const wchar_t* text,
                                                    std::size_t length, const char* traceText) {
    DWORD byteCount = 0;
    if (!stringByteCount(length, byteCount)) {
        reportFailure(tracePath, ERROR_INVALID_PARAMETER, traceText, valueName);
        return ERROR_INVALID_PARAMETER;
    }
    return setValue(tracePath, valueName, REG_SZ, text, byteCount, traceText);
}

// An unbound object has nothing to report.
LSTATUS readWriteSettingsToRegistry::writeValue(const wchar_t* tracePath, const wchar_t* valueName,
                                                DWORD type, const void* data, DWORD byteCount,
                                                const char* traceText) {
    return currentKey == nullptr ? ERROR_INVALID_HANDLE
                                 : setValue(tracePath, valueName, type, data, byteCount, traceText);
}

LSTATUS readWriteSettingsToRegistry::writeStringValue(const wchar_t* tracePath,
                                                      const wchar_t* valueName, const wchar_t* text,
                                                      std::size_t length, const char* traceText) {
    return currentKey == nullptr ? ERROR_INVALID_HANDLE
                                 : setStringValue(tracePath, valueName, text, length, traceText);
}

int readWriteSettingsToRegistry::writeString(const wchar_t* tracePath, const wchar_t* valueName,
                                             const stubString& value) {
    return succeeded(writeStringValue(tracePath, valueName, value,
                                      static_cast<std::size_t>(value.GetLength()),
                                      "setting string value"));
}

int readWriteSettingsToRegistry::writeStringA(const wchar_t* tracePath, const char* valueName,
                                              const stubString& value) {
    if (currentKey == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    // Stored under the converted name; a failure names the value as the caller did.
    const stubString wideName(valueName);
    DWORD byteCount = 0;
    const LSTATUS status =
        stringByteCount(static_cast<std::size_t>(value.GetLength()), byteCount)
            ? ::RegSetValueExW(currentKey, wideName, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(static_cast<const wchar_t*>(value)),
                               byteCount)
            : ERROR_INVALID_PARAMETER;
    reportFailure(tracePath, status, "setting string value", valueName);
    return succeeded(status);
}

int readWriteSettingsToRegistry::writeTextA(const wchar_t* tracePath, const char* valueName,
                                            const char* text) {
    if (currentKey == nullptr)
        return succeeded(ERROR_INVALID_HANDLE);
    const std::size_t length = text != nullptr ? std::strlen(text) + 1 : 0;
    const LSTATUS status = length < MAXDWORD ? ::RegSetValueExA(currentKey, valueName, 0, REG_SZ,
                                                                reinterpret_cast<const BYTE*>(text),
                                                                static_cast<DWORD>(length))
                                             : ERROR_INVALID_PARAMETER;
    reportFailure(tracePath, status, "setting string value", valueName);
    return succeeded(status);
}

int readWriteSettingsToRegistry::writeBinary64(const wchar_t* tracePath, const wchar_t* valueName,
                                               const ULARGE_INTEGER& value) {
    const ULARGE_INTEGER stored = value;
    return succeeded(writeValue(tracePath, valueName, REG_BINARY, &stored, sizeof(stored),
                                "setting string value"));
}

int readWriteSettingsToRegistry::writeCString(const wchar_t* tracePath, const wchar_t* valueName,
                                              const CString& value) {
    return succeeded(writeStringValue(tracePath, valueName, value,
                                      static_cast<std::size_t>(value.GetLength()),
                                      "setting string value"));
}

int readWriteSettingsToRegistry::writeInt64(const wchar_t* tracePath, const wchar_t* valueName,
                                            std::int64_t value) {
    return succeeded(writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value),
                                "setting unsigned __int64 value"));
}

int readWriteSettingsToRegistry::writeUInt64(const wchar_t* tracePath, const wchar_t* valueName,
                                             std::uint64_t value) {
    return succeeded(writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value),
                                "setting unsigned __int64 value"));
}

int readWriteSettingsToRegistry::writeDword(const wchar_t* tracePath, const wchar_t* valueName,
                                            DWORD value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value), "setting dword value"));
}

int readWriteSettingsToRegistry::writeDouble(const wchar_t* tracePath, const wchar_t* valueName,
                                             double value) {
    return succeeded(writeValue(tracePath, valueName, REG_BINARY, &value, sizeof(value),
                                "setting double value"));
}

int readWriteSettingsToRegistry::writeWord(const wchar_t* tracePath, const wchar_t* valueName,
                                           short value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value), "setting dword value"));
}

int readWriteSettingsToRegistry::writeUInt(const wchar_t* tracePath, const wchar_t* valueName,
                                           unsigned int value) {
    return succeeded(writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value),
                                "setting unsigned int value"));
}

int readWriteSettingsToRegistry::writeInt(const wchar_t* tracePath, const wchar_t* valueName,
                                          int value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value), "setting int value"));
}

int readWriteSettingsToRegistry::writeWideChar(const wchar_t* tracePath, const wchar_t* valueName,
                                               wchar_t value) {
    return succeeded(writeValue(tracePath, valueName, REG_BINARY, &value, sizeof(value),
                                "setting wchar_t value"));
}

int readWriteSettingsToRegistry::writeUChar(const wchar_t* tracePath, const wchar_t* valueName,
                                            unsigned char value) {
    return succeeded(writeValue(tracePath, valueName, REG_BINARY, &value, sizeof(value),
                                "setting unsigned char value"));
}

int readWriteSettingsToRegistry::writeChar(const wchar_t* tracePath, const wchar_t* valueName,
                                           char value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_BINARY, &value, sizeof(value), "setting char value"));
}

int readWriteSettingsToRegistry::writeText(const wchar_t* tracePath, const wchar_t* valueName,
                                           const wchar_t* text, int length) {
    // A byte count made from a negative length would send the registry reading far past the
    // caller's text.
    const LSTATUS refused = refusal(currentKey, length >= 0 && (text != nullptr || length == 0));
    if (refused == ERROR_INVALID_PARAMETER)
        reportFailure(tracePath, refused, "setting string value", valueName);
    if (refused != ERROR_SUCCESS)
        return succeeded(refused);
    return succeeded(writeValue(tracePath, valueName, REG_SZ, text,
                                static_cast<DWORD>(length) * sizeof(wchar_t),
                                "setting string value"));
}

int readWriteSettingsToRegistry::writeTime(const wchar_t* tracePath, const wchar_t* valueName,
                                           time_t value) {
    return succeeded(writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value),
                                "setting unsigned time_t value"));
}
