#include "support/CSentinelStubObject.h"

#include "support/tarnHeap.h"

void* CSentinelStubObject::operator new(std::size_t size) noexcept {
    return tarnHeapAlloc(0, size);
}

void CSentinelStubObject::operator delete(void* block) noexcept {
    if (block != nullptr)
        tarnHeapFree(0, block);
}
