// The log object: name, handle, open and close, piece writers and the log heap.
#include "diagnostics/logFile.h"

#include "diagnostics/logFileSecurity.h"
#include "diagnostics/logFileState.h"
#include "support/closeHandle.h"
#include "support/startupOrder.h"
#include "support/tarnHeap.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cwchar>
#include <initializer_list>

// The log unit's process-wide objects live together, so a program that links any part of the
// writer constructs all of them, in their start-up order (diagnostics: level 3, above platform).
enum : int {
    logLockRank = startupOrder::rank(3, 1),
    logFileRank = startupOrder::rank(3, 2),
    functionTokensRank = startupOrder::rank(3, 3),
    fileTokensRank = startupOrder::rank(3, 4),
};
stubCriticalSection logLock LOGSMITH_STARTUP_ORDER(logLockRank);
logFile theLogFile LOGSMITH_STARTUP_ORDER(logFileRank);
stubCriticalSection functionNameMapLock LOGSMITH_STARTUP_ORDER(functionTokensRank);
stubMapStringToPtr functionNameMap LOGSMITH_STARTUP_ORDER(functionTokensRank){10};
stubCriticalSection fileNameMapLock LOGSMITH_STARTUP_ORDER(fileTokensRank);
stubMapStringToPtr fileNameMap LOGSMITH_STARTUP_ORDER(fileTokensRank){10};

namespace logFileState {
std::atomic<int> loggingEnabled{0};
std::atomic<int> writeInProgress{0};
std::atomic<DWORD> lastOpenError{0};
std::atomic<int> errorTextEnabled{1};
std::atomic<const wchar_t*> timingLogFileName{nullptr};
} // namespace logFileState

