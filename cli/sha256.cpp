#include "cli/sha256.h"

#include "platform/optionalModule.h"

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

namespace {

using openProvider = decltype(&::BCryptOpenAlgorithmProvider);
using closeProvider = decltype(&::BCryptCloseAlgorithmProvider);
using createHash = decltype(&::BCryptCreateHash);
using hashData = decltype(&::BCryptHashData);
using finishHash = decltype(&::BCryptFinishHash);
using destroyHash = decltype(&::BCryptDestroyHash);

struct bcryptCalls {
    openProvider open;
    closeProvider close;
    createHash create;
    hashData data;
    finishHash finish;
    destroyHash destroy;
};

// A failed call's status as a Win32 code, so that callers report it like any other.
DWORD fromStatus(NTSTATUS status) {
    constexpr NTSTATUS noMemory = static_cast<NTSTATUS>(0xC0000017L);
    return status == noMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_FUNCTION;
}

DWORD hashWith(const bcryptCalls& calls, const std::string& bytes, UCHAR (&digest)[32]) {
    BCRYPT_ALG_HANDLE provider = nullptr;
    if (NTSTATUS status = calls.open(&provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0); status < 0)
        return fromStatus(status);
    BCRYPT_HASH_HANDLE hash = nullptr;
    // Without a buffer of ours the provider holds the hash state (Windows 7 and later).
    NTSTATUS status = calls.create(provider, &hash, nullptr, 0, nullptr, 0, 0);
    for (std::size_t done = 0; status >= 0 && done < bytes.size();) {
        const ULONG chunk =
            static_cast<ULONG>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        status = calls.data(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + done)),
                            chunk, 0);
        done += chunk;
    }
    if (status >= 0)
        status = calls.finish(hash, digest, sizeof(digest), 0);
    if (hash != nullptr)
        calls.destroy(hash);
    calls.close(provider, 0);
    return status >= 0 ? ERROR_SUCCESS : fromStatus(status);
}

} // namespace

DWORD sha256Hex(const std::string& bytes, std::string& digest) {
    const optionalModule module(L"bcrypt.dll");
    if (!module.isAvailable())
        return ::GetLastError() != ERROR_SUCCESS ? ::GetLastError() : ERROR_MOD_NOT_FOUND;
    const bcryptCalls calls{module.find<openProvider>("BCryptOpenAlgorithmProvider"),
                            module.find<closeProvider>("BCryptCloseAlgorithmProvider"),
                            module.find<createHash>("BCryptCreateHash"),
                            module.find<hashData>("BCryptHashData"),
                            module.find<finishHash>("BCryptFinishHash"),
                            module.find<destroyHash>("BCryptDestroyHash")};
    if (!calls.open || !calls.close || !calls.create || !calls.data || !calls.finish ||
        !calls.destroy)
        return ERROR_PROC_NOT_FOUND;
    UCHAR value[32];
    if (const DWORD error = hashWith(calls, bytes, value); error != ERROR_SUCCESS)
        return error;
    std::string text;
    for (UCHAR byte : value) {
        char pair[3];
        std::snprintf(pair, sizeof(pair), "%02x", byte);
        text += pair;
    }
    digest = text;
    return ERROR_SUCCESS;
}
