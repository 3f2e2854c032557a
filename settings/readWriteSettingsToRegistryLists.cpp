// The registry store's indexed collections: string lists, number and string arrays, framework
// string arrays, and deleting their value families.
#include "settings/readWriteSettingsToRegistry.h"

#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "diagnostics/logFile.h"
#include "settings/CPersistStubStringArray.h"
#include "settings/listElements.h"
#include "settings/registryCollectionNames.h"
#include "support/stubString.h"

#include <cstdlib>
#include <cwchar>
#include <initializer_list>
#include <new>
#include <string>

using namespace registryCollections;

namespace {

// Refusals of a too long collection name go to the trace file like a failed write.
void reportRefusedName(const wchar_t* tracePath, const char* traceText, const wchar_t* name) {
    if (tracePath != nullptr)
        logFile::writeErrorToLogFile(tracePath, ERROR_INVALID_PARAMETER, traceText, name);
}

// The index that follows a collected name's prefix, as wcstol reads it (no digits give 0).
unsigned int indexAfter(const wchar_t* valueName, std::size_t prefixLength) {
    return static_cast<unsigned int>(std::wcstol(valueName + prefixLength, nullptr, 10));
}

CString listName(const wchar_t* name, const wchar_t* format, int index = 0) {
    CString composed;
    composed.Format(format, name, index);
    return composed;
}

// A failed element read has left its own error; a missing element fails as a missing value.
int listResult(bool readsSucceeded, const listElements& elements) {
    if (!readsSucceeded)
        return 0;
    return elements.complete() ? 1 : failedWith(ERROR_FILE_NOT_FOUND);
}

} // namespace

void readWriteSettingsToRegistry::findListElements(listElements& elements) {
    try {
        visitValueNames([&](const wchar_t* found) { elements.offer(found); });
    } catch (const std::bad_alloc&) {
        // Elements not found make the read fail; those found are still read.
    }
}

int readWriteSettingsToRegistry::readStringList(const wchar_t* name, std::vector<CString>& list) {
    DWORD count = 0;
    if (name != nullptr)
        readDword(listName(name, L"%ls_NumItems"), count);
    list.clear();
    if (count == 0)
        return 1;
    try {
        listElements elements(std::wstring(name) + L"_", count);
        findListElements(elements);
        int result = 1;
        for (const listElements::element& found : elements.inIndexOrder()) {
            CString element;
            if (!readCString(found.name.c_str(), element))
                result = 0;
            // Empty elements are dropped.
            if (!element.IsEmpty())
                list.push_back(element);
        }
        return listResult(result != 0, elements);
    } catch (const std::bad_alloc&) {
        return failedWith(ERROR_NOT_ENOUGH_MEMORY); // what was read so far stays
    }
}

