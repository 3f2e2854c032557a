#include "containers/hashTable.h"

hashTable::hashTable(int blockSize) : chains(blockSize) {}

hashTable::~hashTable() {
    RemoveAll();
}

void hashTable::InitHashTable(unsigned bucketCount, BOOL allocNow) {
    chains.initBuckets(bucketCount, allocNow);
}

hashTable::entry* hashTable::find(std::uint64_t key) const {
    for (entry* current = chains.chainFor(hashKey(key)); current != nullptr;
         current = current->next) {
        if (current->key == key)
            return current;
    }
    return nullptr;
}

BOOL hashTable::Lookup(std::uint64_t key, void*& value) const {
    const entry* found = find(key);
    if (found == nullptr)
        return FALSE;
    value = found->value;
    return TRUE;
}

void* hashTable::GetValueAt(std::uint64_t key) const {
    const entry* found = find(key);
    return found != nullptr ? found->value : nullptr;
}

void*& hashTable::operator[](std::uint64_t key) {
    if (entry* found = find(key))
        return found->value;
    entry* added = chains.insert(hashKey(key));
    if (added == nullptr) {
        spareValue = nullptr;
        return spareValue;
    }
    added->key = key;
    return added->value;
}

BOOL hashTable::RemoveKey(std::uint64_t key) {
    return chains.removeFirst(hashKey(key), [key](const entry& e) { return e.key == key; }) ? TRUE
                                                                                            : FALSE;
}

void hashTable::GetNextAssoc(POSITION& position, std::uint64_t& key, void*& value) const {
    if (const entry* current = chains.step(position)) {
        key = current->key;
        value = current->value;
    }
}
