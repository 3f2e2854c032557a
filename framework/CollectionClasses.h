#pragma once
// The framework's collections used by the program: CStringArray, CPtrArray, CMapStringToString.
#ifndef RC_INVOKED
#include "framework/CString.h"

#include <map>
#include <vector>

// Growable array with the framework's index-based interface. Out-of-range reads give an empty
// element instead of reading past the array.
template <typename T> class frameworkArray {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    int Add(const T& item) {
        m_items.push_back(item);
        return GetUpperBound();
    }
    T GetAt(int index) const {
        return isValid(index) ? m_items[static_cast<std::size_t>(index)] : T();
    }
    void SetAt(int index, const T& item) {
        if (isValid(index))
            m_items[static_cast<std::size_t>(index)] = item;
    }
    // Grows the array with empty elements where index lies past the end.
    void SetAtGrow(int index, const T& item) {
        if (index < 0)
            return;
        if (index >= GetSize())
            m_items.resize(static_cast<std::size_t>(index) + 1);
        m_items[static_cast<std::size_t>(index)] = item;
    }
    void InsertAt(int index, const T& item) {
        if (index < 0 || index > GetSize())
            return;
        m_items.insert(m_items.begin() + index, item);
    }
    void RemoveAt(int index, int count = 1) {
        if (!isValid(index) || count <= 0)
            return;
        const int last = std::min(GetSize(), index + count);
        m_items.erase(m_items.begin() + index, m_items.begin() + last);
    }
    void RemoveAll() { m_items.clear(); }
    void SetSize(int size) { m_items.resize(size > 0 ? static_cast<std::size_t>(size) : 0); }

    T& operator[](int index) { return m_items.at(static_cast<std::size_t>(index)); }
    const T& operator[](int index) const { return m_items.at(static_cast<std::size_t>(index)); }

private:
    bool isValid(int index) const { return index >= 0 && index < GetSize(); }
    std::vector<T> m_items;
};

class CStringArray : public frameworkArray<CString> {};
class CPtrArray : public frameworkArray<void*> {};

// Position of an iteration over CMapStringToString; null ends it.
using POSITION = struct positionTag*;

class CMapStringToString {
public:
    explicit CMapStringToString(int blockSize = 10) : m_blockSize(blockSize) {}
    virtual ~CMapStringToString() = default;

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    int GetSize() const { return GetCount(); }
    bool IsEmpty() const { return m_entries.empty(); }
    int GetBlockSize() const { return m_blockSize; }

    void SetAt(const wchar_t* key, const wchar_t* value);
    // Non-zero and sets value when present; value is untouched otherwise.
    int Lookup(const wchar_t* key, CString& value) const;
    int RemoveKey(const wchar_t* key);
    void RemoveAll() { m_entries.clear(); }

    // Iteration in key order; the map must not change while an iteration runs.
    POSITION GetStartPosition() const;
    void GetNextAssoc(POSITION& position, CString& key, CString& value) const;

private:
    using entries = std::map<std::wstring, CString>;
    int m_blockSize;
    entries m_entries;
};

#endif
