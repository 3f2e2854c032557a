#include "platform/fileReplacement.h"

#include "support/uniqueResource.h"
#include "support/win32Errors.h"

#include <aclapi.h>
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>
#include <string>
#include <utility>

namespace {

// Scanners and indexers hold a fresh file for up to about a second; the rename is retried for
// that long.
constexpr int replaceAttempts = 50;
constexpr DWORD replacePauseMs = 20;

// Attributes the new file takes over from the one it replaces.
constexpr DWORD carriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// File systems and shares that keep no security answer so; there is nothing to carry over.
bool noSecurityHere(DWORD error) {
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
}

struct localFree {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};

// The extended deletion mark of Windows 10 1709 and later, spelled out here because the headers
// hide it from a program that also runs on Windows 7.
constexpr auto fileDispositionInfoExClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD dispositionKeep = 0x0;
constexpr DWORD dispositionDelete = 0x1;
constexpr DWORD dispositionPosixSemantics = 0x2;
struct fileDispositionInformationEx {
    DWORD flags;
};

// Marks a file for deletion when its handle closes, or takes the mark back. POSIX semantics
// take the name away as soon as the handle closes; older systems know only the plain mark.
bool markForDeletion(HANDLE file, bool remove) {
    fileDispositionInformationEx extended{remove ? dispositionDelete | dispositionPosixSemantics
                                                 : dispositionKeep};
    if (::SetFileInformationByHandle(file, fileDispositionInfoExClass, &extended, sizeof(extended)))
        return true;
    // Older systems, and file systems without the POSIX form, take the plain mark.
    FILE_DISPOSITION_INFO plain{};
    plain.DeleteFile = remove ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &plain, sizeof(plain)) != FALSE;
}

// Which of the two names the temporary has now: a rename may have happened although it was
// reported as failed. A rename takes the old name away in the same step, so a temporary whose name
// is still there was not moved. (The path a handle reports is not kept up to date after a rename
// everywhere, so it is not asked.)
enum class heldName { temporary, target, unknown };

heldName nameOfTemporary(const std::wstring& temporary, const std::wstring& target) {
    if (::GetFileAttributesW(temporary.c_str()) != INVALID_FILE_ATTRIBUTES)
        return heldName::temporary;
    if (!isMissing(::GetLastError()))
        return heldName::unknown;
    return ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES ? heldName::target
                                                                           : heldName::unknown;
}

// What the target is and carries, read before the temporary is made.
struct targetState {
    bool exists = false;
    DWORD attributes = 0;
    std::unique_ptr<void, localFree> descriptor;
    // An access list of the file's own (protected, or with entries not inherited from the
    // folder); null when the folder's inherited entries say everything.
    ACL* ownAccessList = nullptr;
    SECURITY_INFORMATION accessListKind = 0;
};

bool hasEntriesOfItsOwn(const ACL* list) {
    for (DWORD index = 0; index < list->AceCount; ++index) {
        void* entry = nullptr;
        if (::GetAce(const_cast<ACL*>(list), index, &entry) &&
            (static_cast<const ACE_HEADER*>(entry)->AceFlags & INHERITED_ACE) == 0)
            return true;
    }
    return false;
}

// Reads the target's access list. One the user may not read cannot be kept: the new file then
// takes the folder's security, as where the file system keeps none.
DWORD readAccessList(const std::wstring& target, targetState& state) {
    ACL* list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read =
        ::GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &list, nullptr, &descriptor);
    state.descriptor.reset(descriptor);
    if (noSecurityHere(read) || read == ERROR_ACCESS_DENIED)
        return ERROR_SUCCESS;
    if (read != ERROR_SUCCESS)
        return read;
    if (list == nullptr) // a file system without security
        return ERROR_SUCCESS;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    const bool isProtected = (control & SE_DACL_PROTECTED) != 0;
    if (!isProtected && !hasEntriesOfItsOwn(list))
        return ERROR_SUCCESS;
    state.ownAccessList = list;
    // Inherited entries are recomputed from the folder, which both files share.
    state.accessListKind =
        DACL_SECURITY_INFORMATION |
        (isProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    return ERROR_SUCCESS;
}

