#pragma once
// Chained hash map keyed by strings, built like hashTable: 17 buckets unless InitHashTable sets
// another count, never rehashed, entries from blocks of blockSize entries on the support heap.
// Keys are hashed with the wide hashString and compared exactly (case matters); each entry
// keeps the index of its bucket, so iteration never rehashes. Entries are removed only all at
// once. Not locked.
//
// Used as hashMap<stubString, const wchar_t*, stubString, const wchar_t*> and
// hashMap<stubString, const wchar_t*, unsigned int, unsigned int>. Range-for visits the entries
// in GetNextAssoc's order as pairs of references, the key's const:
//   for (const auto& [key, value] : map) ...
// toStdMap and assign convert to and from std::map, with std::wstring for stubString.
#include "containers/entryChains.h"
#include "containers/hashString.h"
#include "containers/position.h"
#include "support/CSentinelStubObject.h"
#include "support/stubString.h"

#include <windows.h>

#include <map>
#include <string>
#include <type_traits>
#include <utility>

template <class KEY, class ARG_KEY, class VALUE, class ARG_VALUE>
class hashMap : public CSentinelStubObject {
    struct entry;
    template <class T>
    using standardType = std::conditional_t<std::is_same_v<T, stubString>, std::wstring, T>;

public:
    using standardMap = std::map<standardType<KEY>, standardType<VALUE>>;
    explicit hashMap(int blockSize) : chains(blockSize) {}
    ~hashMap() override { RemoveAll(); }

    hashMap(const hashMap&) = delete;
    hashMap& operator=(const hashMap&) = delete;

    // Meant for an empty map: drops the bucket array, makes one of bucketCount heads (0 uses 1)
    // when allocNow, else on the next insertion. Entries already held move into the new
    // buckets; if that array cannot be allocated nothing changes.
    void InitHashTable(unsigned bucketCount, BOOL allocNow) {
        chains.initBuckets(bucketCount, allocNow);
    }

    BOOL Lookup(ARG_KEY key, VALUE& value) const {
        const entry* found = find(key, hashString(key));
        if (found == nullptr)
            return FALSE;
        value = found->value;
        return TRUE;
    }

    // The key's value, inserted empty (0) when absent. When the memory for it cannot be had
    // nothing is inserted and the value is the map's spare one, which no lookup finds.
    VALUE& operator[](ARG_KEY key) {
        const unsigned hash = hashString(key);
        if (entry* found = find(key, hash))
            return found->value;
        entry* added = chains.insert(hash);
        if (added == nullptr) {
            spareValue = VALUE();
            return spareValue;
        }
        added->key = key;
        return added->value;
    }

    void SetAt(ARG_KEY key, ARG_VALUE value) { (*this)[key] = value; }

    void RemoveAll() { chains.removeAll(); }

    int GetCount() const { return chains.entryCount(); }
    BOOL IsEmpty() const { return GetCount() == 0; }
    unsigned GetHashTableSize() const { return chains.chainCount(); }

    // Null when empty; iteration visits buckets in index order, each from its newest entry.
    POSITION GetStartPosition() const { return chains.startPosition(); }
    void GetNextAssoc(POSITION& position, KEY& key, VALUE& value) const {
        if (const entry* current = chains.step(position)) {
            key = current->key;
            value = current->value;
        }
    }

    struct view {
        static std::pair<const KEY&, VALUE&> of(entry& e) { return {e.key, e.value}; }
    };
    struct constView {
        static std::pair<const KEY&, const VALUE&> of(entry& e) { return {e.key, e.value}; }
    };
    using iterator = entryIterator<entry, view>;
    using const_iterator = entryIterator<entry, constView>;
    iterator begin() { return iterator(&chains, chains.first()); }
    iterator end() { return iterator(&chains, nullptr); }
    const_iterator begin() const { return const_iterator(&chains, chains.first()); }
    const_iterator end() const { return const_iterator(&chains, nullptr); }

    // Every entry, ordered by std::map. Throws std::bad_alloc when memory runs out, as std::map
    // itself does.
    standardMap toStdMap() const {
        standardMap result;
        for (const auto& [key, value] : *this)
            result.emplace(toStandard(key), toStandard(value));
        return result;
    }
    // Replaces the entries with the std::map's. FALSE, with the map emptied, when memory runs
    // out or a text holds a zero character (it would be cut, and could meet another key).
    BOOL assign(const standardMap& from) {
        RemoveAll();
        for (const auto& [key, value] : from) {
            const int before = GetCount();
            if (!storable(key) || !storable(value)) {
                RemoveAll();
                return FALSE;
            }
            VALUE& slot = (*this)[toArgument<ARG_KEY>(key)];
            // A key that could not be inserted leaves the count as it was.
            if (GetCount() == before) {
                RemoveAll();
                return FALSE;
            }
            slot = toArgument<ARG_VALUE>(value);
        }
        return TRUE;
    }

private:
    template <class T> static standardType<T> toStandard(const T& value) {
        if constexpr (std::is_same_v<T, stubString>)
            return std::wstring(value, static_cast<std::size_t>(value.GetLength()));
        else
            return value;
    }
    template <class ARG, class T> static ARG toArgument(const T& value) {
        if constexpr (std::is_same_v<T, std::wstring>)
            return value.c_str();
        else
            return value;
    }
    template <class T> static bool storable(const T& value) {
        if constexpr (std::is_same_v<T, std::wstring>)
            return value.find(L'\0') == std::wstring::npos;
        else
            return true;
    }

    struct entry {
        entry* next = nullptr;
        unsigned bucket = 0;
        KEY key{};
        VALUE value{};

        unsigned hash() const { return hashString(static_cast<ARG_KEY>(key)); }
        unsigned bucketIn(unsigned) const { return bucket; }
        void placeIn(unsigned index) { bucket = index; }
    };

    entry* find(ARG_KEY key, unsigned hash) const {
        for (entry* current = chains.chainFor(hash); current != nullptr; current = current->next) {
            if (current->key == key)
                return current;
        }
        return nullptr;
    }

    entryChains<entry> chains;
    VALUE spareValue{};
};
