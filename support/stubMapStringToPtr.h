#pragma once
// Map from wide strings (compared exactly) to pointer-sized values.
#include <string>
#include <unordered_map>

class stubMapStringToPtr {
public:
    explicit stubMapStringToPtr(int blockSize = 10);
    virtual ~stubMapStringToPtr() = default;

    stubMapStringToPtr(const stubMapStringToPtr&) = delete;
    stubMapStringToPtr& operator=(const stubMapStringToPtr&) = delete;

    // Inserts or replaces; a null key is stored as the empty string.
    void SetAt(const wchar_t* key, void* value);
    // Non-zero and sets value when the key is present; value is untouched otherwise.
    int Lookup(const wchar_t* key, void*& value) const;
    int RemoveKey(const wchar_t* key);
    void RemoveAll() { m_entries.clear(); }
    int GetCount() const { return static_cast<int>(m_entries.size()); }

private:
    std::unordered_map<std::wstring, void*> m_entries;
};