// A target that is not there carries nothing; a read-only one is refused, and so is an existing
// one where nothing may be replaced.
DWORD readTargetState(const std::wstring& target, bool replaceExisting, targetState& state) {
    state.attributes = ::GetFileAttributesW(target.c_str());
    if (state.attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        state.attributes = 0;
        return isMissing(error) ? ERROR_SUCCESS : error;
    }
    state.exists = true;
    if (!replaceExisting)
        return ERROR_ALREADY_EXISTS;
    if ((state.attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return ERROR_ACCESS_DENIED;
    return readAccessList(target, state);
}

// The temporary being filled: a fresh file beside the target, shared with nobody but the rename,
// marked for deletion until it replaces the target.
class temporaryFile {
public:
    temporaryFile(const std::wstring& target, const fileReplaceCalls& calls)
        : m_calls(calls), m_target(target) {}
    ~temporaryFile() { discard(); }
    temporaryFile(const temporaryFile&) = delete;
    temporaryFile& operator=(const temporaryFile&) = delete;

    HANDLE handle() const { return m_file; }
    const std::wstring& name() const { return m_name; }

    // Write access to the security only where there is an access list to copy; a share that
    // refuses it (the user may change files, not their security) still gets the file, which then
    // keeps the folder's security. Read access where the caller or compression needs it.
    DWORD create(targetState& state, bool readable) {
        static std::atomic<unsigned> s_counter{0};
        const bool encrypted = (state.attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
        DWORD access = GENERIC_WRITE | DELETE | (readable ? GENERIC_READ : 0);
        for (int attempt = 0; attempt < 100; ++attempt) {
            wchar_t suffix[40];
            std::swprintf(suffix, sizeof(suffix) / sizeof(suffix[0]), L".%lx-%x.tmp",
                          ::GetCurrentProcessId(), ++s_counter);
            m_name = m_target + suffix;
            const DWORD securityAccess = state.ownAccessList != nullptr ? WRITE_DAC : 0;
            m_file = m_calls.create(
                m_name.c_str(), access | securityAccess, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                encrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_file != INVALID_HANDLE_VALUE) {
                m_deletePending = markForDeletion(m_file, true);
                return ERROR_SUCCESS;
            }
            const DWORD error = lastErrorOr(ERROR_CANNOT_MAKE);
            if (error == ERROR_ACCESS_DENIED && securityAccess != 0)
                state.ownAccessList = nullptr;
            else if (error != ERROR_FILE_EXISTS)
                return error;
        }
        return ERROR_CANNOT_MAKE;
    }

    // The rename over the target, retried while something holds the target for a moment. The
    // mark for deletion is taken back only for the instant of each attempt.
    DWORD moveOver(bool replaceExisting) {
        const DWORD flags =
            MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
        for (int attempt = 1;; ++attempt) {
            if (m_deletePending) {
                if (!markForDeletion(m_file, false))
                    return lastErrorOr(ERROR_ACCESS_DENIED);
                m_deletePending = false;
            }
            if (m_calls.replace(m_name.c_str(), m_target.c_str(), flags))
                return placed();
            const DWORD error = lastErrorOr(ERROR_ACCESS_DENIED);
            switch (nameOfTemporary(m_name, m_target)) {
            case heldName::target: // the rename happened after all
                return placed();
            case heldName::temporary:
                m_deletePending = markForDeletion(m_file, true);
                break;
            case heldName::unknown: // never mark what may now be the user's file
                break;
            }
            if (attempt == replaceAttempts ||
                (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED))
                return error;
            ::Sleep(replacePauseMs);
        }
    }

private:
    DWORD placed() {
        // The image is flushed and in place: a failing close takes nothing from it.
        m_calls.close(std::exchange(m_file, INVALID_HANDLE_VALUE));
        return ERROR_SUCCESS;
    }

    // Removes a temporary that was not placed: by its mark, and by name where the file system could
    // not mark it.
    void discard() noexcept {
        if (m_file == INVALID_HANDLE_VALUE)
            return;
        if (!m_deletePending && nameOfTemporary(m_name, m_target) == heldName::temporary)
            markForDeletion(m_file, true);
        m_calls.close(std::exchange(m_file, INVALID_HANDLE_VALUE));
        ::DeleteFileW(m_name.c_str());
    }

    const fileReplaceCalls& m_calls;
    const std::wstring& m_target;
    std::wstring m_name;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    bool m_deletePending = false;
};

// Gives the temporary what the target carries: attributes, compression and its own access list.
DWORD carryOver(const targetState& state, HANDLE temporary) {
    if ((state.attributes & carriedAttributes) != 0) {
        FILE_BASIC_INFO basic{}; // zero times: left as they are
        basic.FileAttributes = state.attributes & carriedAttributes;
        if (!::SetFileInformationByHandle(temporary, FileBasicInfo, &basic, sizeof(basic)))
            return lastErrorOr(ERROR_ACCESS_DENIED);
    }
    if ((state.attributes & FILE_ATTRIBUTE_COMPRESSED) != 0) {
        // Best effort: the data matters more than how it is stored.
        USHORT format = COMPRESSION_FORMAT_DEFAULT;
        DWORD returned = 0;
        ::DeviceIoControl(temporary, FSCTL_SET_COMPRESSION, &format, sizeof(format), nullptr, 0,
                          &returned, nullptr);
    }
    if (state.ownAccessList == nullptr)
        return ERROR_SUCCESS;
    const DWORD written = ::SetSecurityInfo(temporary, SE_FILE_OBJECT, state.accessListKind,
                                            nullptr, nullptr, state.ownAccessList, nullptr);
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

// An existing target that is one of the files to keep is refused; one whose identity cannot be
// read is refused too, since it cannot be told apart from them.
DWORD refuseKeptTarget(const std::wstring& target, const std::vector<fileIdentity>& keep) {
    if (keep.empty())
        return ERROR_SUCCESS;
    fileIdentity identity;
    const DWORD error = queryFileIdentity(target.c_str(), identity);
    if (isMissing(error))
        return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS)
        return error;
    return std::find(keep.begin(), keep.end(), identity) != keep.end() ? ERROR_ACCESS_DENIED
                                                                       : ERROR_SUCCESS;
}

DWORD replaceInSteps(const std::wstring& target, const fileReplaceSteps& steps,
                     const fileReplaceOptions& options, bool readable,
                     const fileReplaceCalls& calls) {
    targetState state;
    if (const DWORD error = readTargetState(target, options.replaceExisting, state);
        error != ERROR_SUCCESS)
        return error;
    temporaryFile temporary(target, calls);
    const bool compress = (state.attributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
    DWORD error = temporary.create(state, readable || compress);
    if (error == ERROR_SUCCESS)
        error = carryOver(state, temporary.handle());
    if (error == ERROR_SUCCESS)
        error = steps.write(temporary.handle());
    if (error == ERROR_SUCCESS && !calls.flush(temporary.handle()))
        error = lastErrorOr(ERROR_WRITE_FAULT);
    if (error == ERROR_SUCCESS && steps.check)
        error = steps.check(temporary.handle());
    if (error == ERROR_SUCCESS && options.backup != nullptr)
        error = keepOldFile(target, options.backup);
    if (error == ERROR_SUCCESS)
        error = refuseKeptTarget(target, options.keep);
    if (error == ERROR_SUCCESS)
        error = temporary.moveOver(options.replaceExisting);
    if (error == ERROR_SUCCESS)
        removeLeftTemporaries(target);
    return error;
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
        fileReplaceSteps steps;
        steps.write = [&](HANDLE file) {
            DWORD written = 0;
            ::SetLastError(ERROR_SUCCESS);
            if (!calls.write(file, data, size, &written, nullptr))
                return lastErrorOr(ERROR_WRITE_FAULT);
            return written == size ? static_cast<DWORD>(ERROR_SUCCESS) : ERROR_WRITE_FAULT;
        };
        fileReplaceOptions options;
        options.backup = backup;
        return replaceInSteps(targetPath, steps, options, false, calls);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD replaceFileStreamed(const wchar_t* targetPath, const fileReplaceSteps& steps,
                          const fileReplaceOptions& options, const fileReplaceCalls& calls) {
    if (targetPath == nullptr || targetPath[0] == L'\0' || !steps.write)
        return ERROR_INVALID_PARAMETER;
    try {
        return replaceInSteps(targetPath, steps, options, true, calls);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
