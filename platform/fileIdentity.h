#pragma once
// Which file on disk a path or a handle names, so that two names of one file (a link, a short
// name, another spelling, a second mapped drive) are recognised as one.
//
// The identity is the volume's serial number with the file's 128-bit id. Where the system or the
// file system gives no 128-bit id (before Windows 8, FAT, some network redirectors), the 64-bit
// file index stands in for it; on ReFS only the 128-bit id is unique.
#ifndef RC_INVOKED
#include <windows.h>

#include <array>

struct fileIdentity {
    ULONGLONG volume = 0;
    std::array<BYTE, 16> id{};

    bool operator==(const fileIdentity&) const = default;
};

// ERROR_SUCCESS and the identity of the open file, or the system's error (identity untouched).
[[nodiscard]] DWORD queryFileIdentity(HANDLE file, fileIdentity& identity);

// The same for a path: the file or folder is opened for its attributes only and shared with
// everybody, so a writer that holds it goes on undisturbed. A link is followed to its target.
[[nodiscard]] DWORD queryFileIdentity(const wchar_t* path, fileIdentity& identity);

#endif
