// The public writes of theLogFile and the switches around them.
#include "diagnostics/logFile.h"

#include "diagnostics/logFileState.h"

#include <type_traits>

namespace {

using namespace logFileState;

void writeLineEnd(logFile& file) {
    file.writeText("\r\n");
}

// value, then " -> " value2 and " heap:" heap where given, " timestamp:", " threadid:", CR LF.
struct recordTail {
    unsigned __int64 value;
    const unsigned __int64* value2;
    const unsigned __int64* heap;
    DWORD timestamp;
    DWORD threadId;

    void writeTo(logFile& file) const {
        file.writeText(" ");
        file.writeHex64(value);
        if (value2 != nullptr) {
            file.writeText(" -> ");
            file.writeHex64(*value2);
        }
        if (heap != nullptr) {
            file.writeText(" heap:");
            file.writeHex64(*heap);
        }
        file.writeText(" timestamp:");
        file.writeHex32(timestamp);
        file.writeText(" threadid:");
        file.writeHex32(threadId);
        writeLineEnd(file);
    }
};

void writeLabel(logFile& file, const char* label) {
    file.writeText(label);
}
void writeLabel(logFile& file, const wchar_t* label) {
    file.writeAnsi(label);
}

// label (a wide label narrowed to ANSI), " ", value as hex64, CR LF.
template <typename charT>
void writeLabelledHex(const wchar_t* path, const wchar_t* lockName, const charT* label,
                      unsigned __int64 value, BOOL close) {
    writeLogRecord(path, lockName, close, [&](logFile& file) {
        writeLabel(file, label);
        file.writeText(" ");
        file.writeHex64(value);
        writeLineEnd(file);
    });
}

// The records 10 (narrow label) and 11 (wide label narrowed to ANSI).
template <typename charT>
void writeTimedRecord(const charT* label, const wchar_t* path, const recordTail& tail, BOOL close) {
    const wchar_t* lockName = std::is_same_v<charT, char> ? L"logFile::writeToLogFile 10()"
                                                          : L"logFile::writeToLogFile 11()";
    writeLogRecord(path, lockName, close, [&](logFile& file) {
        writeLabel(file, label);
        tail.writeTo(file);
    });
}

} // namespace

void logFile::writeIndentToLogFile(const wchar_t* path, unsigned count) {
    writeLogRecord(path, L"logFile::writeIndentToLogFile()", TRUE,
                   [&](logFile& file) { file.writeSpaces(count); });
}

void logFile::writeToLogFile(const wchar_t* path, const char* text) {
    writeLogRecord(path, L"logFile::writeToLogFile 2()", FALSE,
                   [&](logFile& file) { file.writeText(text); });
}

void logFile::writeToLogFile(const wchar_t* path, int value) {
    writeLogRecord(path, L"logFile::writeToLogFile 3()", TRUE, [&](logFile& file) {
        file.writeDecimal(value);
        writeLineEnd(file);
    });
}

void logFile::writeToLogFile(const wchar_t* path, DWORD value) {
    writeLogRecord(path, L"logFile::writeToLogFile 3()", FALSE, [&](logFile& file) {
        file.writeHex32(value);
        writeLineEnd(file);
    });
}

void logFile::writeToLogFile(const wchar_t* path, unsigned __int64 value) {
    writeLogRecord(path, L"logFile::writeToLogFile 4()", TRUE, [&](logFile& file) {
        file.writeHex64(value);
        writeLineEnd(file);
    });
}

void logFile::writeToLogFile(const wchar_t* path, const wchar_t* text) {
    writeLogRecord(path, L"logFile::writeToLogFile 5()", FALSE,
                   [&](logFile& file) { file.writeText(text); });
}

void logFile::writeToLogFile(const stubString& path, const stubString& text) {
    writeLogRecord(path, L"logFile::writeToLogFile 6()", FALSE,
                   [&](logFile& file) { file.writeText(text); });
}

void logFile::writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value) {
    writeLabelledHex(path, L"logFile::writeToLogFile 7()", label, value, TRUE);
}

void logFile::writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                             BOOL close) {
    writeLabelledHex(path, L"logFile::writeToLogFile 8()", label, value, close);
}

void logFile::writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                             BOOL close) {
    writeLabelledHex(path, L"logFile::writeToLogFile 9()", label, value, close);
}

