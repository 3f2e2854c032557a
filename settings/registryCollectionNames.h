#pragma once
// Composing the value names of the registry store's collections (private to the store).
#include "settings/readWriteSettingsToRegistry.h"

#include <windows.h>

#include <cstdio>

namespace registryCollections {

using valueName = wchar_t[readWriteSettingsToRegistry::valueNameLength];

// A name that does not fit is refused rather than cut.
[[nodiscard]] inline bool composeName(valueName& buffer, const wchar_t* format, const wchar_t* name,
                                      unsigned int index) {
    return name != nullptr && _snwprintf_s(buffer, readWriteSettingsToRegistry::valueNameLength,
                                           _TRUNCATE, format, name, index) >= 0;
}

// The longest name of a family is the one with the highest index.
[[nodiscard]] inline bool familyFits(const wchar_t* format, const wchar_t* name,
                                     unsigned int count) {
    valueName buffer;
    return composeName(buffer, format, name, count > 0 ? count - 1 : 0);
}

inline int failedWith(DWORD error) {
    ::SetLastError(error);
    return 0;
}

} // namespace registryCollections