int readWriteSettingsToRegistry::writeStringList(const wchar_t* tracePath, const wchar_t* name,
                                                 const std::vector<CString>& list) {
    if (name == nullptr)
        return failedWith(ERROR_INVALID_PARAMETER);
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

int readWriteSettingsToRegistry::readFrameworkStringArray(const wchar_t* name,
                                                          CStringArray& array) {
    if (currentKey == nullptr)
        return failedWith(ERROR_INVALID_HANDLE);
    if (name == nullptr)
        return failedWith(ERROR_INVALID_PARAMETER);
    std::int64_t count = 0;
    int result = readInt64(listName(name, L"%ls_SA_LEN"), count);
    array.RemoveAll();
    if (count <= 0)
        return result;
    try {
        listElements elements(std::wstring(name) + L"_SA_", static_cast<std::uint64_t>(count));
        findListElements(elements);
        for (const listElements::element& found : elements.inIndexOrder()) {
            CString element;
            if (readCString(found.name.c_str(), element))
                array.Add(element);
            else
                result = 0;
        }
        return listResult(result != 0, elements);
    } catch (const std::bad_alloc&) {
        return failedWith(ERROR_NOT_ENOUGH_MEMORY); // what was read so far stays
    }
}

int readWriteSettingsToRegistry::writeFrameworkStringArray(const wchar_t* tracePath,
                                                           const wchar_t* name,
                                                           const CStringArray& array) {
    if (currentKey == nullptr)
        return failedWith(ERROR_INVALID_HANDLE);
    if (name == nullptr)
        return failedWith(ERROR_INVALID_PARAMETER);
    int result = writeInt64(tracePath, listName(name, L"%ls_SA_LEN"), array.GetSize());
    for (int index = 0; index < array.GetSize(); ++index) {
        if (!writeCString(tracePath, listName(name, L"%ls_SA_%d", index), array[index]))
            result = 0;
    }
    return result;
}

int readWriteSettingsToRegistry::readUIntArray(CVector<unsigned int>& array, const wchar_t* name) {
    if (name == nullptr)
        return failedWith(ERROR_INVALID_PARAMETER);
    valueName prefix;
    if (_snwprintf_s(prefix, valueNameLength, _TRUNCATE, L"[%ls]I", name) < 0)
        return 1;
    const std::size_t prefixLength = std::wcslen(prefix);
    stubStringMap names(10);
    collectNames(prefix, names);
    array.Reserve(static_cast<unsigned int>(names.GetCount()), FALSE);
    for (POSITION position = names.GetStartPosition(); position != nullptr;) {
        stubString found, unused;
        names.GetNextAssoc(position, found, unused);
        const unsigned int index = indexAfter(found, prefixLength);
        DWORD value = 0;
        if (index >= maxArrayIndex || !readDword(found, value))
            continue;
        array.Reserve(index + 1, FALSE);
        // Entries between the old end and a new index get 0, not whatever the heap held.
        for (unsigned int gap = array.GetCount(); gap < index; ++gap)
            array.SetAt(gap, 0);
        array.SetAt(index, value);
    }
    return 1;
}

int readWriteSettingsToRegistry::writeUIntArray(const wchar_t* tracePath,
                                                const CVector<unsigned int>& array,
                                                const wchar_t* name) {
    const unsigned int count = array.GetCount();
    if (!familyFits(numberFormat, name, count)) {
        reportRefusedName(tracePath, "set value", name);
        return 1;
    }
    valueName composed;
    for (unsigned int index = 0; index < count; ++index) {
        const DWORD value = array.GetAt(index);
        // Through the registry even when unbound, so each refusal reaches the trace file.
        if (composeName(composed, numberFormat, name, index))
            (void)setValue(tracePath, composed, REG_DWORD, &value, sizeof(value), "set value");
    }
    return 1;
}

int readWriteSettingsToRegistry::readStringArray(CPersistStubStringArray& array,
                                                 const wchar_t* name) {
    valueName prefix;
    if (name == nullptr || _snwprintf_s(prefix, valueNameLength, _TRUNCATE, L"[%ls]SS", name) < 0)
        return 1;
    stubStringMap names(10);
    collectNames(prefix, names);
    for (POSITION position = names.GetStartPosition(); position != nullptr;) {
        stubString found, unused, text;
        names.GetNextAssoc(position, found, unused);
        if (readString(found, text))
            array.AddString(text);
    }
    return 1;
}

int readWriteSettingsToRegistry::writeStringArray(const wchar_t* tracePath,
                                                  const CVector<stubString*>& array,
                                                  const wchar_t* name) {
    const unsigned int count = array.GetCount();
    if (!familyFits(stringArrayFormat, name, count)) {
        reportRefusedName(tracePath, "setting string value", name);
        return count == 0 ? 1 : failedWith(ERROR_INVALID_PARAMETER);
    }
    int result = 1;
    valueName composed;
    for (unsigned int index = 0; index < count; ++index) {
        const stubString* text = array.GetAt(index);
        if (text != nullptr && composeName(composed, stringArrayFormat, name, index) &&
            !writeString(tracePath, composed, *text))
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
