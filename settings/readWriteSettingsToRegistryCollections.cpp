#include "settings/readWriteSettingsToRegistry.h"

#include <cstdlib>
#include <cwchar>
#include <initializer_list>

namespace {

using valueName = wchar_t[readWriteSettingsToRegistry::valueNameLength];

// A name that does not fit is refused rather than cut.
[[nodiscard]] bool composeName(valueName& buffer, const wchar_t* format, const wchar_t* name,
                               unsigned int index) {
    return name != nullptr && _snwprintf_s(buffer, readWriteSettingsToRegistry::valueNameLength,
                                           _TRUNCATE, format, name, index) >= 0;
}

// The longest name of a family is the one with the highest index.
[[nodiscard]] bool familyFits(const wchar_t* format, const wchar_t* name, unsigned int count) {
    valueName buffer;
    return composeName(buffer, format, name, count > 0 ? count - 1 : 0);
}

CString listName(const wchar_t* name, const wchar_t* format, int index = 0) {
    CString composed;
    composed.Format(format, name, index);
    return composed;
}

// A stored count cannot name more elements than the key holds values; reading up to a hostile
// count would take billions of queries.
template <class Count> bool limitToValueCount(HKEY key, Count& count) {
    DWORD values = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                           nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        values = 0;
    if (count <= static_cast<Count>(values))
        return true;
    count = static_cast<Count>(values);
    return false;
}

} // namespace

int readWriteSettingsToRegistry::readStringList(const wchar_t* name, std::vector<CString>& list) {
    DWORD count = 0;
    if (name != nullptr)
        readDword(listName(name, L"%ls_NumItems"), count);
    list.clear();
    int result = limitToValueCount(currentKey, count) ? 1 : 0;
    for (DWORD index = 0; index < count; ++index) {
        CString element;
        if (!readCString(listName(name, L"%ls_%d", static_cast<int>(index)), element))
            result = 0;
        // Empty elements are dropped.
        if (!element.IsEmpty())
            list.push_back(element);
    }
    return result;
}

int readWriteSettingsToRegistry::writeStringList(const wchar_t* tracePath, const wchar_t* name,
                                                 const std::vector<CString>& list) {
    if (name == nullptr)
        return 0;
    // The count's own result is not part of the list's.
    writeDword(tracePath, listName(name, L"%ls_NumItems"), static_cast<DWORD>(list.size()));
    int result = 1;
    for (std::size_t index = 0; index < list.size(); ++index) {
        if (!writeCString(tracePath, listName(name, L"%ls_%d", static_cast<int>(index)),
                          list[index]))
            result = 0;
    }
    return result;
}

void readWriteSettingsToRegistry::deleteFamilies(const wchar_t* name, unsigned int count,
                                                 std::initializer_list<const wchar_t*> formats) {
    if (currentKey == nullptr)
        return;
    for (const wchar_t* format : formats) {
        if (!familyFits(format, name, count))
            return;
    }
    valueName composed;
    for (unsigned int index = 0; index < count; ++index) {
        for (const wchar_t* format : formats) {
            if (composeName(composed, format, name, index))
                ::RegDeleteValueW(currentKey, composed);
        }
    }
}

int readWriteSettingsToRegistry::deleteUIntArray(const wchar_t*, const wchar_t* name,
                                                 unsigned int count) {
    deleteFamilies(name, count, {numberFormat});
    return 1;
}

int readWriteSettingsToRegistry::deleteCollections(const wchar_t* name, unsigned int count) {
    deleteFamilies(name, count, {stringArrayFormat, mapStringFormat, numberFormat});
    return 1;
}

int readWriteSettingsToRegistry::deleteStringArray(const wchar_t* name, unsigned int count) {
    deleteFamilies(name, count, {stringArrayFormat});
    return 1;
}

int readWriteSettingsToRegistry::deleteMapStrings(const wchar_t* name, unsigned int count) {
    deleteFamilies(name, count, {mapStringFormat});
    return 1;
}

int readWriteSettingsToRegistry::deleteMapNumbers(const wchar_t* name, unsigned int count) {
    deleteFamilies(name, count, {numberFormat});
    return 1;
}

int readWriteSettingsToRegistry::readFrameworkStringArray(const wchar_t* name,
                                                          CStringArray& array) {
    if (currentKey == nullptr || name == nullptr)
        return 0;
    std::int64_t count = 0;
    int result = readInt64(listName(name, L"%ls_SA_LEN"), count);
    // Elements beyond the key's values are missing: the read fails after those before them.
    const bool complete = limitToValueCount(currentKey, count);
    array.RemoveAll();
    for (std::int64_t index = 0; index < count; ++index) {
        CString element;
        if (!readCString(listName(name, L"%ls_SA_%d", static_cast<int>(index)), element))
            result = 0;
        // After the first failure the reads go on, but nothing more is kept.
        if (result)
            array.Add(element);
    }
    return complete ? result : 0;
}

int readWriteSettingsToRegistry::writeFrameworkStringArray(const wchar_t* tracePath,
                                                           const wchar_t* name,
                                                           const CStringArray& array) {
    if (currentKey == nullptr || name == nullptr)
        return 0;
    int result = writeInt64(tracePath, listName(name, L"%ls_SA_LEN"), array.GetSize());
    for (int index = 0; index < array.GetSize(); ++index) {
        if (!writeCString(tracePath, listName(name, L"%ls_SA_%d", index), array[index]))
            result = 0;
    }
    return result;
}
