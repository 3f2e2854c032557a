// Windows error codes as log records.
#include "diagnostics/logFile.h"

#include "diagnostics/logFileState.h"

#include <strsafe.h>

#include <memory>

namespace {

struct localFreeDeleter {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};

// Appends whole characters while they fit, keeping the terminator; once a piece is cut,
// nothing more is added.
template <typename Char> class boundedRecord {
public:
    Char text[logFile::errorRecordLength] = {};

    void append(const Char* piece) {
        for (; piece != nullptr && *piece != Char{} && !full; piece += unitsAt(piece))
            put(piece, unitsAt(piece));
    }

    // Each byte becomes the 16-bit character of the same value.
    void appendWidened(const char* piece) {
        for (; piece != nullptr && *piece != '\0' && !full; ++piece) {
            const Char widened = static_cast<Char>(static_cast<unsigned char>(*piece));
            put(&widened, 1);
        }
    }

private:
    static size_t unitsAt(const char* at) {
        return ::IsDBCSLeadByte(static_cast<BYTE>(at[0])) && at[1] != '\0' ? 2 : 1;
    }
    static size_t unitsAt(const wchar_t* at) {
        return IS_HIGH_SURROGATE(at[0]) && IS_LOW_SURROGATE(at[1]) ? 2 : 1;
    }

    void put(const Char* units, size_t count) {
        if (length + count > logFile::errorRecordLength - 1) {
            full = true;
            return;
        }
        for (size_t i = 0; i < count; ++i)
            text[length++] = units[i];
        text[length] = Char{};
    }

    size_t length = 0;
    bool full = false;
};

bool errorRecordWanted(DWORD errorCode) {
    using namespace logFileState;
    return loggingOn() && errorCode != 0 && errorTextEnabled.load() != 0;
}

constexpr DWORD systemTextFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD defaultLanguage = 0x400;

void appendSystemText(boundedRecord<char>& record, DWORD errorCode) {
    char* systemText = nullptr;
    const DWORD length = ::FormatMessageA(systemTextFlags, nullptr, errorCode, defaultLanguage,
                                          reinterpret_cast<char*>(&systemText), 0, nullptr);
    const std::unique_ptr<char, localFreeDeleter> holder(systemText);
    if (length != 0 && systemText != nullptr) {
        record.append(systemText);
        return;
    }
    char unknown[32];
    StringCchPrintfA(unknown, ARRAYSIZE(unknown), "Unknown error 0x%08lx",
                     static_cast<unsigned long>(errorCode));
    record.append(unknown);
}

void appendSystemText(boundedRecord<wchar_t>& record, DWORD errorCode) {
    wchar_t* systemText = nullptr;
    const DWORD length = ::FormatMessageW(systemTextFlags, nullptr, errorCode, defaultLanguage,
                                          reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    const std::unique_ptr<wchar_t, localFreeDeleter> holder(systemText);
    if (length != 0 && systemText != nullptr) {
        record.append(systemText);
        return;
    }
    wchar_t unknown[32];
    StringCchPrintfW(unknown, ARRAYSIZE(unknown), L"Unknown error 0x%08lx",
                     static_cast<unsigned long>(errorCode));
    record.append(unknown);
}

} // namespace

void logFile::writeErrorToLogFile(const wchar_t* path, DWORD errorCode, const char* context,
                                  const char* name) {
    if (!errorRecordWanted(errorCode))
        return;
    lastErrorKeeper keepError;
    boundedRecord<char> record;
    appendSystemText(record, errorCode);
    record.append(" : ");
    record.append(context);
    if (name != nullptr) {
        record.append(" : ");
        record.append(name);
    }
    writeToLogFile(path, static_cast<const char*>(record.text));
}

void logFile::writeErrorToLogFile(const wchar_t* path, DWORD errorCode, const char* context,
                                  const wchar_t* name) {
    if (!errorRecordWanted(errorCode))
        return;
    lastErrorKeeper keepError;
    boundedRecord<wchar_t> record;
    appendSystemText(record, errorCode);
    record.append(L" : ");
    record.appendWidened(context);
    if (name != nullptr) {
        record.append(L" : ");
        record.append(name);
    }
    writeToLogFile(path, static_cast<const wchar_t*>(record.text));
}
