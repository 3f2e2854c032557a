#pragma once
// An owning chain of registry keys: the components of a path opened one below the other, from a
// root, each with the same access. The chain holds a handle of its own to every key it opened
// and closes them last opened first (when closed, opened anew, assigned to or destroyed).
// Movable, not copyable.
#include "support/uniqueResource.h"

#include <windows.h>

#include <cstddef>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

enum class keyChainMode {
    openExisting, // creates nothing: a missing key fails with ERROR_FILE_NOT_FOUND
    openOrCreate, // creates missing keys, non-volatile
};

class registryKeyChain {
public:
    // The registry's own limits: key names of up to 255 characters, trees 512 levels deep.
    static constexpr std::size_t maxNameLength = 255;
    static constexpr std::size_t maxDepth = 512;

    registryKeyChain() noexcept = default;
    ~registryKeyChain() { close(); }
    registryKeyChain(registryKeyChain&& other) noexcept;
    registryKeyChain& operator=(registryKeyChain&& other) noexcept;
    registryKeyChain(const registryKeyChain&) = delete;
    registryKeyChain& operator=(const registryKeyChain&) = delete;

    // Closes what the chain holds, then opens path below root, one backslash-separated
    // component at a time. An empty component (a doubled, leading or trailing backslash) opens
    // the key reached so far again; an empty path opens root itself again. ERROR_SUCCESS, or the
    // code of the step that failed, and then the chain holds nothing. Refused with
    // ERROR_INVALID_PARAMETER before the registry is asked: a null root, a zero character in
    // the path, a component longer than maxNameLength, more than maxDepth components.
    [[nodiscard]] LSTATUS open(HKEY root, std::wstring_view path, REGSAM access, keyChainMode mode);
    // The same for key names given one by one; no names opens root itself again.
    [[nodiscard]] LSTATUS open(HKEY root, std::span<const std::wstring_view> names, REGSAM access,
                               keyChainMode mode);

    // Closes every key, last opened first.
    void close() noexcept;
    // Hands every key over, first opened first, for owners that keep raw handles; the chain
    // holds nothing afterwards and closes none of them.
    [[nodiscard]] std::vector<uniqueHkey> release() noexcept { return std::exchange(m_keys, {}); }

    bool isOpen() const noexcept { return !m_keys.empty(); }
    // The number of keys held: one per component.
    std::size_t size() const noexcept { return m_keys.size(); }
    // The key of the path's last component; null when nothing is open.
    HKEY last() const noexcept { return m_keys.empty() ? nullptr : m_keys.back().get(); }

private:
    std::vector<uniqueHkey> m_keys;
};
