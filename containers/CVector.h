#pragma once
// Growable array of plain values (pointers, integers) on the support heap, grown by a fixed
// increment: the first element allocates initialSize elements, later growth adds growBy. The
// storage moves as raw memory, and pointer elements are never deleted here (their owner does).
// The capacity stays within its 32-bit field: growth beyond it fails like exhausted memory.
#include "support/tarnHeap.h"

#include <windows.h>

#include <climits>
#include <cstdint>
#include <type_traits>

template <class TYPE> class CVector {
    static_assert(std::is_trivially_copyable_v<TYPE>, "elements move as raw memory");

public:
    enum : int { addDone = 4, addOutOfMemory = 7 };

    CVector() = default;
    virtual ~CVector() { RemoveAll(); }

    CVector(const CVector&) = delete;
    CVector& operator=(const CVector&) = delete;

    // 4 when the element was appended; 7 when memory ran out, with the vector unchanged.
    int Add(const TYPE& item) {
        if (items == nullptr) {
            if (initialSize == 0) {
                initialSize = 1;
                growBy = 1;
            }
            if (!resizeStorage(static_cast<std::int64_t>(capacity) + initialSize))
                return addOutOfMemory;
        } else if (count >= static_cast<unsigned>(capacity)) {
            if (!resizeStorage(static_cast<std::int64_t>(capacity) + growBy))
                return addOutOfMemory;
        }
        items[count++] = item;
        return addDone;
    }

    // The element, or 0 when index is not below the count.
    TYPE GetAt(unsigned index) const { return index < count ? items[index] : TYPE(); }

    // False when index is not below the capacity. Storing beyond the count raises the count to
    // index + 1; the elements in between keep whatever they held.
    BOOL SetAt(unsigned index, TYPE item) {
        if (index >= static_cast<unsigned>(capacity))
            return FALSE;
        items[index] = item;
        if (index >= count)
            count = index + 1;
        return TRUE;
    }

    unsigned GetCount() const { return count; }

    // 0 and negative sizes are ignored: they would leave no room for the first element or
    // shrink the storage under the elements.
    void SetInitialSize(int n) {
        if (n > 0)
            initialSize = n;
    }
    void SetGrowBy(int n) {
        if (n > 0)
            growBy = n;
    }

    // Makes room for index n - 1: the capacity becomes n, or capacity + growBy when that is
    // larger. With setCount the count becomes at least n (new elements are not initialised).
    // False for 0, and when the storage cannot be had (the vector is then unchanged).
    BOOL Reserve(unsigned n, BOOL setCount) {
        if (n == 0)
            return FALSE;
        if (n >= static_cast<unsigned>(capacity)) {
            const std::int64_t wanted = static_cast<std::int64_t>(n);
            const std::int64_t stepped = static_cast<std::int64_t>(capacity) + growBy;
            if (!resizeStorage(wanted - capacity < growBy ? stepped : wanted))
                return FALSE;
        }
        if (setCount && n > count)
            count = n;
        return TRUE;
    }

    // Releases the storage; the sizes are kept.
    void RemoveAll() {
        count = 0;
        capacity = 0;
        if (items != nullptr) {
            TYPE* old = items;
            items = nullptr;
            const HANDLE heap = getStubHeap();
            if (heap != nullptr)
                tarnHeapFree(heap, 0, old);
        }
    }

    // Back to the initial fields without releasing storage: for a vector that holds none.
    void Init() {
        count = 0;
        items = nullptr;
        initialSize = 1;
        capacity = 0;
        growBy = 1;
    }

protected:
    unsigned count = 0;
    TYPE* items = nullptr;
    int initialSize = 1;
    int capacity = 0;
    int growBy = 1;

private:
    // New capacity for the storage; false, with nothing changed, when it does not fit the
    // capacity field or the heap refuses.
    bool resizeStorage(std::int64_t newCapacity) {
        if (newCapacity <= 0 || newCapacity > INT_MAX)
            return false;
        // TYPE may itself be a pointer type: the storage holds TYPE values either way.
        // NOLINTNEXTLINE(bugprone-sizeof-expression)
        const SIZE_T bytes = static_cast<SIZE_T>(newCapacity) * sizeof(TYPE);
        void* storage =
            items == nullptr ? tarnHeapAlloc(0, bytes) : tarnHeapReAlloc(0, items, bytes);
        if (storage == nullptr)
            return false;
        items = static_cast<TYPE*>(storage);
        capacity = static_cast<int>(newCapacity);
        return true;
    }
};
