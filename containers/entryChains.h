#pragma once
// Storage shared by hashTable and hashMap: a fixed array of chain heads (never rehashed) and
// entries carved out of blocks of blockSize entries, recycled through a free list and returned
// to the heap only all at once. Everything lives on the support heap.
//
// An ENTRY is default-constructible and provides:
//   ENTRY* next;                                  the chain link
//   unsigned hash() const;                        its key's full hash
//   unsigned bucketIn(unsigned bucketCount) const the chain it sits in
//   void placeIn(unsigned bucket);                called when it joins a chain
#include "containers/position.h"
#include "support/tarnHeap.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <new>
#include <utility>

// Where an iteration starts: the all-ones pointer value.
inline POSITION iterationStartMarker() {
    return reinterpret_cast<POSITION>(~static_cast<std::uintptr_t>(0));
}

// Frees a block of the support heap; skipped when the heap is gone.
inline void releaseSupportBlock(void* block) {
    const HANDLE heap = getStubHeap();
    if (heap != nullptr && block != nullptr)
        tarnHeapFree(heap, 0, block);
}

template <class ENTRY> class entryChains {
public:
    // A block of fewer than one entry would leave nothing to hand out.
    explicit entryChains(int entriesPerBlock)
        : blockSize(entriesPerBlock > 0 ? entriesPerBlock : 1) {}
    ~entryChains() { removeAll(); }

    entryChains(const entryChains&) = delete;
    entryChains& operator=(const entryChains&) = delete;

    int entryCount() const { return count; }
    unsigned chainCount() const { return bucketCount; }

    // Head of the chain a hash belongs to; null when there are no buckets yet.
    ENTRY* chainFor(unsigned hash) const {
        return buckets != nullptr ? buckets[hash % bucketCount] : nullptr;
    }

    // On an empty table: drops the bucket array, makes a new one when allocNow, and keeps n as
    // the bucket count. Entries already held move into a new array of n buckets instead; when
    // that array cannot be had the table stays as it was.
    void initBuckets(unsigned n, BOOL allocNow) {
        if (n == 0)
            n = 1; // the bucket index is a remainder by n
        if (count > 0) {
            moveInto(n);
            return;
        }
        releaseSupportBlock(buckets);
        buckets = allocNow ? newBucketArray(n) : nullptr;
        bucketCount = n;
    }

    // A new value-initialised entry at the head of the hash's chain, counted; null when the
    // bucket array or a block cannot be allocated (nothing changes then but the buckets).
    ENTRY* insert(unsigned hash) {
        if (buckets == nullptr)
            initBuckets(bucketCount, TRUE);
        if (buckets == nullptr || (freeList == nullptr && !addBlock()))
            return nullptr;
        freeSlot* slot = freeList;
        freeList = slot->next;
        ENTRY* entry = new (static_cast<void*>(slot)) ENTRY();
        ++count;
        const unsigned bucket = hash % bucketCount;
        entry->placeIn(bucket);
        entry->next = buckets[bucket];
        buckets[bucket] = entry;
        return entry;
    }

    // Unlinks and frees the first entry of the hash's chain that matches; removing the last
    // entry releases all memory. False when no entry matches.
    template <class MATCH> bool removeFirst(unsigned hash, MATCH matches) {
        if (buckets == nullptr)
            return false;
        for (ENTRY** link = &buckets[hash % bucketCount]; *link != nullptr; link = &(*link)->next) {
            ENTRY* entry = *link;
            if (matches(*entry)) {
                *link = entry->next;
                freeEntry(entry);
                return true;
            }
        }
        return false;
    }

    // Destroys every entry and frees buckets and blocks; the bucket count stays.
    void removeAll() {
        if (buckets != nullptr) {
            for (unsigned b = 0; b < bucketCount; ++b) {
                for (ENTRY* entry = buckets[b]; entry != nullptr;) {
                    ENTRY* following = entry->next;
                    entry->~ENTRY();
                    entry = following;
                }
            }
        }
        releaseSupportBlock(buckets);
        buckets = nullptr;
        count = 0;
        freeList = nullptr;
        while (blocks != nullptr) {
            blockHeader* previous = blocks->previous;
            releaseSupportBlock(blocks);
            blocks = previous;
        }
    }

    POSITION startPosition() const { return count == 0 ? nullptr : iterationStartMarker(); }

    // The entries in iteration order: buckets in index order, each chain from its head. Null
    // after the last one.
    ENTRY* first() const { return count == 0 ? nullptr : firstFrom(0); }
    ENTRY* after(const ENTRY* current) const {
        return current->next != nullptr ? current->next
                                        : firstFrom(current->bucketIn(bucketCount) + 1);
    }

    // The entry at position, which moves on to the next one (null after the last): buckets in
    // index order, each chain from its head. Null when position is null or nothing is left.
    const ENTRY* step(POSITION& position) const {
        if (position == nullptr)
            return nullptr;
        const ENTRY* current = position == iterationStartMarker()
                                   ? firstFrom(0)
                                   : reinterpret_cast<const ENTRY*>(position);
        if (current == nullptr) {
            position = nullptr;
            return nullptr;
        }
        position = reinterpret_cast<POSITION>(after(current));
        return current;
    }

private:
    struct freeSlot {
        freeSlot* next;
    };
    struct blockHeader {
        blockHeader* previous;
    };
    static_assert(sizeof(ENTRY) >= sizeof(freeSlot) && alignof(ENTRY) <= alignof(blockHeader),
                  "entries sit right behind the block header and carry the free list");

    static ENTRY** newBucketArray(unsigned n) {
        const SIZE_T bytes = static_cast<SIZE_T>(n) * sizeof(ENTRY*);
        auto* array = static_cast<ENTRY**>(tarnHeapAlloc(0, bytes));
        if (array != nullptr)
            dm_memset(array, 0, bytes);
        return array;
    }

    // Links a new block in front of the others and puts its entries on the free list so that
    // its first entry is handed out first.
    bool addBlock() {
        const SIZE_T bytes = sizeof(blockHeader) + static_cast<SIZE_T>(blockSize) * sizeof(ENTRY);
        void* memory = tarnHeapAlloc(0, bytes);
        if (memory == nullptr)
            return false;
        blocks = new (memory) blockHeader{blocks};
        auto* first = reinterpret_cast<unsigned char*>(blocks + 1);
        for (int i = blockSize; i-- > 0;)
            freeList = new (first + static_cast<SIZE_T>(i) * sizeof(ENTRY)) freeSlot{freeList};
        return freeList != nullptr;
    }

    void freeEntry(ENTRY* entry) {
        entry->~ENTRY();
        freeList = new (static_cast<void*>(entry)) freeSlot{freeList};
        if (--count == 0)
            removeAll();
    }

    ENTRY* firstFrom(unsigned bucket) const {
        if (buckets == nullptr)
            return nullptr;
        for (; bucket < bucketCount; ++bucket) {
            if (buckets[bucket] != nullptr)
                return buckets[bucket];
        }
        return nullptr;
    }

    // Each old chain is reversed first and its entries pushed onto the new heads, so entries
    // that share a chain keep their order (newest first).
    void moveInto(unsigned n) {
        ENTRY** moved = newBucketArray(n);
        if (moved == nullptr)
            return;
        for (unsigned b = 0; b < bucketCount; ++b) {
            ENTRY* oldestFirst = nullptr;
            for (ENTRY* entry = buckets[b]; entry != nullptr;) {
                ENTRY* following = entry->next;
                entry->next = oldestFirst;
                oldestFirst = entry;
                entry = following;
            }
            while (oldestFirst != nullptr) {
                ENTRY* entry = oldestFirst;
                oldestFirst = entry->next;
                const unsigned bucket = entry->hash() % n;
                entry->placeIn(bucket);
                entry->next = moved[bucket];
                moved[bucket] = entry;
            }
        }
        releaseSupportBlock(buckets);
        buckets = moved;
        bucketCount = n;
    }

    ENTRY** buckets = nullptr;
    unsigned bucketCount = 17;
    int count = 0;
    freeSlot* freeList = nullptr;
    blockHeader* blocks = nullptr;
    int blockSize;
};

// A forward iterator over the entries of an entryChains, in their iteration order. VIEW::of
// turns an entry into what the caller sees (a pair of references to key and value). Adding or
// removing entries invalidates it.
template <class ENTRY, class VIEW> class entryIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = decltype(VIEW::of(std::declval<ENTRY&>()));
    using reference = value_type;
    using pointer = void;
    using difference_type = std::ptrdiff_t;

    entryIterator() = default;
    entryIterator(const entryChains<ENTRY>* chains, ENTRY* entry)
        : m_chains(chains), m_entry(entry) {}

    reference operator*() const { return VIEW::of(*m_entry); }
    entryIterator& operator++() {
        m_entry = m_chains->after(m_entry);
        return *this;
    }
    entryIterator operator++(int) {
        entryIterator before = *this;
        ++*this;
        return before;
    }
    friend bool operator==(const entryIterator& left, const entryIterator& right) {
        return left.m_entry == right.m_entry;
    }

private:
    const entryChains<ENTRY>* m_chains = nullptr;
    ENTRY* m_entry = nullptr;
};
