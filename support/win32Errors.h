#pragma once
// The thread's last-error value: kept across calls that may change it, read with a fallback,
// and the codes that say a name leads to nothing.
#ifndef RC_INVOKED
#include <windows.h>

// Restores the last-error value it found when it goes out of scope.
class lastErrorKeeper {
public:
    lastErrorKeeper() noexcept : m_saved(::GetLastError()) {}
    ~lastErrorKeeper() { ::SetLastError(m_saved); }
    lastErrorKeeper(const lastErrorKeeper&) = delete;
    lastErrorKeeper& operator=(const lastErrorKeeper&) = delete;

private:
    DWORD m_saved;
};

// The last-error value, or fallback where a failed call left none: a failure never reads as
// success.
inline DWORD lastErrorOr(DWORD fallback) noexcept {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// No file at the name, or no folder on its way. Other failures (a share out of reach, a refused
// access) say nothing about whether a file is there.
inline bool isMissing(DWORD error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

#endif
