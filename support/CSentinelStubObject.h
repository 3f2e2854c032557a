#pragma once
// Common base of the library's heap-living classes: objects created with new live on the
// support heap and are released through the same heap by the deleting destructor.
#include <cstddef>

class CSentinelStubObject {
public:
    CSentinelStubObject() = default;
    virtual ~CSentinelStubObject() = default;

    // Returns null when the heap is exhausted; the new-expression then constructs nothing.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block) noexcept;
};
