#pragma once
// Security of a newly created log file: everyone may read, write, append and delete it, but only
// SYSTEM, Administrators and the creating user may change its permissions or owner.
#include <windows.h>

#include <memory>

struct localMemoryDeleter {
    void operator()(void* block) const noexcept { ::LocalFree(block); }
};
using uniqueSecurityDescriptor = std::unique_ptr<void, localMemoryDeleter>;

// Access granted to Everyone: the data rights, without WRITE_DAC or WRITE_OWNER.
constexpr DWORD logFileEveryoneAccess = FILE_GENERIC_READ | FILE_GENERIC_WRITE | DELETE;

// An absolute descriptor with a protected DACL: Everyone logFileEveryoneAccess; SYSTEM,
// Administrators and the process's user FILE_ALL_ACCESS. Null when it cannot be built, and the
// caller then uses default security.
uniqueSecurityDescriptor createLogFileSecurityDescriptor();
