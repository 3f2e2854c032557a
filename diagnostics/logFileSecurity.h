#pragma once
// Security of a newly created log file. A log shared by several accounts needs the others to
// append to it and nothing more: on Windows every account can reach a file by its full path, so
// a right granted to Everyone is a right of every local account. Reading, overwriting, truncating
// and deleting stay with the creating user, SYSTEM and Administrators.
#include <windows.h>

#include <memory>

struct localMemoryDeleter {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};
using uniqueSecurityDescriptor = std::unique_ptr<void, localMemoryDeleter>;

// Access granted to Everyone: appending. CreateFileW asks for FILE_READ_ATTRIBUTES and
// SYNCHRONIZE with every open, so a writer of another account needs those two as well.
constexpr DWORD logFileEveryoneAccess = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// An absolute descriptor with a protected DACL: Everyone logFileEveryoneAccess; SYSTEM,
// Administrators and the process's user FILE_ALL_ACCESS. Null when it cannot be built, and the
// caller then uses default security.
uniqueSecurityDescriptor createLogFileSecurityDescriptor();
