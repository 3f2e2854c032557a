#include "platform/fileIdentity.h"

#include "support/uniqueResource.h"

#include <cstring>

namespace {

// The 128-bit id came with Windows 8; the program also runs on Windows 7, so its class number and
// layout are spelled out here rather than taken from headers that hide them for Windows 7.
constexpr auto fileIdInfoClass = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct fileIdInformation {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};

// Answers of systems and file systems that know no 128-bit id.
bool idInfoUnsupported(DWORD error) {
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD queryFileIndex(HANDLE file, fileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information))
        return ::GetLastError();
    fileIdentity found;
    found.volume = information.dwVolumeSerialNumber;
    const ULONGLONG index =
        (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    std::memcpy(found.id.data(), &index, sizeof(index));
    identity = found;
    return ERROR_SUCCESS;
}

} // namespace

DWORD queryFileIdentity(HANDLE file, fileIdentity& identity) {
    fileIdInformation information{};
    if (::GetFileInformationByHandleEx(file, fileIdInfoClass, &information, sizeof(information))) {
        static_assert(sizeof(information.fileId) == sizeof(identity.id));
        identity.volume = information.volumeSerialNumber;
        std::memcpy(identity.id.data(), information.fileId, sizeof(information.fileId));
        return ERROR_SUCCESS;
    }
    const DWORD error = ::GetLastError();
    return idInfoUnsupported(error) ? queryFileIndex(file, identity) : error;
}

DWORD queryFileIdentity(const wchar_t* path, fileIdentity& identity) {
    if (path == nullptr || path[0] == L'\0')
        return ERROR_INVALID_PARAMETER;
    const uniqueFileHandle file(::CreateFileW(
        path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file)
        return ::GetLastError();
    return queryFileIdentity(file.get(), identity);
}
