#pragma once
// The library's own locks: an abstract lock object, its critical-section implementation, and a
// scoped lock that can trace every lock and unlock to the debugger output.
#include "support/CSentinelStubObject.h"

#include <windows.h>

class stubSyncObject : public CSentinelStubObject {
public:
    stubSyncObject() = default;
    // Closes handle when one is set.
    ~stubSyncObject() override;

    stubSyncObject(const stubSyncObject&) = delete;
    stubSyncObject& operator=(const stubSyncObject&) = delete;

    // Non-zero when handle was signalled within timeoutMs.
    virtual BOOL lock(DWORD timeoutMs);
    virtual BOOL lock();
    // Release with an argument pair; the base has nothing to release.
    virtual BOOL unlock(DWORD count, void* data);
    virtual BOOL unlock() = 0;

    // Kernel object the base lock waits on; null when the object has none.
    HANDLE handle = nullptr;
};

// Recursive: the owning thread may take it again. The inherited handle stays null.
class stubCriticalSection : public stubSyncObject {
public:
    stubCriticalSection();
    ~stubCriticalSection() override;

    // Waits without limit: a critical section has no timed enter.
    BOOL lock(DWORD timeoutMs) override;
    BOOL lock() override;
    using stubSyncObject::unlock;
    BOOL unlock() override;

    CRITICAL_SECTION criticalSection;
};

// Scoped lock living on the stack of the code it guards. A null name is never traced except for
// a failed lock in the constructor; the name is not copied.
class stubSyncLock {
public:
    stubSyncLock(stubSyncObject* object, BOOL lockNow, const wchar_t* name);
    ~stubSyncLock();

    stubSyncLock(const stubSyncLock&) = delete;
    stubSyncLock& operator=(const stubSyncLock&) = delete;

    // Non-zero when the lock is held afterwards. The guarded code runs either way.
    BOOL acquire(DWORD timeoutMs);
    // Non-zero when the lock is no longer held afterwards; a second release does nothing.
    BOOL release();
    // The same through the object's unlock(count, data), never traced.
    BOOL release(DWORD count, void* data);

private:
    stubSyncObject* object;
    HANDLE handle;
    int locked;
    const wchar_t* name;
};

// From then on, on the last thread of the process, locks are counted as taken and released
// without touching the real lock (another thread may have died holding it). Never cleared.
void setProcessShuttingDown();
// True when the calling thread is the only one left in the process; false when that cannot be
// asked.
bool isLastThread();

// Named scoped locks write trace lines while this is non-zero; 0 at start.
void enableLockTracing(BOOL on);
BOOL isLockTracingEnabled();

// Trace lines are built in a buffer of this many characters, terminator included.
constexpr int lockTraceBufferLength = 1000;
