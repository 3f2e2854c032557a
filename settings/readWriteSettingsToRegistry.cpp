// The registry store object and the key it is bound to: borrowed, or a chain of its own.
#include "settings/readWriteSettingsToRegistry.h"

#include "settings/registryKeyChain.h"

#include <new>
#include <string_view>
#include <vector>

readWriteSettingsToRegistry::readWriteSettingsToRegistry() : currentKey(nullptr) {}

readWriteSettingsToRegistry::~readWriteSettingsToRegistry() {
    currentKey = nullptr;
    closeKeys();
}

void readWriteSettingsToRegistry::attachKey(HKEY key) {
    currentKey = key;
}

void readWriteSettingsToRegistry::closeKeys() {
    for (int index = openedKeys.GetUpperBound(); index >= 0; --index) {
        HKEY key = static_cast<HKEY>(openedKeys.GetAt(index));
        if (key != nullptr)
            ::RegCloseKey(key);
    }
    openedKeys.RemoveAll();
    currentKey = nullptr;
}

int readWriteSettingsToRegistry::openKeyPath(const CStringArray& keyNames) {
    closeKeys();
    // No names binds the root itself, which is never closed.
    if (keyNames.IsEmpty()) {
        currentKey = HKEY_LOCAL_MACHINE;
        return 1;
    }
    try {
        std::vector<std::wstring_view> names;
        names.reserve(static_cast<std::size_t>(keyNames.GetSize()));
        for (int index = 0; index < keyNames.GetSize(); ++index)
            names.emplace_back(keyNames[index].GetString());
        registryKeyChain chain;
        if (chain.open(HKEY_LOCAL_MACHINE, names, KEY_READ, keyChainMode::openOrCreate) !=
            ERROR_SUCCESS)
            return 0;
        for (uniqueHkey& key : chain.release()) {
            openedKeys.Add(key.get());
            (void)key.release();
        }
    } catch (const std::bad_alloc&) {
        closeKeys();
        return 0;
    }
    currentKey = static_cast<HKEY>(openedKeys.GetAt(openedKeys.GetUpperBound()));
    return 1;
}
