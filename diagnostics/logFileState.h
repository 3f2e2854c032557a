#pragma once
// State shared by the log writer's source files; not for use outside diagnostics/.
#include "diagnostics/logFile.h"
#include "diagnostics/stubSyncObject.h"
#include "support/win32Errors.h"

#include <windows.h>

#include <atomic>

namespace logFileState {

// Switches read without a lock from any thread; atomics keep that well defined.
extern std::atomic<int> loggingEnabled;
extern std::atomic<int> writeInProgress;
extern std::atomic<DWORD> lastOpenError;
extern std::atomic<int> errorTextEnabled;
extern std::atomic<const wchar_t*> timingLogFileName;

inline bool loggingOn() {
    return loggingEnabled.load(std::memory_order_relaxed) != 0;
}

} // namespace logFileState

// While alive, the pieces written to the file are gathered and reach it in one write.
class logRecord {
public:
    explicit logRecord(logFile& file) : file(file) { ++file.gathering; }
    ~logRecord() {
        if (--file.gathering == 0)
            file.flushPending();
    }
    logRecord(const logRecord&) = delete;
    logRecord& operator=(const logRecord&) = delete;

private:
    logFile& file;
};

// The frame of every public write: dropped while logging is off or another write is under
// way, otherwise under logLock with the caller's last-error value kept.
template <typename Path, typename Pieces>
void writeLogRecord(const Path& path, const wchar_t* lockName, BOOL close, Pieces pieces) {
    using namespace logFileState;
    if (!loggingOn() || writeInProgress.load() != 0)
        return;
    lastErrorKeeper keepError;
    stubSyncLock lock(&logLock, TRUE, lockName);
    writeInProgress.store(1);
    theLogFile.setFileName(path);
    theLogFile.openLogFile();
    {
        logRecord record(theLogFile);
        pieces(theLogFile);
    }
    if (close)
        theLogFile.closeLogFile();
    writeInProgress.store(0);
}
