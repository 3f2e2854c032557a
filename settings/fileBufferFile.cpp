// The file side of fileBuffer: whole-file reads and writes, and the handle it may hold.
#include "settings/fileBuffer.h"

#include "settings/widenedBytes.h"
#include "support/uniqueResource.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint64_t largestSize = 0xFFFFFFFFull;

// An existing file, shared for reading and for a rename over it (where the system allows
// replacing an open file); empty, with the reason in GetLastError, otherwise.
uniqueFileHandle openForReading(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    if (name == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return uniqueFileHandle();
    }
    return uniqueFileHandle(::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                          security, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

int fileBuffer::readFile(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    freeData();
    uniqueFileHandle input = openForReading(name, security);
    if (!input)
        return 0;
    LARGE_INTEGER fileSize{};
    if (!::GetFileSizeEx(input.get(), &fileSize))
        return 0;
    // The buffer's sizes are 32-bit: a larger file is refused rather than read in part.
    if (static_cast<std::uint64_t>(fileSize.QuadPart) > largestSize) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return 0;
    }
    const DWORD bytes = static_cast<DWORD>(fileSize.QuadPart);
    if (!createHeap(bytes))
        return 0;
    if (!allocate(bytes)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    DWORD got = 0;
    const BOOL ok = ::ReadFile(input.get(), data, bytes, &got, nullptr);
    // Only the bytes that arrived are contents; a file that shrank meanwhile ends early.
    size = std::min(got, bytes);
    return ok ? 1 : 0;
}

int fileBuffer::readFile(const char* name, SECURITY_ATTRIBUTES* security) {
    const widenedBytes wide(name);
    return readFile(wide.get(), security);
}

int fileBuffer::saveFile(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    if (!createOutput(name, security))
        return 0;
    const int written = writeToFile();
    const DWORD error = ::GetLastError();
    const int closed = closeFile();
    if (!written)
        ::SetLastError(error);
    return written && closed ? 1 : 0;
}

int fileBuffer::saveFile(const char* name, SECURITY_ATTRIBUTES* security) {
    const widenedBytes wide(name);
    return saveFile(wide.get(), security);
}

int fileBuffer::getFileTimes(const wchar_t* name, SECURITY_ATTRIBUTES* security, FILETIME& created,
                             FILETIME& lastWritten, FILETIME& lastAccessed) {
    created = lastWritten = lastAccessed = FILETIME{};
    uniqueFileHandle input = openForReading(name, security);
    if (!input)
        return 0;
    ::GetFileTime(input.get(), &created, &lastAccessed, &lastWritten);
    return 1;
}

int fileBuffer::getFileTimes(const char* name, SECURITY_ATTRIBUTES* security, FILETIME& created,
                             FILETIME& lastWritten, FILETIME& lastAccessed) {
    const widenedBytes wide(name);
    return getFileTimes(wide.get(), security, created, lastWritten, lastAccessed);
}

int fileBuffer::openFile(const wchar_t* name, SECURITY_ATTRIBUTES* security, DWORD access,
                         DWORD share, DWORD disposition) {
    if (name == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    file =
        ::CreateFileW(name, access, share, security, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE ? 1 : 0;
}

int fileBuffer::createOutput(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    return openFile(name, security, GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS);
}

int fileBuffer::createOutput(const char* name, SECURITY_ATTRIBUTES* security) {
    const widenedBytes wide(name);
    return createOutput(wide.get(), security);
}

int fileBuffer::createOutputReadShared(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    return openFile(name, security, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
}

int fileBuffer::createOutputReadShared(const char* name, SECURITY_ATTRIBUTES* security) {
    const widenedBytes wide(name);
    return createOutputReadShared(wide.get(), security);
}

int fileBuffer::openOutput(const wchar_t* name, SECURITY_ATTRIBUTES* security) {
    return openFile(name, security, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
}

int fileBuffer::openOutput(const char* name, SECURITY_ATTRIBUTES* security) {
    const widenedBytes wide(name);
    return openOutput(wide.get(), security);
}

int fileBuffer::attachFile(HANDLE handle) {
    file = handle;
    return file != INVALID_HANDLE_VALUE ? 1 : 0;
}

DWORD fileBuffer::seekFileToEnd() {
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    return ::SetFilePointer(file, 0, nullptr, FILE_END);
}

int fileBuffer::writeToFile() {
    if (file == INVALID_HANDLE_VALUE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, data, size, &written, nullptr);
    position = 0;
    if (ok && written != size) {
        ::SetLastError(ERROR_WRITE_FAULT);
        return 0;
    }
    return ok ? 1 : 0;
}

int fileBuffer::writeToFileOverlapped(OVERLAPPED* overlapped) {
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, data, size, &written, overlapped);
    position = 0;
    return ok;
}

int fileBuffer::closeFile() {
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    ::CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    return 1;
}
