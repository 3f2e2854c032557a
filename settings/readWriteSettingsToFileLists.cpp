// Lists of values: string lists ("%s_NumItems" and "%s_%d"), number arrays ("[%s]I%u") and string
// arrays ("[%s]I%u" to read, "[%s]SS%u" to delete). Apart from the string list's elements, every
// element goes through the object's own scalar operations, so a class that overrides a scalar
// operation changes its lists too.
#include "settings/readWriteSettingsToFile.h"

#include "containers/CVector.h"
#include "settings/CPersistStubStringArray.h"
#include "settings/listElements.h"
#include "settings/readWriteSettingsToFileCollectionNames.h"
#include "support/stubString.h"

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

int readWriteSettingsToFile::deleteUIntArray(const wchar_t*, const wchar_t* name,
                                             unsigned int count) {
    return removeComposed(L"I", name, count);
}

int readWriteSettingsToFile::deleteStringArray(const wchar_t* name, unsigned int count) {
    return removeComposed(L"SS", name, count);
}

int readWriteSettingsToFile::readUIntArray(CVector<unsigned int>& array, const wchar_t* name) {
    composedName composed;
    unsigned int value = 0;
    for (unsigned int i = 0;
         composeCollectionName(composed, name, L"I", i) && readUInt(composed, value); ++i) {
        // A value that finds no memory is dropped; the walk goes on.
        array.Add(value);
    }
    return 1;
}

int readWriteSettingsToFile::writeUIntArray(const wchar_t* tracePath,
                                            const CVector<unsigned int>& array,
                                            const wchar_t* name) {
    composedName composed;
    int result = 1;
    for (unsigned int i = 0; i < array.GetCount(); ++i)
        if (!composeCollectionName(composed, name, L"I", i) ||
            !writeUInt(tracePath, composed, array.GetAt(i)))
            result = 0;
    return result;
}

int readWriteSettingsToFile::readStringArray(CPersistStubStringArray& array, const wchar_t* name) {
    composedName composed;
    stubString text;
    for (unsigned int i = 0;
         composeCollectionName(composed, name, L"I", i) && readString(composed, text); ++i)
        array.AddString(text);
    return 1;
}

int readWriteSettingsToFile::writeStringArray(const wchar_t* tracePath,
                                              const CVector<stubString*>& array,
                                              const wchar_t* name) {
    composedName composed;
    int result = 1;
    for (unsigned int i = 0; i < array.GetCount(); ++i) {
        const stubString* element = array.GetAt(i);
        if (element == nullptr)
            continue; // leaves its index unwritten
        if (!composeCollectionName(composed, name, L"I", i) ||
            !writeString(tracePath, composed, *element))
            result = 0;
    }
    return result;
}
