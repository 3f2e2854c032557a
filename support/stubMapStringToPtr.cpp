#include "support/stubMapStringToPtr.h"

namespace {
const wchar_t* orEmpty(const wchar_t* key) {
    return key != nullptr ? key : L"";
}
} // namespace

stubMapStringToPtr::stubMapStringToPtr(int blockSize) {
    if (blockSize > 0)
        m_entries.reserve(static_cast<std::size_t>(blockSize));
}

void stubMapStringToPtr::SetAt(const wchar_t* key, void* value) {
    m_entries[orEmpty(key)] = value;
}

int stubMapStringToPtr::Lookup(const wchar_t* key, void*& value) const {
    const auto found = m_entries.find(orEmpty(key));
    if (found == m_entries.end())
        return 0;
    value = found->second;
    return 1;
}

int stubMapStringToPtr::RemoveKey(const wchar_t* key) {
    return m_entries.erase(orEmpty(key)) != 0 ? 1 : 0;
}
