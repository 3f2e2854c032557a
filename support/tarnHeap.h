#pragma once
// The support library's private heap and the registry of heaps that belong to the support code.
#include <windows.h>

#include <cstddef>

// Handle of the support heap (created on first use), or null when it could not be created.
HANDLE getStubHeap();

void* tarnHeapAlloc(DWORD flags, SIZE_T size);
void* tarnHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size);
// Grows or shrinks a block of the support heap; on failure the old block stays valid.
void* tarnHeapReAlloc(DWORD flags, void* block, SIZE_T size);
BOOL tarnHeapFree(HANDLE heap, DWORD flags, void* block);
BOOL tarnHeapFree(DWORD flags, void* block);

// Heaps created by the library itself are announced here after HeapCreate and withdrawn after
// HeapDestroy.
class tarnHeaps {
public:
    static int addHeap(HANDLE heap);
    static int removeHeap(HANDLE heap);
    static int isAnnounced(HANDLE heap);
    static std::size_t announcedCount();
};

void* dm_memcpy(void* destination, const void* source, std::size_t count);
void* dm_memset(void* destination, int value, std::size_t count);
