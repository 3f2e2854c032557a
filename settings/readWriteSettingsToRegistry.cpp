#include "settings/readWriteSettingsToRegistry.h"

#include "diagnostics/logFile.h"
#include "settings/registryStringQuery.h"

namespace {
int succeeded(LSTATUS status) {
    return status == ERROR_SUCCESS ? 1 : 0;
}
} // namespace

readWriteSettingsToRegistry::readWriteSettingsToRegistry() : currentKey(nullptr) {}

readWriteSettingsToRegistry::~readWriteSettingsToRegistry() {
    currentKey = nullptr;
    closeKeys();
}

void readWriteSettingsToRegistry::attachKey(HKEY key) {
    currentKey = key;
}

void readWriteSettingsToRegistry::closeKeys() {
    for (int index = openedKeys.GetUpperBound(); index >= 0; --index) {
        HKEY key = static_cast<HKEY>(openedKeys.GetAt(index));
        if (key != nullptr)
            ::RegCloseKey(key);
    }
    openedKeys.RemoveAll();
    currentKey = nullptr;
}

LSTATUS readWriteSettingsToRegistry::readFixedWidth(const wchar_t* valueName, void* value,
                                                    DWORD width) {
    if (currentKey == nullptr)
        return ERROR_INVALID_HANDLE;
    DWORD type = REG_NONE;
    DWORD byteCount = width;
    return ::RegQueryValueExW(currentKey, valueName, nullptr, &type, static_cast<BYTE*>(value),
                              &byteCount);
}

int readWriteSettingsToRegistry::readDword(const wchar_t* valueName, DWORD& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readInt(const wchar_t* valueName, int& value) {
    return succeeded(readFixedWidth(valueName, &value, sizeof(value)));
}

int readWriteSettingsToRegistry::readCString(const wchar_t* valueName, CString& value) {
    if (currentKey == nullptr)
        return 0;
    std::wstring text;
    if (queryRegistryString(currentKey, valueName, text) != ERROR_SUCCESS)
        return 0;
    value = text.c_str();
    return 1;
}

LSTATUS readWriteSettingsToRegistry::writeValue(const wchar_t* tracePath, const wchar_t* valueName,
                                                DWORD type, const void* data, DWORD byteCount,
                                                const char* traceText) {
    // An unbound object has nothing to report.
    if (currentKey == nullptr)
        return ERROR_INVALID_HANDLE;
    const LSTATUS status =
        ::RegSetValueExW(currentKey, valueName, 0, type, static_cast<const BYTE*>(data), byteCount);
    if (status != ERROR_SUCCESS && tracePath != nullptr)
        logFile::writeErrorToLogFile(tracePath, static_cast<DWORD>(status), traceText, valueName);
    return status;
}

LSTATUS readWriteSettingsToRegistry::writeString(const wchar_t* tracePath, const wchar_t* valueName,
                                                 const wchar_t* text, std::size_t length,
                                                 const char* traceText) {
    // The stored data is the characters and their terminator.
    if (length >= MAXDWORD / sizeof(wchar_t))
        return ERROR_INVALID_PARAMETER;
    const DWORD byteCount = static_cast<DWORD>((length + 1) * sizeof(wchar_t));
    return writeValue(tracePath, valueName, REG_SZ, text, byteCount, traceText);
}

int readWriteSettingsToRegistry::writeDword(const wchar_t* tracePath, const wchar_t* valueName,
                                            DWORD value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value), "setting dword value"));
}

int readWriteSettingsToRegistry::writeInt(const wchar_t* tracePath, const wchar_t* valueName,
                                          int value) {
    return succeeded(
        writeValue(tracePath, valueName, REG_DWORD, &value, sizeof(value), "setting int value"));
}

int readWriteSettingsToRegistry::writeCString(const wchar_t* tracePath, const wchar_t* valueName,
                                              const CString& value) {
    return succeeded(writeString(tracePath, valueName, value,
                                 static_cast<std::size_t>(value.GetLength()),
                                 "setting string value"));
}
