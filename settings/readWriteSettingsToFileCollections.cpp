// Collections as families of records whose names derive from the collection's name. Apart from
// the list elements, every element goes through the object's own scalar operations, so a class
// that overrides a scalar operation changes its collections too.
#include "settings/readWriteSettingsToFile.h"

#include "settings/listElements.h"
#include "settings/readWriteSettingsToFileNames.h"

#include <algorithm>
#include <new>
#include <string>

namespace {

// "%s_NumItems" and "%s_%d": no length limit.
std::wstring listCountName(const wchar_t* name) {
    return std::wstring(name) + L"_NumItems";
}

std::wstring listElementName(const wchar_t* name, int index) {
    return std::wstring(name) + L"_" + std::to_wstring(index);
}

} // namespace

bool composeCollectionName(composedName& buffer, const wchar_t* name, const wchar_t* tag,
                           unsigned int index) {
    if (name == nullptr)
        return false;
    const std::wstring number = std::to_wstring(index);
    std::size_t length = 0;
    for (const wchar_t* piece : {L"[", name, L"]", tag, number.c_str()}) {
        for (const wchar_t* c = piece; *c != L'\0'; ++c) {
            // Refused rather than cut: a cut name would belong to another element.
            if (length + 1 >= composedNameCapacity)
                return false;
            buffer[length++] = *c;
        }
    }
    buffer[length] = L'\0';
    return true;
}

int readWriteSettingsToFile::writeStringList(const wchar_t* tracePath, const wchar_t* valueName,
                                             const std::vector<CString>& list) {
    if (valueName == nullptr)
        return 0;
    try {
        writeDword(tracePath, listCountName(valueName).c_str(), static_cast<DWORD>(list.size()));
        int result = 1;
        for (std::size_t i = 0; i < list.size(); ++i)
            if (!writeTextRecord(listElementName(valueName, static_cast<int>(i)).c_str(), list[i],
                                 static_cast<std::size_t>(list[i].GetLength())))
                result = 0;
        return result;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int readWriteSettingsToFile::readStringList(const wchar_t* valueName, std::vector<CString>& list) {
    list.clear();
    if (valueName == nullptr)
        return 1;
    try {
        DWORD count = 0;
        if (!readDword(listCountName(valueName).c_str(), count) || count == 0)
            return 1;
        // The elements are looked for among the stored names, which sit together in name order:
        // missing lower elements lose nothing, and a damaged count costs no lookups.
        listElements elements(std::wstring(valueName) + L"_", count);
        for (auto it = records.lower_bound(elements.prefix()); it != records.end(); ++it) {
            if (it->first.compare(0, elements.prefix().size(), elements.prefix()) != 0)
                break;
            elements.offer(it->first.c_str());
        }
        for (const listElements::element& found : elements.inIndexOrder()) {
            CString element;
            if (readCString(found.name.c_str(), element))
                list.push_back(element);
        }
    } catch (const std::bad_alloc&) {
        // What was read so far stays in the list.
    }
    return 1;
}

int readWriteSettingsToFile::removeComposed(const wchar_t* tag, const wchar_t* name,
                                            unsigned int count) {
    composedName composed;
    for (unsigned int i = 0; i < count; ++i)
        if (composeCollectionName(composed, name, tag, i))
            removeRecord(composed);
    return 1;
}

int readWriteSettingsToFile::deleteUIntArray(const wchar_t*, const wchar_t* name,
                                             unsigned int count) {
    return removeComposed(L"I", name, count);
}

int readWriteSettingsToFile::deleteCollections(const wchar_t* name, unsigned int count) {
    composedName composed;
    for (unsigned int i = 0; i < count; ++i)
        for (const wchar_t* tag : {L"SS", L"S", L"I"})
            if (composeCollectionName(composed, name, tag, i))
                removeRecord(composed);
    return 1;
}

int readWriteSettingsToFile::deleteStringArray(const wchar_t* name, unsigned int count) {
    return removeComposed(L"SS", name, count);
}

int readWriteSettingsToFile::deleteMapStrings(const wchar_t* name, unsigned int count) {
    return removeComposed(L"S", name, count);
}

int readWriteSettingsToFile::deleteMapNumbers(const wchar_t* name, unsigned int count) {
    return removeComposed(L"I", name, count);
}
