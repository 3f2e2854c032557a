#include "settings/listElements.h"

#include <algorithm>
#include <cwchar>

namespace {

// The index written by "%d" or "%u": decimal digits, no sign, no leading zero.
bool parseIndex(const wchar_t* digits, std::uint64_t limit, std::uint64_t& index) {
    if (*digits < L'0' || *digits > L'9' || (digits[0] == L'0' && digits[1] != L'\0'))
        return false;
    index = 0;
    for (const wchar_t* c = digits; *c != L'\0'; ++c) {
        if (*c < L'0' || *c > L'9')
            return false;
        const auto digit = static_cast<std::uint64_t>(*c - L'0');
        if (index > (limit - digit) / 10)
            return false;
        index = index * 10 + digit;
        if (index >= limit)
            return false;
    }
    return true;
}

} // namespace

listElements::listElements(std::wstring prefix, std::uint64_t count)
    : m_prefix(std::move(prefix)), m_count(count) {}

void listElements::offer(const wchar_t* name) {
    if (name == nullptr || std::wcsncmp(name, m_prefix.c_str(), m_prefix.size()) != 0)
        return;
    std::uint64_t index = 0;
    if (parseIndex(name + m_prefix.size(), m_count, index))
        m_found.push_back({index, name});
}

const std::vector<listElements::element>& listElements::inIndexOrder() {
    std::sort(m_found.begin(), m_found.end(),
              [](const element& left, const element& right) { return left.index < right.index; });
    return m_found;
}
