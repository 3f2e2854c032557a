#pragma once
// Element names of the bracketed collections: "[name]" + tag + index, as "[%s]I%u", "[%s]S%u"
// and "[%s]SS%u" compose them.
#include <cstddef>

inline constexpr std::size_t composedNameCapacity = 264;
using composedName = wchar_t[composedNameCapacity];

// False, with buffer unspecified, for a null name or a name that needs more than 263
// characters.
bool composeCollectionName(composedName& buffer, const wchar_t* name, const wchar_t* tag,
                           unsigned int index);
