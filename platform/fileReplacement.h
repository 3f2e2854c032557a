#pragma once
// Replacing a file's whole contents in one step, so that the file is always either the old or
// the new image, whatever happens during the write (a full disk, a kill, a power loss).
//
// The image goes to a temporary file beside the target, is flushed, and is renamed over the
// target. The temporary is marked for deletion until the instant of the rename, so a process
// killed midway leaves none behind (unless the kill falls inside the rename call itself), and a
// successful replace removes what an earlier killed one did leave, never touching a temporary
// that a live writer still holds. The new file keeps what the old one carried: its hidden,
// system and archive attributes and its access control list. A read-only target is refused, as
// Windows refuses to replace it.
#ifndef RC_INVOKED
#include <windows.h>

// Test seam: the file calls of a replace (create the temporary, write, flush, close, rename).
struct fileReplaceCalls {
    HANDLE(WINAPI* create)
    (const wchar_t* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
     DWORD disposition, DWORD attributes, HANDLE templateFile);
    BOOL(WINAPI* write)
    (HANDLE file, const void* data, DWORD bytes, DWORD* written, OVERLAPPED* overlapped);
    BOOL(WINAPI* flush)(HANDLE file);
    BOOL(WINAPI* close)(HANDLE file);
    BOOL(WINAPI* replace)(const wchar_t* existing, const wchar_t* target, DWORD flags);
};
// The system's functions.
fileReplaceCalls systemFileReplaceCalls();

// Puts size bytes in place of the file at target. With a backup path, what target held is first
// copied there, replacing an older copy (also a hidden or read-only one); a missing target has
// nothing to keep. ERROR_SUCCESS, or the code of the first failure: then target and backup are as
// they were and no temporary remains.
[[nodiscard]] DWORD replaceFileInOneStep(const wchar_t* target, const void* data, DWORD size,
                                         const wchar_t* backup, const fileReplaceCalls& calls);

#endif
