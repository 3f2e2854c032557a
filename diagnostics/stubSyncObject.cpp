#include "diagnostics/stubSyncObject.h"

#include <strsafe.h>

#include <atomic>
#include <cstdint>
#include <cwchar>

namespace {

// Switches read without a lock from any thread; atomics keep that well defined.
std::atomic<int> lockTracingEnabled{0};
std::atomic<int> processShuttingDown{0};

using queryInformationThreadFunction = LONG(WINAPI*)(HANDLE thread, int infoClass, void* info,
                                                     ULONG infoLength, ULONG* returnLength);
std::atomic<queryInformationThreadFunction> queryInformationThread{nullptr};
// ThreadAmILastThread: non-zero when the calling thread is the last one of its process.
constexpr int lastThreadInfoClass = 12;

// ntdll is mapped into every process, so it is never loaded or freed here. Concurrent first
// uses store the same address.
void resolveQueryInformationThread() {
    if (queryInformationThread.load(std::memory_order_relaxed) != nullptr)
        return;
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return;
    const FARPROC found = ::GetProcAddress(ntdll, "NtQueryInformationThread");
    queryInformationThread.store(
        reinterpret_cast<queryInformationThreadFunction>(reinterpret_cast<void*>(found)),
        std::memory_order_relaxed);
}

bool skipRealLock() {
    return processShuttingDown.load(std::memory_order_relaxed) != 0 && isLastThread();
}

// One trace line, always ending in CR LF; an over-long name is cut so the line fits.
// event is one of the fixed texts below.
void formatLockTraceLine(wchar_t (&line)[lockTraceBufferLength], const wchar_t* event,
                         DWORD threadId, const wchar_t* name, HANDLE handle) {
    // "%u: <event><name> 0x%p\r\n", with the pointer as 16 upper-case digits.
    wchar_t head[32];
    StringCchPrintfW(head, ARRAYSIZE(head), L"%lu: ", static_cast<unsigned long>(threadId));

    wchar_t tail[32] = L" 0x";
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    constexpr int digitCount = static_cast<int>(sizeof(value) * 2);
    for (int i = 0; i < digitCount; ++i)
        tail[3 + i] = L"0123456789ABCDEF"[(value >> ((digitCount - 1 - i) * 4)) & 0xF];
    tail[3 + digitCount] = L'\0';
    StringCchCatW(tail, ARRAYSIZE(tail), L"\r\n");

    // The name gets what room is left; the fixed parts always fit.
    const size_t tailLength = std::wcslen(tail);
    StringCchCopyW(line, lockTraceBufferLength, head);
    StringCchCatW(line, lockTraceBufferLength, event != nullptr ? event : L"");
    const size_t used = std::wcslen(line);
    const size_t nameRoom = lockTraceBufferLength - used - tailLength;
    StringCchCatNW(line, used + nameRoom, name != nullptr ? name : L"(null)", nameRoom - 1);
    StringCchCatW(line, lockTraceBufferLength, tail);
}

void traceLockEvent(const wchar_t* event, const wchar_t* name, HANDLE handle) {
    wchar_t line[lockTraceBufferLength];
    formatLockTraceLine(line, event, ::GetCurrentThreadId(), name, handle);
    ::OutputDebugStringW(line);
}

constexpr const wchar_t* lockedEvent = L"Locked    ";
constexpr const wchar_t* unlockedEvent = L" Unlocked ";
constexpr const wchar_t* failedEvent = L"FAILED TO Lock a CS! ";

} // namespace

stubSyncObject::~stubSyncObject() {
    if (handle != nullptr) {
        ::CloseHandle(handle);
        handle = nullptr;
    }
}

BOOL stubSyncObject::lock(DWORD timeoutMs) {
    return ::WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL stubSyncObject::lock() {
    return lock(INFINITE);
}

BOOL stubSyncObject::unlock(DWORD, void*) {
    return TRUE;
}

stubCriticalSection::stubCriticalSection() {
    ::InitializeCriticalSection(&criticalSection);
}

stubCriticalSection::~stubCriticalSection() {
    ::DeleteCriticalSection(&criticalSection);
}

BOOL stubCriticalSection::lock(DWORD) {
    return lock();
}

BOOL stubCriticalSection::lock() {
    ::EnterCriticalSection(&criticalSection);
    return TRUE;
}

BOOL stubCriticalSection::unlock() {
    ::LeaveCriticalSection(&criticalSection);
    return TRUE;
}

stubSyncLock::stubSyncLock(stubSyncObject* object, BOOL lockNow, const wchar_t* name)
    : object(object), handle(object != nullptr ? object->handle : nullptr), locked(0), name(name) {
    resolveQueryInformationThread();
    if (lockNow && !acquire(INFINITE) && lockTracingEnabled.load(std::memory_order_relaxed))
        traceLockEvent(failedEvent, name, handle);
}

stubSyncLock::~stubSyncLock() {
    release();
}

BOOL stubSyncLock::acquire(DWORD timeoutMs) {
    if (object == nullptr)
        return locked;
    if (skipRealLock()) {
        locked = 1;
        return 1;
    }
    locked = object->lock(timeoutMs) ? 1 : 0;
    if (lockTracingEnabled.load(std::memory_order_relaxed) && name != nullptr)
        traceLockEvent(lockedEvent, name, handle);
    return locked;
}

BOOL stubSyncLock::release() {
    if (locked == 0)
        return 1;
    if (skipRealLock()) {
        locked = 0;
        return 1;
    }
    locked = object->unlock() ? 0 : 1;
    if (lockTracingEnabled.load(std::memory_order_relaxed) && name != nullptr)
        traceLockEvent(unlockedEvent, name, handle);
    return locked == 0 ? 1 : 0;
}

BOOL stubSyncLock::release(DWORD count, void* data) {
    if (locked == 0)
        return 1;
    if (skipRealLock()) {
        locked = 0;
        return 1;
    }
    locked = object->unlock(count, data) ? 0 : 1;
    return locked == 0 ? 1 : 0;
}

void setProcessShuttingDown() {
    processShuttingDown.store(1, std::memory_order_relaxed);
}

bool isLastThread() {
    const queryInformationThreadFunction query =
        queryInformationThread.load(std::memory_order_relaxed);
    if (query == nullptr)
        return false;
    ULONG lastThread = 0xFFFFFFFF;
    const LONG status =
        query(::GetCurrentThread(), lastThreadInfoClass, &lastThread, sizeof(lastThread), nullptr);
    return status == 0 && lastThread != 0;
}

void enableLockTracing(BOOL on) {
    lockTracingEnabled.store(on ? 1 : 0, std::memory_order_relaxed);
}

BOOL isLockTracingEnabled() {
    return lockTracingEnabled.load(std::memory_order_relaxed) != 0 ? TRUE : FALSE;
}
