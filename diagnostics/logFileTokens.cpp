// Function and file names as numbered tokens.
#include "diagnostics/logFile.h"

#include "diagnostics/logFileState.h"

#include <cstdint>

namespace {

// Numbers follow first use, from 1; 0 when the name could not be stored.
DWORD tokenNumber(stubCriticalSection& mapLock, stubMapStringToPtr& map, const wchar_t* name) {
    stubSyncLock lock(&mapLock, TRUE, nullptr);
    try {
        void* stored = nullptr;
        if (map.Lookup(name, stored))
            return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(stored));
        const auto number = static_cast<DWORD>(map.GetCount()) + 1;
        map.SetAt(name, reinterpret_cast<void*>(static_cast<std::uintptr_t>(number)));
        return number;
    } catch (...) {
        // Out of memory in the map.
        return 0;
    }
}

template <typename Char>
void formatToken(stubCriticalSection& mapLock, stubMapStringToPtr& map, const wchar_t* name,
                 Char* buffer, const Char* prefix) {
    buffer[0] = Char{};
    if (name == nullptr)
        return;
    const DWORD number = tokenNumber(mapLock, map, name);
    if (number != 0)
        logFile::formatHex(number, buffer, prefix, nullptr);
}

} // namespace

void logFile::getFunctionToken(const wchar_t* name, wchar_t* buffer) {
    if (buffer == nullptr)
        return;
    lastErrorKeeper keepError;
    formatToken(functionNameMapLock, functionNameMap, name, buffer, L"Function_");
}

void logFile::getFilenameMapToken(const wchar_t* name, wchar_t* buffer) {
    if (buffer == nullptr)
        return;
    lastErrorKeeper keepError;
    formatToken(fileNameMapLock, fileNameMap, name, buffer, L"FilenameMap_");
}

void logFile::writeFunctionToken(const wchar_t* path, const wchar_t* name) {
    lastErrorKeeper keepError;
    char token[tokenBufferLength];
    formatToken(functionNameMapLock, functionNameMap, name, token, "Function_");
    if (token[0] != '\0')
        writeToLogFile(path, token);
}

void logFile::writeFunctionToken(const wchar_t* path, const char* name) {
    if (name == nullptr)
        return;
    lastErrorKeeper keepError;
    try {
        const stubString wideName(name);
        writeFunctionToken(path, static_cast<const wchar_t*>(wideName));
    } catch (...) {
        // Out of memory for the conversion: no token.
    }
}

void logFile::writeFilenameToken(const wchar_t* path, const wchar_t* name) {
    lastErrorKeeper keepError;
    char token[tokenBufferLength];
    formatToken(fileNameMapLock, fileNameMap, name, token, "Filename_");
    if (token[0] != '\0')
        writeToLogFile(path, token);
}
