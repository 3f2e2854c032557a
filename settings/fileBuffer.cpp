// fileBuffer's memory: its private heap, the block of contents and the cursor.
#include "settings/fileBuffer.h"

#include "support/tarnHeap.h"

#include <algorithm>
#include <new>

namespace {

constexpr DWORD defaultGrowBy = 10000;
constexpr SIZE_T smallestHeap = 65536;
constexpr std::uint64_t largestSize = 0xFFFFFFFFull;

fileBufferHeapCalls g_heap = {::HeapCreate, ::HeapAlloc, ::HeapReAlloc, ::HeapFree, ::HeapDestroy};

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
