#pragma once
// Scoped holders for Win32 handles: one owner, closed in the destructor, movable, not copyable.
// A key, heap, module or kernel-object holder treats null as empty; a file holder treats
// INVALID_HANDLE_VALUE as empty. Closing keeps the thread's last-error value, so a holder that
// goes out of scope on an error path leaves the caller the code of the failure.
#ifndef RC_INVOKED
#include "support/win32Errors.h"

#include <windows.h>

#include <utility>

template <typename T, typename Traits> class uniqueResource {
public:
    uniqueResource() noexcept = default;
    explicit uniqueResource(T value) noexcept : m_value(value) {}
    ~uniqueResource() { reset(); }

    uniqueResource(const uniqueResource&) = delete;
    uniqueResource& operator=(const uniqueResource&) = delete;
    uniqueResource(uniqueResource&& other) noexcept : m_value(other.release()) {}
    uniqueResource& operator=(uniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    T get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::empty(); }

    // Closes what is held and hands out the field for an API that fills it.
    T* put() noexcept {
        reset();
        return &m_value;
    }

    T release() noexcept { return std::exchange(m_value, Traits::empty()); }

    void reset(T value = Traits::empty()) noexcept {
        T old = std::exchange(m_value, value);
        if (old != Traits::empty()) {
            const lastErrorKeeper keep;
            Traits::close(old);
        }
    }

private:
    T m_value = Traits::empty();
};

struct hkeyTraits {
    static HKEY empty() noexcept { return nullptr; }
    static void close(HKEY key) noexcept { ::RegCloseKey(key); }
};
struct fileHandleTraits {
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};
struct kernelHandleTraits {
    static HANDLE empty() noexcept { return nullptr; }
    static void close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};
struct heapTraits {
    static HANDLE empty() noexcept { return nullptr; }
    static void close(HANDLE heap) noexcept { ::HeapDestroy(heap); }
};
struct moduleTraits {
    static HMODULE empty() noexcept { return nullptr; }
    static void close(HMODULE module) noexcept { ::FreeLibrary(module); }
};
struct findHandleTraits {
    static HANDLE empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) noexcept { ::FindClose(handle); }
};

using uniqueHkey = uniqueResource<HKEY, hkeyTraits>;
using uniqueFileHandle = uniqueResource<HANDLE, fileHandleTraits>;
using uniqueKernelHandle = uniqueResource<HANDLE, kernelHandleTraits>;
using uniqueHeap = uniqueResource<HANDLE, heapTraits>;
using uniqueModule = uniqueResource<HMODULE, moduleTraits>;
using uniqueFindHandle = uniqueResource<HANDLE, findHandleTraits>;

#endif
