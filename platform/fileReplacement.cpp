#include "platform/fileReplacement.h"

#include "support/uniqueResource.h"

#include <aclapi.h>

#include <atomic>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>
#include <string>

namespace {

// Scanners and indexers hold a file for a moment; the rename is retried for about this long.
constexpr int replaceAttempts = 10;
constexpr DWORD replacePauseMs = 10;

// Attributes the new file takes over from the one it replaces.
constexpr DWORD carriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

DWORD lastErrorOr(DWORD fallback) {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A temporary marked for deletion goes with its handle, also when the process is killed.
void markForDeletion(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = remove ? TRUE : FALSE;
    ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

// A fresh file beside target, open for writing, for its security and for the rename, shared
// with nobody but the rename, and marked for deletion until it replaces target.
HANDLE createTemporary(const std::wstring& target, std::wstring& name,
                       const fileReplaceCalls& calls) {
    static std::atomic<unsigned> s_counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t suffix[40];
        std::swprintf(suffix, sizeof(suffix) / sizeof(suffix[0]), L".%lx-%x.tmp",
                      ::GetCurrentProcessId(), ++s_counter);
        name = target + suffix;
        const HANDLE file =
            calls.create(name.c_str(), GENERIC_WRITE | DELETE | WRITE_DAC, FILE_SHARE_DELETE,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            markForDeletion(file, true);
            return file;
        }
        if (::GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

DWORD writeAndFlush(HANDLE file, const void* data, DWORD size, const fileReplaceCalls& calls) {
    DWORD written = 0;
    ::SetLastError(ERROR_SUCCESS);
    if (!calls.write(file, data, size, &written, nullptr))
        return lastErrorOr(ERROR_WRITE_FAULT);
    if (written != size)
        return ERROR_WRITE_FAULT;
    return calls.flush(file) ? ERROR_SUCCESS : lastErrorOr(ERROR_WRITE_FAULT);
}

// File systems and shares that keep no security answer so; there is nothing to carry over.
bool noSecurityHere(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

struct localFree {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};

// Gives the temporary the target's attributes and access control list. A target that is not
// there carries nothing; a read-only one is refused.
DWORD carryOver(const std::wstring& target, HANDLE temporary) {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return isMissing(error) ? ERROR_SUCCESS : error;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return ERROR_ACCESS_DENIED;
    if ((attributes & carriedAttributes) != 0) {
        FILE_BASIC_INFO basic{}; // zero times: left as they are
        basic.FileAttributes = attributes & carriedAttributes;
        if (!::SetFileInformationByHandle(temporary, FileBasicInfo, &basic, sizeof(basic)))
            return lastErrorOr(ERROR_ACCESS_DENIED);
    }
    ACL* dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read =
        ::GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor);
    const std::unique_ptr<void, localFree> held(descriptor);
    if (noSecurityHere(read))
        return ERROR_SUCCESS;
    if (read != ERROR_SUCCESS)
        return read;
    if (dacl == nullptr) // a file system without security
        return ERROR_SUCCESS;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    // Inherited entries are recomputed from the folder, which both files share.
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                            : UNPROTECTED_DACL_SECURITY_INFORMATION);
    const DWORD written =
        ::SetSecurityInfo(temporary, SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr);
    return noSecurityHere(written) ? ERROR_SUCCESS : written;
}

// Copies what target holds to backup. An older backup is replaced even when it is hidden or
// read-only, which the copy itself refuses; it keeps its attributes when the copy fails.
DWORD keepOldFile(const std::wstring& target, const wchar_t* backup) {
    const DWORD olderAttributes = ::GetFileAttributesW(backup);
    const bool cleared = olderAttributes != INVALID_FILE_ATTRIBUTES &&
                         (olderAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM)) != 0 &&
                         ::SetFileAttributesW(backup, FILE_ATTRIBUTE_NORMAL);
    if (::CopyFileW(target.c_str(), backup, FALSE))
        return ERROR_SUCCESS;
    const DWORD error = lastErrorOr(ERROR_ACCESS_DENIED);
    if (cleared)
        ::SetFileAttributesW(backup, olderAttributes);
    return isMissing(error) ? ERROR_SUCCESS : error;
}

// The temporary is unmarked only for the instant of each rename.
DWORD replaceTarget(HANDLE file, const std::wstring& temporary, const std::wstring& target,
                    const fileReplaceCalls& calls) {
    for (int attempt = 1;; ++attempt) {
        markForDeletion(file, false);
        if (calls.replace(temporary.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        const DWORD error = lastErrorOr(ERROR_ACCESS_DENIED);
        markForDeletion(file, true);
        if (attempt == replaceAttempts ||
            (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
            return error;
        ::Sleep(replacePauseMs);
    }
}

// Moves past one or more hexadecimal digits; false when there are none.
bool skipHexDigits(const wchar_t*& text) {
    const wchar_t* start = text;
    while (std::iswxdigit(*text))
        ++text;
    return text != start;
}

// Whether fileName is "<target name>.<hex>-<hex>.tmp", as createTemporary names them.
bool isTemporaryOf(const std::wstring& targetName, const wchar_t* fileName) {
    if (std::wcslen(fileName) <= targetName.size() ||
        ::CompareStringOrdinal(fileName, static_cast<int>(targetName.size()), targetName.c_str(),
                               static_cast<int>(targetName.size()), TRUE) != CSTR_EQUAL)
        return false;
    const wchar_t* rest = fileName + targetName.size();
    return *rest++ == L'.' && skipHexDigits(rest) && *rest++ == L'-' && skipHexDigits(rest) &&
           ::CompareStringOrdinal(rest, -1, L".tmp", -1, TRUE) == CSTR_EQUAL;
}

// Temporaries that a killed replace left beside target. One that a live writer still has open
// cannot be opened without sharing, so it is never touched. Best effort: without memory for the
// names nothing is removed.
void removeLeftTemporaries(const std::wstring& target) noexcept try {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring targetName = target.substr(folder.size());
    WIN32_FIND_DATAW entry{};
    const uniqueFindHandle search(::FindFirstFileW((target + L".*.tmp").c_str(), &entry));
    if (!search)
        return;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !isTemporaryOf(targetName, entry.cFileName))
            continue;
        // Deleted when this handle closes; opening fails while anyone else has it open.
        const uniqueFileHandle left(
            ::CreateFileW((folder + entry.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    } while (::FindNextFileW(search.get(), &entry));
} catch (const std::bad_alloc&) {
}

} // namespace

fileReplaceCalls systemFileReplaceCalls() {
    return {::CreateFileW, ::WriteFile, ::FlushFileBuffers, ::CloseHandle, ::MoveFileExW};
}

DWORD replaceFileInOneStep(const wchar_t* targetPath, const void* data, DWORD size,
                           const wchar_t* backup, const fileReplaceCalls& calls) {
    if (targetPath == nullptr || targetPath[0] == L'\0' || (data == nullptr && size > 0))
        return ERROR_INVALID_PARAMETER;
    try {
        const std::wstring target = targetPath;
        std::wstring temporary;
        const HANDLE file = createTemporary(target, temporary, calls);
        if (file == INVALID_HANDLE_VALUE)
            return lastErrorOr(ERROR_CANNOT_MAKE);
        // Nothing below allocates, so nothing can throw past the temporary's removal.
        DWORD error = writeAndFlush(file, data, size, calls);
        if (error == ERROR_SUCCESS)
            error = carryOver(target, file);
        if (error == ERROR_SUCCESS && backup != nullptr)
            error = keepOldFile(target, backup);
        if (error == ERROR_SUCCESS)
            error = replaceTarget(file, temporary, target, calls);
        if (error != ERROR_SUCCESS) {
            markForDeletion(file, true);
            calls.close(file);
            // Where the file system cannot mark a file for deletion.
            ::DeleteFileW(temporary.c_str());
            return error;
        }
        // The image is flushed and in place: a failing close takes nothing from it.
        calls.close(file);
        removeLeftTemporaries(target);
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
