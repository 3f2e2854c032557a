#pragma once
// SHA-256 from the system's own hashing (bcrypt.dll, loaded from the system folder).
#include <windows.h>

#include <string>

// The digest of bytes as 64 lower-case hex digits into digest. ERROR_SUCCESS, or why the system
// could not hash (digest is then left untouched).
[[nodiscard]] DWORD sha256Hex(const std::string& bytes, std::string& digest);