namespace {

using namespace logFileState;

std::atomic<HANDLE> logHeap{nullptr};
// Name copies and record buffers still held in the log heap; the heap is not destroyed under
// them.
std::atomic<long> liveHeapBlocks{0};

std::atomic<logFile::fileWriteFunction> fileWriter{&::WriteFile};

// Longest path the system accepts; anything longer cannot name a file.
constexpr size_t maxPathLength = 32767;

// One file write takes a 32-bit count.
constexpr size_t maxRecordSize = MAXDWORD;

// Disk files are opened for appending only, so every write lands at the end of the file, also
// after other handles or processes have appended. For a named pipe that access right means
// "create a pipe instance", and devices have no end to append at: those are opened for writing.
bool namesPipeOrDevice(const wchar_t* path) {
    return std::wcsncmp(path, L"\\\\.\\", 4) == 0 || ::_wcsnicmp(path, L"\\\\?\\pipe\\", 9) == 0;
}

// Only a log that is not there yet is created (with the log's own security); any other failure
// to open it (access denied, a sharing conflict) is reported as itself. A log that another
// writer creates in between is opened after all.
HANDLE openForLogging(const wchar_t* path, DWORD access, SECURITY_ATTRIBUTES* security) {
    constexpr DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    for (const DWORD disposition :
         std::initializer_list<DWORD>{OPEN_EXISTING, CREATE_NEW, OPEN_EXISTING}) {
        const HANDLE handle = ::CreateFileW(path, access, sharing, security, disposition,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = ::GetLastError();
        const bool tryNext = disposition == OPEN_EXISTING ? error == ERROR_FILE_NOT_FOUND
                                                          : error == ERROR_FILE_EXISTS;
        if (handle != INVALID_HANDLE_VALUE || !tryNext)
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

logFile::~logFile() {
    if (!loggingOn())
        return;
    lastErrorKeeper keepError;
    // Abandoned, not closed: at process exit the system closes it.
    flushPending();
    fileHandle = INVALID_HANDLE_VALUE;
    freeFileName();
}

HANDLE logFile::getLogHeap() {
    HANDLE heap = logHeap.load();
    if (heap != nullptr)
        return heap;
    lastErrorKeeper keepError;
    HANDLE created = ::HeapCreate(0, 0x10000, 0);
    if (created == nullptr)
        return nullptr;
    if (!logHeap.compare_exchange_strong(heap, created)) {
        // Another thread was first; use its heap.
        ::HeapDestroy(created);
        return heap;
    }
    tarnHeaps::addHeap(created);
    return created;
}

int logFile::destroyLogHeap() {
    lastErrorKeeper keepError;
    stubSyncLock lock(&logLock, TRUE, nullptr);
    if (liveHeapBlocks.load() != 0)
        return 0;
    HANDLE heap = logHeap.exchange(nullptr);
    if (heap != nullptr) {
        ::HeapDestroy(heap);
        tarnHeaps::removeHeap(heap);
    }
    return 1;
}

logFile::fileWriteFunction logFile::setFileWriteFunction(fileWriteFunction writer) {
    return fileWriter.exchange(writer != nullptr ? writer : &::WriteFile);
}

void logFile::setFileName(const wchar_t* path) {
    if (fileName != nullptr && path != nullptr && std::wcscmp(fileName, path) == 0)
        return;
    lastErrorKeeper keepError;
    closeForNewName();
    // The old copy goes even while logging is off, or it would leak.
    releaseFileName();
    if (path != nullptr)
        takeFileName(path, ::wcsnlen(path, maxPathLength + 1));
}

void logFile::setFileName(const stubString& path) {
    const auto length = static_cast<size_t>(path.GetLength());
    const wchar_t* text = path;
    if (fileName != nullptr && std::wcslen(fileName) == length &&
        std::wmemcmp(fileName, text, length) == 0)
        return;
    lastErrorKeeper keepError;
    closeForNewName();
    releaseFileName();
    takeFileName(text, length);
}

void logFile::takeFileName(const wchar_t* path, size_t length) {
    // Too long to name a file: stay without a name, so the open fails.
    if (length > maxPathLength)
        return;
    const size_t size = (length + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(tarnHeapAlloc(getLogHeap(), 0, size));
    if (copy == nullptr)
        return;
    std::wmemcpy(copy, path, length);
    copy[length] = L'\0';
    fileName = copy;
    ++liveHeapBlocks;
}

void logFile::freeFileName() {
    if (!loggingOn() || fileName == nullptr)
        return;
    lastErrorKeeper keepError;
    releaseFileName();
}

void logFile::releaseFileName() {
    if (fileName == nullptr)
        return;
    tarnHeapFree(getLogHeap(), 0, fileName);
    fileName = nullptr;
    --liveHeapBlocks;
}

void logFile::openLogFile() {
    if (isOpen())
        return;
    lastErrorKeeper keepError;
    if (fileName == nullptr || fileName[0] == L'\0') {
        lastOpenError.store(ERROR_PATH_NOT_FOUND);
        return;
    }
    uniqueSecurityDescriptor descriptor = createLogFileSecurityDescriptor();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    SECURITY_ATTRIBUTES* security = descriptor ? &attributes : nullptr;
    const bool pipeOrDevice = namesPipeOrDevice(fileName);
    HANDLE handle =
        openForLogging(fileName, pipeOrDevice ? GENERIC_WRITE : FILE_APPEND_DATA, security);
    // A device named like a file (NUL, or a pipe through a server name) is opened again for
    // writing.
    if (!pipeOrDevice && handle != INVALID_HANDLE_VALUE &&
        ::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        handle = openForLogging(fileName, GENERIC_WRITE, security);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        lastOpenError.store(::GetLastError());
        return;
    }
    fileHandle = handle;
}

void logFile::closeLogFile() {
    if (!loggingOn() || !isOpen())
        return;
    lastErrorKeeper keepError;
    closeOpenFile();
}

void logFile::closeOpenFile() {
    flushPending();
    // No truncation: other writers may have appended after our last record.
    closeHandleIfValid(fileHandle);
    fileHandle = INVALID_HANDLE_VALUE;
    lastOpenError.store(0);
}

void logFile::closeForNewName() {
    // The open file belongs to the old name; records for the new one must not land in it.
    // Closed whatever the logging switch, so a name changed while logging is off cannot leave
    // the old file behind the new name.
    if (isOpen())
        closeOpenFile();
}

bool logFile::mayWritePiece() const {
    return loggingOn() && isOpen();
}

void logFile::append(const void* data, size_t size) {
    if (!isOpen())
        return;
    const auto* bytes = static_cast<const char*>(data);
    // Without the memory for the whole record, it goes out in parts.
    if (size > gatherCapacity() - pendingSize)
        growGatherBuffer(size);
    while (size > 0) {
        if (pendingSize == gatherCapacity())
            flushPending();
        const size_t count = std::min(size, gatherCapacity() - pendingSize);
        std::memcpy(gatherBuffer() + pendingSize, bytes, count);
        pendingSize += count;
        bytes += count;
        size -= count;
    }
    if (gathering == 0)
        flushPending();
}

bool logFile::growGatherBuffer(size_t extra) {
    if (extra > maxRecordSize - pendingSize)
        return false;
    lastErrorKeeper keepError;
    const size_t needed = pendingSize + extra;
    const size_t capacity = std::max(needed, std::min(gatherCapacity() * 2, maxRecordSize));
    auto* grown = static_cast<char*>(tarnHeapAlloc(getLogHeap(), 0, capacity));
    if (grown == nullptr)
        return false;
    std::memcpy(grown, gatherBuffer(), pendingSize);
    releaseLongRecord();
    longRecord = grown;
    longRecordCapacity = capacity;
    ++liveHeapBlocks;
    return true;
}

void logFile::releaseLongRecord() {
    if (longRecord == nullptr)
        return;
    tarnHeapFree(getLogHeap(), 0, longRecord);
    longRecord = nullptr;
    longRecordCapacity = 0;
    --liveHeapBlocks;
}

void logFile::flushPending() {
    if (pendingSize == 0)
        return;
    if (isOpen()) {
        lastErrorKeeper keepError;
        DWORD written = 0;
        // A failed write is not reported: diagnostics never fail their caller.
        fileWriter.load(std::memory_order_relaxed)(
            fileHandle, gatherBuffer(), static_cast<DWORD>(pendingSize), &written, nullptr);
    }
    pendingSize = 0;
    releaseLongRecord();
}

void logFile::writeText(const char* text) {
    if (!mayWritePiece() || text == nullptr)
        return;
    append(text, std::strlen(text));
}

void logFile::writeText(const wchar_t* text) {
    if (text == nullptr)
        return;
    append(text, std::wcslen(text) * sizeof(wchar_t));
}

void logFile::writeText(const stubString& text) {
    if (!mayWritePiece())
        return;
    const wchar_t* characters = text;
    append(characters, static_cast<size_t>(text.GetLength()) * sizeof(wchar_t));
}

void logFile::writeAnsi(const wchar_t* text) {
    if (!mayWritePiece() || text == nullptr)
        return;
    // The low byte of each code unit, a chunk at a time.
    char chunk[256];
    size_t used = 0;
    for (; *text != L'\0'; ++text) {
        chunk[used++] = static_cast<char>(static_cast<unsigned>(*text) & 0xFF);
        if (used == sizeof(chunk)) {
            append(chunk, used);
            used = 0;
        }
    }
    append(chunk, used);
}

void logFile::writeBytes(const void* data, int length) {
    if (!mayWritePiece() || data == nullptr || length <= 0)
        return;
    append(data, static_cast<size_t>(length));
}

void logFile::writeFixedLength(const void* data, int length) {
    if (length == 0)
        return;
    writeBytes(data, length);
}

void logFile::writeHex32(DWORD value) {
    if (!mayWritePiece())
        return;
    char text[16];
    formatHex(value, text, nullptr, nullptr);
    append(text, std::strlen(text));
}

void logFile::writeHex64(unsigned __int64 value) {
    if (!mayWritePiece())
        return;
    char text[24];
    formatHex(value, text, nullptr, nullptr);
    append(text, std::strlen(text));
}

void logFile::writeDecimal(int value) {
    if (!mayWritePiece())
        return;
    char text[16];
    const std::to_chars_result end = std::to_chars(text, text + sizeof(text), value);
    append(text, static_cast<size_t>(end.ptr - text));
}

void logFile::writeSpaces(unsigned count) {
    if (!mayWritePiece())
        return;
    char spaces[256];
    std::memset(spaces, ' ', sizeof(spaces));
    while (count > 0) {
        const unsigned chunk = std::min<unsigned>(count, sizeof(spaces));
        append(spaces, chunk);
        count -= chunk;
    }
}

void logFile::writeLine(const wchar_t* first, const wchar_t* second) {
    logRecord record(*this);
    writeText(first);
    writeText(second);
    writeText(L"\r\n");
}

void logFile::writeLineANSI(const wchar_t* first, const wchar_t* second) {
    logRecord record(*this);
    writeAnsi(first);
    writeAnsi(second);
    writeText("\r\n");
}
