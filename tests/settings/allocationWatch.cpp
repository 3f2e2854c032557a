#include "tests/settings/allocationWatch.h"

#include "settings/settingRecord.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// Every block carries its size in front, so its release can be counted.
constexpr std::size_t header = 16;

struct watchState {
    bool armed = false;
    unsigned failIn = 0;
    long long live = 0;
    long long peak = 0;
    settingRecordHeapCalls recordHeap{};
} g_watch;

// Null for the planned failure; otherwise the block from allocate, its size in front.
template <typename Allocate> void* counted(std::size_t bytes, Allocate allocate) {
    if (g_watch.armed && g_watch.failIn != 0 && --g_watch.failIn == 0)
        return nullptr;
    auto* block = static_cast<unsigned char*>(allocate(bytes + header));
    if (block == nullptr)
        return nullptr;
    *reinterpret_cast<std::size_t*>(block) = bytes;
    if (g_watch.armed)
        g_watch.peak = std::max(g_watch.peak, g_watch.live += static_cast<long long>(bytes));
    return block + header;
}

void* uncounted(void* pointer) {
    auto* block = static_cast<unsigned char*>(pointer) - header;
    if (g_watch.armed)
        g_watch.live -= static_cast<long long>(*reinterpret_cast<std::size_t*>(block));
    return block;
}

void* recordAlloc(std::size_t bytes) {
    return counted(bytes, g_watch.recordHeap.alloc);
}

void recordFree(void* pointer) {
    g_watch.recordHeap.free(uncounted(pointer));
}

} // namespace

// The program's global allocation goes through the watch too (new[] and delete[] come here
// by default).
void* operator new(std::size_t bytes) {
    void* block = counted(bytes != 0 ? bytes : 1, std::malloc);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void operator delete(void* pointer) noexcept {
    if (pointer != nullptr)
        std::free(uncounted(pointer));
}

void operator delete(void* pointer, std::size_t) noexcept {
    operator delete(pointer);
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
