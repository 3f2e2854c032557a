#include "platform/fileFunctions.h"
#include "platform/fileReplacement.h"

#include "support/uniqueResource.h"

#include <algorithm>
#include <cwchar>
#include <string>

bool isFolder(const wchar_t* path) {
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring fullPathName(const wchar_t* path, std::size_t* fileNameAt) {
    if (fileNameAt != nullptr)
        *fileNameAt = std::wstring::npos;
    if (path == nullptr)
        return {};
    const DWORD needed = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return {};
    std::wstring full(needed, L'\0');
    wchar_t* fileName = nullptr;
    const DWORD length = ::GetFullPathNameW(path, needed, full.data(), &fileName);
    // A longer answer the second time: the current folder changed in between.
    if (length == 0 || length >= needed)
        return {};
    if (fileNameAt != nullptr && fileName != nullptr)
        *fileNameAt = static_cast<std::size_t>(fileName - full.data());
    full.resize(length);
    return full;
}

namespace {

bool isPathSeparator(wchar_t character) {
    return character == L'\\' || character == L'/';
}

// Fixed-size system answers: a text that fills the buffer may have been cut and is not used.
constexpr DWORD systemPathCapacity = MAX_PATH + 1;

CString programFileName() {
    wchar_t name[systemPathCapacity] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, name, MAX_PATH);
    return length > 0 && length < MAX_PATH ? CString(name) : CString();
}

template <typename query> void appendSystemFolder(CString& list, query ask) {
    wchar_t folder[systemPathCapacity] = {};
    const UINT length = ask(folder, systemPathCapacity);
    if (length > 0 && length < systemPathCapacity)
        list += CString(folder) + L';';
}

void appendEnvironmentPath(CString& list) {
    const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0)
        return;
    std::wstring value(static_cast<std::size_t>(size) + 1, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(L"PATH", value.data(), size + 1);
    if (length > 0 && length <= size) {
        value.resize(length);
        list += CString(value.c_str()) + L';';
    }
}

HANDLE WINAPI systemFindFirst(const wchar_t* pattern, WIN32_FIND_DATAW* entry) {
    return ::FindFirstFileW(pattern, entry);
}
BOOL WINAPI systemFindNext(HANDLE search, WIN32_FIND_DATAW* entry) {
    return ::FindNextFileW(search, entry);
}

// The reparse tag comes from the entry itself: opening it without following it.
DWORD reparseTagOf(const wchar_t* path) {
    uniqueFileHandle entry(::CreateFileW(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (entry &&
        ::GetFileInformationByHandleEx(entry.get(), FileAttributeTagInfo, &info, sizeof(info)))
        return info.ReparseTag;
    // A reparse point that cannot be identified is never followed.
    return IO_REPARSE_TAG_MOUNT_POINT;
}

BOOL WINAPI systemDescribe(const wchar_t* path, DWORD* attributes, DWORD* reparseTag) {
    const DWORD found = ::GetFileAttributesW(path);
    if (found == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    *attributes = found;
    *reparseTag = (found & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? reparseTagOf(path) : 0;
    return TRUE;
}

folderListing s_listing = {&systemFindFirst, &systemFindNext, &systemDescribe};

bool isDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Junctions and symbolic links (name surrogates) stand for another place: following one would
// delete what it points to, outside the tree. Other reparse points, such as cloud placeholders
// or deduplicated folders, hold their own contents and are emptied like any folder. A missing
// tag (0 is no valid tag) is taken for a link: what cannot be identified is never followed.
bool isLink(DWORD attributes, DWORD reparseTag) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
}

// The system refuses to delete what is read-only: the attribute goes first.
void clearReadOnly(const CString& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
}

// Removes the link itself, never its target.
bool removeLink(const CString& path, DWORD attributes) {
    clearReadOnly(path, attributes);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && ::RemoveDirectoryW(path))
        return true;
    return ::DeleteFileW(path) != FALSE;
}

// Deletes what the folder holds; the number of entries that could not be removed.
int deleteFolderContents(const CString& folder) {
    int failures = 0;
    WIN32_FIND_DATAW entry;
    uniqueFindHandle search(s_listing.first(folder + L"\\*.*", &entry));
    if (!search)
        return 0;
    do {
        if (isDotEntry(entry.cFileName))
            continue;
        const CString path = folder + L"\\" + entry.cFileName;
        bool removed = false;
        // For reparse points the listing carries the tag in dwReserved0.
        if (isLink(entry.dwFileAttributes, entry.dwReserved0)) {
            removed = removeLink(path, entry.dwFileAttributes);
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // What stays inside keeps the subfolder in place, and that is counted here.
            deleteFolderContents(path);
            clearReadOnly(path, entry.dwFileAttributes);
            removed = ::RemoveDirectoryW(path) != FALSE;
        } else {
            clearReadOnly(path, entry.dwFileAttributes);
            removed = ::DeleteFileW(path) != FALSE;
        }
        if (!removed)
            ++failures;
    } while (s_listing.next(search.get(), &entry));
    return failures;
}

} // namespace

const wchar_t* findNextPathSeparator(const wchar_t* text) {
    if (text == nullptr)
        return nullptr;
    for (; *text != L'\0'; ++text)
        if (isPathSeparator(*text))
            return text;
    return nullptr;
}

wchar_t* findNextPathSeparator(wchar_t* text) {
    return const_cast<wchar_t*>(findNextPathSeparator(static_cast<const wchar_t*>(text)));
}

int findLastPathSeparator(const CString& path) {
    const std::size_t found = path.str().find_last_of(L"\\/");
    return found == std::wstring::npos ? -1 : static_cast<int>(found);
}

int createFolderPath(wchar_t* path) {
    if (path == nullptr || path[0] == L'\0')
        return 0;
    wchar_t* separator = findNextPathSeparator(path);
    // D:\ names a drive, not a folder to create.
    if (separator != nullptr && separator != path && separator[-1] == L':')
        separator = findNextPathSeparator(separator + 1);
    for (; separator != nullptr; separator = findNextPathSeparator(separator + 1)) {
        const wchar_t kept = *separator;
        *separator = L'\0';
        ::CreateDirectoryW(path, nullptr);
        *separator = kept;
    }
    return 1;
}

void removeCurrentFolderSegments(CString& path) {
    std::wstring text = path.str();
    for (std::size_t at = text.find(L"\\.\\"); at != std::wstring::npos;
         at = text.find(L"\\.\\", at))
        text.erase(at, 2);
    path = text.c_str();
}

CString makeRelativeToProgramFolder(const CString& path) {
    CString program = programFileName();
    removeCurrentFolderSegments(program);
    program.MakeLower();
    // The cut is found on the normalised path, so it is applied to the normalised path (in its
    // own case); cutting the raw path there could split a \.\ segment.
    CString normalised = path;
    removeCurrentFolderSegments(normalised);
    CString lowered = normalised;
    lowered.MakeLower();

    int cut = 0;
    const int common = std::min(program.GetLength(), lowered.GetLength());
    for (int at = 0; at < common && program.GetAt(at) == lowered.GetAt(at); ++at)
        if (isPathSeparator(program.GetAt(at)))
            cut = at + 1;
    if (cut == 0)
        return path;

    CString result;
    for (int at = cut; at < program.GetLength(); ++at)
        if (program.GetAt(at) == L'\\')
            result += L"..\\";
    return result + normalised.Mid(cut);
}

void removeTrailingBackslash(CString& path) {
    if (!path.IsEmpty() && path.GetAt(path.GetLength() - 1) == L'\\')
        path = path.Left(path.GetLength() - 1);
}

int deleteFolderTree(const CString& folder) {
    // An empty name would list "\*.*", the root of the current drive.
    if (folder.IsEmpty())
        return 0;
    // A folder named through a link is not emptied: only the link goes.
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    if (s_listing.describe(folder, &attributes, &reparseTag) && isLink(attributes, reparseTag))
        return removeLink(folder, attributes) ? 0 : 1;
    const int failures = deleteFolderContents(folder);
    clearReadOnly(folder, attributes);
    ::RemoveDirectoryW(folder);
    return failures != 0 ? 1 : 0;
}

bool pathTooLongForSystem(const wchar_t* path) {
    if (path == nullptr || std::wcslen(path) < MAX_PATH || std::wcsncmp(path, L"\\\\?\\", 4) == 0)
        return false;
    // Known from Windows 10 1607 on; before that no process had long paths.
    using longPathsQuery = BOOLEAN(NTAPI*)();
    const auto enabled = reinterpret_cast<longPathsQuery>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlAreLongPathsEnabled")));
    return enabled == nullptr || !enabled();
}

void getDllSearchPath(CString& list) {
    list.Empty();
    const CString program = programFileName();
    if (!program.IsEmpty()) {
        const int lastBackslash = program.ReverseFind(L'\\');
        list += (lastBackslash >= 0 ? program.Left(lastBackslash) : program) + L';';
    }
    appendSystemFolder(
        list, [](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
    appendSystemFolder(
        list, [](wchar_t* buffer, UINT size) { return ::GetWindowsDirectoryW(buffer, size); });
    appendSystemFolder(list, [](wchar_t* buffer, UINT size) {
        return static_cast<UINT>(::GetCurrentDirectoryW(size, buffer));
    });
    appendEnvironmentPath(list);
}

folderListing setFolderListing(folderListing listing) {
    const folderListing previous = s_listing;
    s_listing.first = listing.first != nullptr ? listing.first : &systemFindFirst;
    s_listing.next = listing.next != nullptr ? listing.next : &systemFindNext;
    s_listing.describe = listing.describe != nullptr ? listing.describe : &systemDescribe;
    return previous;
}

namespace {

fileWriteCall s_writeFile = &::WriteFile;

} // namespace

DWORD replaceFileContents(const wchar_t* path, const void* data, DWORD size) {
    fileReplaceCalls calls = systemFileReplaceCalls();
    calls.write = s_writeFile;
    return replaceFileInOneStep(path, data, size, nullptr, calls);
}

fileWriteCall setFileWriteCall(fileWriteCall call) {
    const fileWriteCall previous = s_writeFile;
    s_writeFile = call != nullptr ? call : &::WriteFile;
    return previous;
}
