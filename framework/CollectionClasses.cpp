#include "framework/CollectionClasses.h"

namespace {
const wchar_t* orEmpty(const wchar_t* text) {
    return text != nullptr ? text : L"";
}
} // namespace

void CMapStringToString::SetAt(const wchar_t* key, const wchar_t* value) {
    m_entries[orEmpty(key)] = orEmpty(value);
}

int CMapStringToString::Lookup(const wchar_t* key, CString& value) const {
    const auto found = m_entries.find(orEmpty(key));
    if (found == m_entries.end())
        return 0;
    value = found->second;
    return 1;
}

int CMapStringToString::RemoveKey(const wchar_t* key) {
    return m_entries.erase(orEmpty(key)) != 0 ? 1 : 0;
}

// A position points at the next entry; the one after it is found by key, so each step costs one
// lookup.
POSITION CMapStringToString::GetStartPosition() const {
    if (m_entries.empty())
        return nullptr;
    return reinterpret_cast<POSITION>(const_cast<entries::value_type*>(&*m_entries.begin()));
}

void CMapStringToString::GetNextAssoc(POSITION& position, CString& key, CString& value) const {
    if (position == nullptr)
        return;
    const auto* entry = reinterpret_cast<const entries::value_type*>(position);
    key = entry->first.c_str();
    value = entry->second;
    const auto next = m_entries.upper_bound(entry->first);
    position = next == m_entries.end()
                   ? nullptr
                   : reinterpret_cast<POSITION>(const_cast<entries::value_type*>(&*next));
}
