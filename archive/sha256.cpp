#include "archive/sha256.h"

#include "platform/systemModules.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

namespace {

// A failed call's status as a Win32 code, so that callers report it like any other.
DWORD fromStatus(NTSTATUS status) {
    constexpr NTSTATUS noMemory = static_cast<NTSTATUS>(0xC0000017L);
    return status == noMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_FUNCTION;
}

template <typename function> function find(HMODULE module, const char* name) {
    return reinterpret_cast<function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

} // namespace

struct sha256Stream::calls {
    decltype(&::BCryptOpenAlgorithmProvider) open;
    decltype(&::BCryptCloseAlgorithmProvider) close;
    decltype(&::BCryptCreateHash) create;
    decltype(&::BCryptHashData) data;
    decltype(&::BCryptFinishHash) finish;
    decltype(&::BCryptDestroyHash) destroy;
};

sha256Stream::sha256Stream() : m_module(loadSystemModule(L"bcrypt.dll")) {
    if (!m_module) {
        m_status = ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
        return;
    }
    auto found = std::make_unique<calls>(
        calls{find<decltype(&::BCryptOpenAlgorithmProvider)>(m_module.get(),
                                                             "BCryptOpenAlgorithmProvider"),
              find<decltype(&::BCryptCloseAlgorithmProvider)>(m_module.get(),
                                                              "BCryptCloseAlgorithmProvider"),
              find<decltype(&::BCryptCreateHash)>(m_module.get(), "BCryptCreateHash"),
              find<decltype(&::BCryptHashData)>(m_module.get(), "BCryptHashData"),
              find<decltype(&::BCryptFinishHash)>(m_module.get(), "BCryptFinishHash"),
              find<decltype(&::BCryptDestroyHash)>(m_module.get(), "BCryptDestroyHash")});
    const calls& c = *found;
    if (!c.open || !c.close || !c.create || !c.data || !c.finish || !c.destroy) {
        m_status = ERROR_PROC_NOT_FOUND;
        return;
    }
    m_calls = std::move(found);
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (const NTSTATUS status = c.open(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        status < 0) {
        m_status = fromStatus(status);
        return;
    }
    m_provider = provider;
    BCRYPT_HASH_HANDLE hash = nullptr;
    // Without a buffer of ours the provider holds the hash state (Windows 7 and later).
    if (const NTSTATUS status = c.create(provider, &hash, nullptr, 0, nullptr, 0, 0); status < 0)
        m_status = fromStatus(status);
    else
        m_hash = hash;
}

sha256Stream::~sha256Stream() {
    if (m_hash != nullptr)
        m_calls->destroy(m_hash);
    if (m_provider != nullptr)
        m_calls->close(m_provider, 0);
}

DWORD sha256Stream::add(const void* bytes, std::size_t size) {
    for (std::size_t done = 0; m_status == ERROR_SUCCESS && done < size;) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size - done, 1u << 30));
        auto* start = static_cast<UCHAR*>(const_cast<void*>(bytes)) + done;
        if (const NTSTATUS status = m_calls->data(m_hash, start, chunk, 0); status < 0)
            m_status = fromStatus(status);
        done += chunk;
    }
    return m_status;
}

DWORD sha256Stream::finish(std::string& digest) {
    UCHAR value[32];
    if (m_status == ERROR_SUCCESS) {
        if (const NTSTATUS status = m_calls->finish(m_hash, value, sizeof(value), 0); status < 0)
            m_status = fromStatus(status);
    }
    if (m_status != ERROR_SUCCESS)
        return m_status;
    m_status = ERROR_INVALID_STATE;
    std::string text;
    for (UCHAR byte : value) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", byte);
        text += pair;
    }
    digest = text;
    return ERROR_SUCCESS;
}

DWORD sha256Hex(const std::string& bytes, std::string& digest) {
    sha256Stream hash;
    hash.add(bytes.data(), bytes.size());
    return hash.finish(digest);
}
