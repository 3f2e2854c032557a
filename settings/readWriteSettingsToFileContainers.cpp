// Collections held in the library's containers: number arrays, string arrays and the dll map,
// stored element by element under "[%s]I%u" (numbers, and strings of string arrays) and the
// "[dll]S%u" / "[dll]I%u" pairs, through the object's own scalar operations.
#include "settings/readWriteSettingsToFile.h"

#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "settings/CPersistStubStringArray.h"
#include "settings/readWriteSettingsToFileNames.h"
#include "support/stubString.h"

namespace {

// Entries of the dll map are removed over this many indices before the map is written.
constexpr unsigned int dllMapIndices = 1000;

} // namespace

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

int readWriteSettingsToFile::readDllMap(stubStringToUIntMap& map) {
    map.RemoveAll();
    composedName keyName;
    composedName numberName;
    stubString key;
    unsigned int number = 0;
    for (unsigned int i = 0; composeCollectionName(keyName, L"dll", L"S", i) &&
                             composeCollectionName(numberName, L"dll", L"I", i) &&
                             readString(keyName, key) && readUInt(numberName, number);
         ++i)
        map.SetAt(key, number); // a repeated key takes the later number
    return 1;
}

int readWriteSettingsToFile::writeDllMap(const wchar_t* tracePath, const stubStringToUIntMap& map) {
    deleteMapStrings(L"dll", dllMapIndices);
    deleteMapNumbers(L"dll", dllMapIndices);
    composedName keyName;
    composedName numberName;
    stubString key;
    unsigned int number = 0;
    int result = 1;
    unsigned int index = 0;
    for (POSITION position = map.GetStartPosition(); position != nullptr; ++index) {
        map.GetNextAssoc(position, key, number);
        if (!composeCollectionName(keyName, L"dll", L"S", index) ||
            !composeCollectionName(numberName, L"dll", L"I", index)) {
            result = 0;
            continue;
        }
        const int keyWritten = writeString(tracePath, keyName, key);
        const int numberWritten = writeUInt(tracePath, numberName, number);
        if (!keyWritten || !numberWritten)
            result = 0;
    }
    return result;
}