void logFile::writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                             DWORD timestamp, DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, nullptr, nullptr, timestamp, threadId}, close);
}

void logFile::writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                             unsigned __int64 heap, DWORD timestamp, DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, nullptr, &heap, timestamp, threadId}, close);
}

void logFile::writeToLogFile(const wchar_t* path, const char* label, unsigned __int64 value,
                             unsigned __int64 value2, unsigned __int64 heap, DWORD timestamp,
                             DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, &value2, &heap, timestamp, threadId}, close);
}

void logFile::writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                             DWORD timestamp, DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, nullptr, nullptr, timestamp, threadId}, close);
}

void logFile::writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                             unsigned __int64 heap, DWORD timestamp, DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, nullptr, &heap, timestamp, threadId}, close);
}

void logFile::writeToLogFile(const wchar_t* path, const wchar_t* label, unsigned __int64 value,
                             unsigned __int64 value2, unsigned __int64 heap, DWORD timestamp,
                             DWORD threadId, BOOL close) {
    writeTimedRecord(label, path, {value, &value2, &heap, timestamp, threadId}, close);
}

void logFile::writeThreadId(const wchar_t* path) {
    writeLogRecord(path, L"logFile::writeThreadId()", FALSE, [&](logFile& file) {
        file.writeHex32(::GetCurrentThreadId());
        writeLineEnd(file);
    });
}

void logFile::optimisedOpenWriteClose(const wchar_t* path, const char* text) {
    writeLogRecord(path, L"logFile::optimisedOpenWriteClose 1()", FALSE,
                   [&](logFile& file) { file.writeText(text); });
}

void logFile::optimisedOpenWriteClose(const wchar_t* path, const wchar_t* text) {
    writeLogRecord(path, L"logFile::optimisedOpenWriteClose 2()", FALSE,
                   [&](logFile& file) { file.writeText(text); });
}

void logFile::writeToLogFileFixedLength(const wchar_t* path, const void* data, int length) {
    writeLogRecord(path, L"logFile::writeToLogFileFixedLength()", TRUE,
                   [&](logFile& file) { file.writeFixedLength(data, length); });
}

void logFile::writeToLogFileBytes(const wchar_t* path, const void* data, int length) {
    writeLogRecord(path, L"logFile::writeToLogFileBytes()", FALSE,
                   [&](logFile& file) { file.writeBytes(data, length); });
}

void logFile::writeToLogFileANSI(const wchar_t* path, const wchar_t* text) {
    writeLogRecord(path, L"logFile::writeToLogFileANSI()", FALSE,
                   [&](logFile& file) { file.writeAnsi(text); });
}

BOOL logFile::flushFileBuffers() {
    stubSyncLock lock(&logLock, TRUE, L"logFile::flushFileBuffers()");
    if (theLogFile.isOpen()) {
        theLogFile.flushPending();
        ::FlushFileBuffers(theLogFile.fileHandle);
    }
    return lock.release();
}

void logFile::enableLogging(BOOL on) {
    loggingEnabled.store(on ? 1 : 0);
}

BOOL logFile::isLoggingEnabled() {
    return loggingOn() ? TRUE : FALSE;
}

void logFile::enableErrorText(BOOL on) {
    errorTextEnabled.store(on ? 1 : 0);
}

void logFile::setTimingLogFile(const wchar_t* path) {
    timingLogFileName.store(path);
}

bool logFile::deleteLogFile(const wchar_t* path) {
    if (path == nullptr)
        return false;
    lastErrorKeeper keepError;
    if (loggingOn())
        ::DeleteFileW(path);
    // Asked of the name afterwards rather than taken from the delete: a file that was never
    // there counts as gone, and one that another handle keeps pending deletion still exists.
    if (::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return false;
    return isMissing(::GetLastError());
}

void logFile::forgetLogFile() {
    if (!loggingOn())
        return;
    lastErrorKeeper keepError;
    stubSyncLock lock(&logLock, TRUE, nullptr);
    theLogFile.flushPending();
    theLogFile.fileHandle = INVALID_HANDLE_VALUE;
    theLogFile.freeFileName();
}

DWORD logFile::getLastOpenError() {
    return lastOpenError.load();
}
