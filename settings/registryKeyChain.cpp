#include "settings/registryKeyChain.h"

#include <new>
#include <string>

namespace {

[[nodiscard]] LSTATUS openOne(HKEY parent, const wchar_t* name, REGSAM access, keyChainMode mode,
                              uniqueHkey& key) {
    // An empty name opens the parent again; only RegOpenKeyExW documents that.
    if (mode == keyChainMode::openExisting || name[0] == L'\0')
        return ::RegOpenKeyExW(parent, name, 0, access, key.put());
    return ::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             key.put(), nullptr);
}

bool fitsTheRegistry(std::span<const std::wstring_view> names) {
    if (names.size() > registryKeyChain::maxDepth)
        return false;
    for (const std::wstring_view name : names) {
        if (name.size() > registryKeyChain::maxNameLength ||
            name.find(L'\0') != std::wstring_view::npos)
            return false;
    }
    return true;
}

} // namespace

registryKeyChain::registryKeyChain(registryKeyChain&& other) noexcept
    : m_keys(std::move(other.m_keys)) {
    other.m_keys.clear();
}

registryKeyChain& registryKeyChain::operator=(registryKeyChain&& other) noexcept {
    if (this != &other) {
        close();
        m_keys = std::move(other.m_keys);
        other.m_keys.clear();
    }
    return *this;
}

void registryKeyChain::close() noexcept {
    // A vector destroys its elements in no promised order: close from the end.
    while (!m_keys.empty())
        m_keys.pop_back();
}

LSTATUS registryKeyChain::open(HKEY root, std::wstring_view path, REGSAM access,
                               keyChainMode mode) {
    close();
    if (path.find(L'\0') != std::wstring_view::npos)
        return ERROR_INVALID_PARAMETER;
    // Each separator adds a component; a path with too many is refused without splitting it.
    std::size_t components = 1;
    for (const wchar_t character : path) {
        if (character == L'\\' && ++components > maxDepth)
            return ERROR_INVALID_PARAMETER;
    }
    try {
        std::vector<std::wstring_view> names;
        names.reserve(components);
        for (std::size_t start = 0;;) {
            const std::size_t separator = path.find(L'\\', start);
            names.push_back(path.substr(start, separator - start));
            if (separator == std::wstring_view::npos)
                break;
            start = separator + 1;
        }
        return open(root, names, access, mode);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

LSTATUS registryKeyChain::open(HKEY root, std::span<const std::wstring_view> names, REGSAM access,
                               keyChainMode mode) {
    close();
    if (root == nullptr || !fitsTheRegistry(names))
        return ERROR_INVALID_PARAMETER;
    const std::wstring_view self[] = {std::wstring_view()};
    const std::span<const std::wstring_view> steps = names.empty() ? self : names;
    try {
        m_keys.reserve(steps.size());
        HKEY parent = root;
        for (const std::wstring_view name : steps) {
            const std::wstring terminated(name);
            uniqueHkey key;
            const LSTATUS status = openOne(parent, terminated.c_str(), access, mode, key);
            if (status != ERROR_SUCCESS) {
                close();
                return status;
            }
            parent = key.get();
            m_keys.push_back(std::move(key));
        }
        return ERROR_SUCCESS;
    } catch (const std::bad_alloc&) {
        close();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}
