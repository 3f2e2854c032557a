#pragma once
// Well-known folders and the default file names inside the maker's folder of the user's roaming
// application data folder. Each path function writes a static buffer of its own
// (knownFolderPathCapacity characters) and returns a pointer into it; the buffer is overwritten
// by the next call of the same function. A path that does not fit comes back empty. None of this
// is safe for concurrent use. The A forms take and give 8-bit text in the ANSI code page, as the
// system's 8-bit calls do.
#ifndef RC_INVOKED
#include <windows.h>

#include <cstddef>

constexpr std::size_t knownFolderPathCapacity = 261;

// SHGetFolderPathW/A looked up at run time; 0 when Shell32.dll or the function is missing.
HRESULT getFolderPath(HWND owner, int folder, HANDLE token, DWORD flags, wchar_t* path);
HRESULT getFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, char* path);

// (application data)\Tarnwick\[prefix ][name], created; empty when the folder cannot be resolved.
const wchar_t* getProductFolder(const wchar_t* prefix, const wchar_t* name);
const char* getProductFolderA(const char* prefix, const char* name);
// The same path, with nothing created.
const wchar_t* getProductFolderName(const wchar_t* prefix, const wchar_t* name);
// The same path below another account's application data folder, with nothing created.
const wchar_t* getProductFolderNameUnder(const wchar_t* appData, const wchar_t* prefix,
                                         const wchar_t* name);

// The product folder (created) followed by a backslash and the file name (not created).
const wchar_t* getProductFilePath(const wchar_t* prefix, const wchar_t* name,
                                  const wchar_t* fileName);
const wchar_t* getProductFilePath(const wchar_t* name, const wchar_t* fileName);
const char* getProductFilePathA(const char* prefix, const char* name, const char* fileName);
const char* getProductFilePathA(const char* name, const char* fileName);

// Appends one backslash unless the text is empty, already ends in one, or the buffer is full.
void ensureTrailingBackslash(wchar_t* text, std::size_t capacity);
void ensureTrailingBackslashA(char* text, std::size_t capacity);

// A temporary file name (from _wtempnam/_tempnam, preferring TMP over the profile folder) that
// the caller releases with free; null when no name can be made.
wchar_t* getTempFileNameInProfile(const wchar_t* prefix);
char* getTempFileNameInProfileA(const char* prefix);

// Cached product file paths: the first call that resolves a path fills the function's buffer;
// later calls return it unchanged whatever their arguments. A null file name of
// getDefaultLogFilePath means "Tarnwick.log".
const wchar_t* getDefaultLogFilePath(const wchar_t* prefix, const wchar_t* name,
                                     const wchar_t* fileName);
const wchar_t* getCachedProductFilePath1(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName);
const wchar_t* getCachedProductFilePath2(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName);
const wchar_t* getCachedProductFilePath3(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName);
const wchar_t* getCachedProductFilePath4(const wchar_t* prefix, const wchar_t* name,
                                         const wchar_t* fileName);

// Test seam: the folder lookup behind the product and temporary-name functions. Null restores
// getFolderPath / getFolderPathA; the previous lookup is returned.
using folderPathLookup = HRESULT (*)(HWND, int, HANDLE, DWORD, wchar_t*);
using folderPathLookupA = HRESULT (*)(HWND, int, HANDLE, DWORD, char*);
folderPathLookup setFolderPathLookup(folderPathLookup lookup);
folderPathLookupA setFolderPathLookupA(folderPathLookupA lookup);

#endif
