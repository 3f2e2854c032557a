// The registry store's maps: value names collected by prefix, and the dll map.
#include "settings/readWriteSettingsToRegistry.h"

#include "containers/hashMap.h"
#include "settings/registryCollectionNames.h"
#include "support/stubString.h"

#include <cwchar>

using namespace registryCollections;

int readWriteSettingsToRegistry::collectNames(const wchar_t* prefix, stubStringMap& names) {
    if (prefix == nullptr)
        return failedWith(ERROR_INVALID_PARAMETER);
    const std::size_t prefixLength = std::wcslen(prefix);
    visitValueNames([&](const wchar_t* name) {
        if (std::wcsncmp(name, prefix, prefixLength) == 0)
            names.SetAt(name, name);
    });
    return 1;
}

int readWriteSettingsToRegistry::readDllMap(stubStringToUIntMap& map) {
    map.RemoveAll();
    // Every value of the key counts, not only the map's; indices without a pair are skipped.
    unsigned int count = 0;
    wchar_t name[520];
    BYTE data[1040];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = 520;
        DWORD dataBytes = sizeof(data);
        DWORD type = REG_NONE;
        const LSTATUS status =
            ::RegEnumValueW(currentKey, index, name, &nameLength, nullptr, &type, data, &dataBytes);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS)
            break;
        if ((type == REG_DWORD && dataBytes == 4) || type == REG_SZ)
            ++count;
    }
    valueName composed;
    wchar_t text[260];
    for (unsigned int index = 0; index < count / 2; ++index) {
        DWORD number = 0;
        if (composeName(composed, numberFormat, L"dll", index) && readDword(composed, number) &&
            composeName(composed, mapStringFormat, L"dll", index) && readText(composed, text, 260))
            map[text] = number;
    }
    return 1;
}

int readWriteSettingsToRegistry::writeDllMap(const wchar_t* tracePath,
                                             const stubStringToUIntMap& map) {
    deleteMapStrings(L"dll", 100);
    deleteMapNumbers(L"dll", 100);
    // A failed entry's index goes to the next entry.
    unsigned int next = 0;
    valueName composed;
    for (POSITION position = map.GetStartPosition(); position != nullptr;) {
        stubString text;
        unsigned int number = 0;
        map.GetNextAssoc(position, text, number);
        // Written through the registry even when unbound, so each refusal reaches the trace.
        if (!composeName(composed, mapStringFormat, L"dll", next) ||
            setStringValue(tracePath, composed, text, static_cast<std::size_t>(text.GetLength()),
                           "set string value") != ERROR_SUCCESS)
            continue;
        if (composeName(composed, numberFormat, L"dll", next) &&
            setValue(tracePath, composed, REG_DWORD, &number, 4, "set dword value") ==
                ERROR_SUCCESS)
            ++next;
    }
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
