#pragma once
// Where the elements of a counted list are stored: the names "<prefix><index>" (index in
// decimal without leading zeros) whose index is below the stored count. Elements are found
// among the names that are actually stored, so a list whose lower elements were removed keeps
// the rest, and a hostile count costs nothing beyond the names there are.
#include <cstdint>
#include <string>
#include <vector>

class listElements {
public:
    struct element {
        std::uint64_t index;
        std::wstring name;
    };

    listElements(std::wstring prefix, std::uint64_t count);

    // Keeps name when it is one of the list's elements. May throw std::bad_alloc.
    void offer(const wchar_t* name);
    const std::wstring& prefix() const { return m_prefix; }
    // The elements found, in index order.
    const std::vector<element>& inIndexOrder();
    // Whether every index below the count was found.
    bool complete() const { return m_found.size() == m_count; }

private:
    std::wstring m_prefix;
    std::uint64_t m_count;
    std::vector<element> m_found;
};
