#include "tests/settings/allocationWatch.h"

#include "settings/settingRecord.h"

#include <cstdlib>
#include <new>

namespace {

// Every block of operator new carries its size in front, watched or not, so a block allocated
// before a watch and freed during one (or the other way round) is still released correctly.
constexpr std::size_t header = 16;

struct watchState {
    bool armed = false;
    unsigned failIn = 0;
    long long live = 0;
    long long peak = 0;
    settingRecordHeapCalls recordHeap{};
};
watchState g_watch;

// True when this allocation is the planned failure.
bool countAllocation(std::size_t bytes) {
    if (!g_watch.armed)
        return false;
    if (g_watch.failIn != 0 && --g_watch.failIn == 0)
        return true;
    g_watch.live += static_cast<long long>(bytes);
    if (g_watch.live > g_watch.peak)
        g_watch.peak = g_watch.live;
    return false;
}

void countRelease(std::size_t bytes) {
    if (g_watch.armed)
        g_watch.live -= static_cast<long long>(bytes);
}

void* allocateCounted(std::size_t bytes) {
    if (countAllocation(bytes))
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(bytes + header));
    if (block == nullptr)
        return nullptr;
    *reinterpret_cast<std::size_t*>(block) = bytes;
    return block + header;
}

void releaseCounted(void* pointer) {
    if (pointer == nullptr)
        return;
    auto* block = static_cast<unsigned char*>(pointer) - header;
    countRelease(*reinterpret_cast<std::size_t*>(block));
    std::free(block);
}

void* newBlock(std::size_t bytes) {
    void* block = allocateCounted(bytes != 0 ? bytes : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

// Record blocks keep their size in front as well, then go to the heap the seam replaced.
void* recordAlloc(std::size_t bytes) {
    if (countAllocation(bytes))
        return nullptr;
    auto* block = static_cast<unsigned char*>(g_watch.recordHeap.alloc(bytes + header));
    if (block == nullptr)
        return nullptr;
    *reinterpret_cast<std::size_t*>(block) = bytes;
    return block + header;
}

void recordFree(void* pointer) {
    auto* block = static_cast<unsigned char*>(pointer) - header;
    countRelease(*reinterpret_cast<std::size_t*>(block));
    g_watch.recordHeap.free(block);
}

} // namespace

void* operator new(std::size_t bytes) {
    return newBlock(bytes);
}
void* operator new[](std::size_t bytes) {
    return newBlock(bytes);
}
void operator delete(void* block) noexcept {
    releaseCounted(block);
}
void operator delete[](void* block) noexcept {
    releaseCounted(block);
}
void operator delete(void* block, std::size_t) noexcept {
    releaseCounted(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    releaseCounted(block);
}

allocationWatch::allocationWatch() {
    g_watch = watchState{};
    g_watch.recordHeap = setSettingRecordHeapCalls({recordAlloc, recordFree});
    g_watch.armed = true;
}

allocationWatch::~allocationWatch() {
    g_watch.armed = false;
    setSettingRecordHeapCalls(g_watch.recordHeap);
}

void allocationWatch::failAllocation(unsigned n) {
    g_watch.failIn = n;
}

bool allocationWatch::failurePending() const {
    return g_watch.failIn != 0;
}

long long allocationWatch::liveBytes() const {
    return g_watch.live;
}

long long allocationWatch::peakBytes() const {
    return g_watch.peak;
}

void allocationWatch::resetPeak() {
    g_watch.peak = g_watch.live;
}
