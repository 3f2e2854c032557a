#include "support/tarnHeap.h"

#include "support/tarnHeapTesting.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

HANDLE getStubHeap() {
    // Created once, kept for the life of the process: static destructors still free into it.
    static const HANDLE heap = ::HeapCreate(0, 0, 0);
    return heap;
}

namespace {

// State of the test seam; see tarnHeapTesting.h.
std::atomic<bool> seamOn{false};
std::atomic<unsigned> allocationsUntilFailure{0};
std::atomic<long> liveSupportBlocks{0};

bool failThisAllocation() {
    if (!seamOn.load(std::memory_order_relaxed))
        return false;
    unsigned left = allocationsUntilFailure.load();
    while (left != 0 && !allocationsUntilFailure.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

void countSupportBlock(HANDLE heap, const void* block, long change) {
    if (seamOn.load(std::memory_order_relaxed) && block != nullptr && heap == getStubHeap())
        liveSupportBlocks += change;
}

} // namespace

tarnHeapSeam::tarnHeapSeam() {
    allocationsUntilFailure = 0;
    liveSupportBlocks = 0;
    seamOn = true;
}

tarnHeapSeam::~tarnHeapSeam() {
    seamOn = false;
    allocationsUntilFailure = 0;
}

void tarnHeapSeam::failAllocation(unsigned n) {
    allocationsUntilFailure = n;
}

bool tarnHeapSeam::failurePending() const {
    return allocationsUntilFailure.load() != 0;
}

long tarnHeapSeam::liveBlocks() const {
    return liveSupportBlocks.load();
}

void* tarnHeapAlloc(DWORD flags, SIZE_T size) {
    return tarnHeapAlloc(getStubHeap(), flags, size);
}

void* tarnHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    if (heap == nullptr || failThisAllocation())
        return nullptr;
    void* block = ::HeapAlloc(heap, flags, size);
    countSupportBlock(heap, block, 1);
    return block;
}

void* tarnHeapReAlloc(DWORD flags, void* block, SIZE_T size) {
    if (block == nullptr)
        return tarnHeapAlloc(flags, size);
    const HANDLE heap = getStubHeap();
    if (heap == nullptr || failThisAllocation())
        return nullptr;
    return ::HeapReAlloc(heap, flags, block, size);
}

BOOL tarnHeapFree(HANDLE heap, DWORD flags, void* block) {
    if (heap == nullptr || block == nullptr)
        return FALSE;
    const BOOL freed = ::HeapFree(heap, flags, block);
    if (freed)
        countSupportBlock(heap, block, -1);
    return freed;
}

BOOL tarnHeapFree(DWORD flags, void* block) {
    return tarnHeapFree(getStubHeap(), flags, block);
}

namespace {

struct heapRegistry {
    std::mutex lock;
    std::vector<HANDLE> heaps;
};

heapRegistry& registry() {
    static heapRegistry instance;
    return instance;
}

} // namespace

int tarnHeaps::addHeap(HANDLE heap) {
    if (heap == nullptr)
        return 0;
    heapRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (std::find(r.heaps.begin(), r.heaps.end(), heap) == r.heaps.end())
        r.heaps.push_back(heap);
    return 1;
}

int tarnHeaps::removeHeap(HANDLE heap) {
    heapRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = std::find(r.heaps.begin(), r.heaps.end(), heap);
    if (found == r.heaps.end())
        return 0;
    r.heaps.erase(found);
    return 1;
}

int tarnHeaps::isAnnounced(HANDLE heap) {
    heapRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return std::find(r.heaps.begin(), r.heaps.end(), heap) != r.heaps.end() ? 1 : 0;
}

std::size_t tarnHeaps::announcedCount() {
    heapRegistry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.heaps.size();
}

void* dm_memcpy(void* destination, const void* source, std::size_t count) {
    return std::memcpy(destination, source, count);
}

void* dm_memset(void* destination, int value, std::size_t count) {
    return std::memset(destination, value, count);
}
