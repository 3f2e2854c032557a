#pragma once
// Path and folder functions. A path separator is a backslash or a forward slash unless a
// function says otherwise.
#ifndef RC_INVOKED
#include "framework/CString.h"
// closeHandleIfValid and its seam moved to support/; included here for code that finds them here.
#include "support/closeHandle.h"
#include "support/win32Errors.h"

#include <windows.h>

#include <string>

// First separator of the text, or null when there is none or the text is null.
const wchar_t* findNextPathSeparator(const wchar_t* text);
wchar_t* findNextPathSeparator(wchar_t* text);

// Index of the last separator, or -1.
int findLastPathSeparator(const CString& path);

// Creates every folder the path names before its last separator (the rest is a file name).
// 0 for a null or empty path, else 1; the path is written during the call and restored.
int createFolderPath(wchar_t* path);

// Whether an existing folder (or a link to one) is at the path. Whether a failure means nothing
// is there at all: isMissing (support/win32Errors.h).
bool isFolder(const wchar_t* path);

// The full path the system makes of path: joined to the current folder, "." and ".." resolved,
// nothing checked on disk. Empty for a null path or when the system cannot resolve it. fileNameAt,
// when given, receives the offset of the last name, or std::wstring::npos where the path ends in a
// separator.
std::wstring fullPathName(const wchar_t* path, std::size_t* fileNameAt = nullptr);

// a\.\b becomes a\b.
void removeCurrentFolderSegments(CString& path);

// The path relative to the running program's folder (..\ for each folder to climb), or the path
// unchanged when the two share no leading folder.
CString makeRelativeToProgramFolder(const CString& path);

// Removes one trailing backslash.
void removeTrailingBackslash(CString& path);

// Deletes the folder's files and subfolders, then the folder itself, read-only ones included. 1
// when a file or subfolder inside could not be removed, else 0. Junctions and symbolic links are
// removed as links, the folder itself included (then 0 once the link is gone); what they point to
// is never touched.
int deleteFolderTree(const CString& folder);

// Whether the system may refuse the path for its length alone: MAX_PATH characters or more, not
// in the \\?\ form, while long paths are not enabled for the process (the program's manifest
// asks for them; the system's LongPathsEnabled setting must allow them too).
bool pathTooLongForSystem(const wchar_t* path);

// The folders Windows searches for DLLs, each followed by ";".
void getDllSearchPath(CString& list);

// Puts size bytes in place of the file at path in one step, as replaceFileInOneStep does
// (fileReplacement.h). ERROR_SUCCESS, or the system's code of the first failure; on failure the
// file at path is as it was and no temporary file remains.
[[nodiscard]] DWORD replaceFileContents(const wchar_t* path, const void* data, DWORD size);

// Test seam: the WriteFile call behind replaceFileContents. Null restores WriteFile; the
// previous call is returned.
using fileWriteCall = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
fileWriteCall setFileWriteCall(fileWriteCall call);

// Test seam: the folder listing behind deleteFolderTree. Null members restore FindFirstFileW /
// FindNextFileW and the system's view of the folder itself (its attributes and, for a reparse
// point, its tag); the previous listing is returned.
struct folderListing {
    HANDLE(WINAPI* first)(const wchar_t* pattern, WIN32_FIND_DATAW* entry);
    BOOL(WINAPI* next)(HANDLE search, WIN32_FIND_DATAW* entry);
    BOOL(WINAPI* describe)(const wchar_t* path, DWORD* attributes, DWORD* reparseTag);
};
folderListing setFolderListing(folderListing listing);

#endif
