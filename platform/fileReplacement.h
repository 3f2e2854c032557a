#pragma once
// Replacing a file's whole contents in one step, so that the file is always either the old or
// the new image, whatever happens during the write (a full disk, a kill, a power loss).
//
// The image goes to a temporary file beside the target, is flushed, and is renamed over the
// target. The temporary is marked for deletion until the instant of the rename, so a process
// killed midway leaves none behind (unless the kill falls inside the rename call itself), and a
// successful replace removes what an earlier killed one did leave, never touching a temporary
// that a live writer still holds. A rename that a scanner or an indexer holds up is retried for
// about a second.
//
// The new file keeps what the old one carried: its hidden, system, archive and not-indexed
// attributes, its compression, its encryption, and an access control list of its own where the
// user may write access lists. Where the user may change files but not their access lists (the
// common "Change" permission of a network share), the new file takes the folder's inherited
// security instead: the data is saved whole. A read-only target is refused, as Windows refuses
// to replace it.
#ifndef RC_INVOKED
#include "platform/fileIdentity.h"

#include <windows.h>

#include <functional>
#include <vector>

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

// The streaming form, for contents too large to hold in memory. write fills the temporary (open
// for reading and writing, positioned at its start); the replace flushes it; check, when given,
// then reads it back or looks at the target, and anything but ERROR_SUCCESS from either stops the
// replace with that code, leaving the target as it was and no temporary.
struct fileReplaceSteps {
    std::function<DWORD(HANDLE temporary)> write;
    std::function<DWORD(HANDLE temporary)> check;
};

struct fileReplaceOptions {
    // Where the old contents are copied first; null for none.
    const wchar_t* backup = nullptr;
    // False: an existing target is never replaced (ERROR_ALREADY_EXISTS), decided by the rename
    // itself, so a file that appears meanwhile is not replaced either.
    bool replaceExisting = true;
    // An existing target that is one of these files is never replaced (ERROR_ACCESS_DENIED): a
    // file being read into the new contents must not be destroyed by them.
    std::vector<fileIdentity> keep;
};

[[nodiscard]] DWORD replaceFileStreamed(const wchar_t* target, const fileReplaceSteps& steps,
                                        const fileReplaceOptions& options,
                                        const fileReplaceCalls& calls);

#endif
