#pragma once
// SHA-256 from the system's own hashing (bcrypt.dll, loaded from the system folder).
#include "support/uniqueResource.h"

#include <windows.h>

#include <memory>
#include <string>

// A digest fed piece by piece, for contents too large to hold in memory.
class sha256Stream {
public:
    sha256Stream();
    ~sha256Stream();
    sha256Stream(const sha256Stream&) = delete;
    sha256Stream& operator=(const sha256Stream&) = delete;

    // ERROR_SUCCESS while the hash is ready for more, else the first failure.
    DWORD status() const { return m_status; }
    DWORD add(const void* bytes, std::size_t size);
    // The digest as 64 lower-case hex digits; no bytes can be added afterwards.
    [[nodiscard]] DWORD finish(std::string& digest);

private:
    struct calls;
    // Loaded by every digest (a reference of its own), since digests overlap.
    uniqueModule m_module;
    std::unique_ptr<calls> m_calls;
    void* m_provider = nullptr;
    void* m_hash = nullptr;
    DWORD m_status = ERROR_SUCCESS;
};

// The digest of bytes as 64 lower-case hex digits into digest. ERROR_SUCCESS, or why the system
// could not hash (digest is then left untouched).
[[nodiscard]] DWORD sha256Hex(const std::string& bytes, std::string& digest);
