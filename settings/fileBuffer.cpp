#include "settings/fileBuffer.h"

#include "settings/widenedBytes.h"
#include "support/tarnHeap.h"
#include "support/uniqueResource.h"

#include <algorithm>
#include <new>

namespace {

constexpr DWORD defaultGrowBy = 10000;
constexpr SIZE_T smallestHeap = 65536;
constexpr std::uint64_t largestSize = 0xFFFFFFFFull;

fileBufferHeapCalls g_heap = {::HeapCreate, ::HeapAlloc, ::HeapReAlloc, ::HeapFree, ::HeapDestroy};

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

fileBufferHeapCalls setFileBufferHeapCalls(fileBufferHeapCalls calls) {
    const fileBufferHeapCalls previous = g_heap;
    g_heap.create = calls.create != nullptr ? calls.create : ::HeapCreate;
    g_heap.alloc = calls.alloc != nullptr ? calls.alloc : ::HeapAlloc;
    g_heap.reAlloc = calls.reAlloc != nullptr ? calls.reAlloc : ::HeapReAlloc;
    g_heap.free = calls.free != nullptr ? calls.free : ::HeapFree;
    g_heap.destroy = calls.destroy != nullptr ? calls.destroy : ::HeapDestroy;
    return previous;
}

fileBuffer::fileBuffer()
    : heap(nullptr), data(nullptr), size(0), capacity(0), growBy(defaultGrowBy), position(0),
      file(INVALID_HANDLE_VALUE) {}

fileBuffer::~fileBuffer() {
    close();
}

int fileBuffer::createHeap(SIZE_T bytes) {
    if (heap != nullptr)
        return 1;
    const SIZE_T initial = bytes <= smallestHeap ? smallestHeap : bytes + 4096;
    heap = g_heap.create(0, initial, 0);
    if (heap == nullptr)
        return 0;
    try {
        tarnHeaps::addHeap(heap);
    } catch (const std::bad_alloc&) {
        // The announcement is a courtesy to the support library; the heap works without it.
    }
    return 1;
}

void fileBuffer::freeData() {
    if (data == nullptr)
        return;
    if (heap != nullptr)
        g_heap.free(heap, 0, data);
    data = nullptr;
    size = capacity = position = 0;
}

int fileBuffer::allocate(DWORD bytes) {
    freeData();
    if (!createHeap(bytes))
        return 0;
    void* block = g_heap.alloc(heap, 0, bytes);
    if (block == nullptr)
        return 0;
    data = static_cast<unsigned char*>(block);
    capacity = bytes;
    size = position = 0;
    return 1;
}

int fileBuffer::reserve(DWORD count) {
    const std::uint64_t needed = std::uint64_t{position} + count;
    if (needed > largestSize) {
        ::SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    if (needed < capacity)
        return 1;
    if (capacity != 0)
        return grow(static_cast<DWORD>(needed));
    return allocate(std::max(static_cast<DWORD>(needed), growBy));
}

int fileBuffer::grow(DWORD needed) {
    if (heap == nullptr)
        return 0;
    const std::uint64_t stepped = std::uint64_t{capacity} + growBy;
    const std::uint64_t newCapacity = needed <= stepped ? stepped : needed;
    if (newCapacity > largestSize) {
        ::SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return 0;
    }
    void* block = g_heap.reAlloc(heap, 0, data, static_cast<SIZE_T>(newCapacity));
    if (block == nullptr)
        return 0;
    data = static_cast<unsigned char*>(block);
    capacity = static_cast<DWORD>(newCapacity);
    return 1;
}

int fileBuffer::close() {
    freeData();
    if (heap != nullptr) {
        g_heap.destroy(heap);
        tarnHeaps::removeHeap(heap);
        heap = nullptr;
    }
    return closeFile();
}

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
    void* block = g_heap.alloc(heap, 0, bytes);
    if (block == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    data = static_cast<unsigned char*>(block);
    capacity = bytes;
    position = 0;
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

int fileBuffer::seek(DWORD offset) {
    if (offset >= size)
        return 0;
    position = offset;
    return 1;
}

int fileBuffer::seekFrom(long offset, int origin) {
    switch (origin) {
    case 0:
        return seek(0);
    case 1:
        return seek(position + static_cast<DWORD>(offset));
    case 2:
        return size == 0 ? 1 : seek(size - 1);
    default:
        return 1;
    }
}
