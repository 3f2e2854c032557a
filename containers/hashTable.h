#pragma once
// Map from pointer-sized keys to pointer-sized values on the support heap: 17 chained buckets
// unless InitHashTable sets another count, never rehashed; entries come from blocks of
// blockSize entries. Removing the last key releases all of its memory. Not locked. Range-for
// visits the entries in GetNextAssoc's order as pairs of references, the key's const.
#include "containers/entryChains.h"
#include "containers/position.h"
#include "support/CSentinelStubObject.h"

#include <windows.h>

#include <cstdint>
#include <utility>

class hashTable : public CSentinelStubObject {
    struct entry;

public:
    explicit hashTable(int blockSize);
    ~hashTable() override;

    hashTable(const hashTable&) = delete;
    hashTable& operator=(const hashTable&) = delete;

    // Meant for an empty table: drops the bucket array, makes one of bucketCount heads (0 uses
    // 1) when allocNow, else on the next insertion. Entries already held move into the new
    // buckets; if that array cannot be allocated nothing changes.
    void InitHashTable(unsigned bucketCount, BOOL allocNow);

    BOOL Lookup(std::uint64_t key, void*& value) const;
    // Null when the key is absent.
    void* GetValueAt(std::uint64_t key) const;
    // The key's value slot, inserted with null when absent. When the memory for it cannot be
    // had nothing is inserted and the slot is the table's spare one, which no lookup finds.
    void*& operator[](std::uint64_t key);
    void SetAt(std::uint64_t key, void* value) { (*this)[key] = value; }
    BOOL RemoveKey(std::uint64_t key);
    void RemoveAll() { chains.removeAll(); }

    int GetCount() const { return chains.entryCount(); }
    BOOL IsEmpty() const { return GetCount() == 0; }
    unsigned GetHashTableSize() const { return chains.chainCount(); }

    // Null when empty; iteration visits buckets in index order, each from its newest entry.
    POSITION GetStartPosition() const { return chains.startPosition(); }
    void GetNextAssoc(POSITION& position, std::uint64_t& key, void*& value) const;

    // The bucket of a key is hashKey(key) modulo the bucket count.
    static unsigned hashKey(std::uint64_t key) { return static_cast<unsigned>(key) >> 4; }

    struct view {
        static std::pair<const std::uint64_t&, void*&> of(entry& e) { return {e.key, e.value}; }
    };
    struct constView {
        static std::pair<const std::uint64_t&, void* const&> of(entry& e) {
            return {e.key, e.value};
        }
    };
    using iterator = entryIterator<entry, view>;
    using const_iterator = entryIterator<entry, constView>;
    iterator begin() { return iterator(&chains, chains.first()); }
    iterator end() { return iterator(&chains, nullptr); }
    const_iterator begin() const { return const_iterator(&chains, chains.first()); }
    const_iterator end() const { return const_iterator(&chains, nullptr); }

private:
    struct entry {
        entry* next;
        std::uint64_t key;
        void* value;

        unsigned hash() const { return hashKey(key); }
        unsigned bucketIn(unsigned bucketCount) const { return hash() % bucketCount; }
        void placeIn(unsigned) {}
    };

    entry* find(std::uint64_t key) const;

    entryChains<entry> chains;
    void* spareValue = nullptr;
};
