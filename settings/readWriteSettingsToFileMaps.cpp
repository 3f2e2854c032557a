// The dll map: "[dll]S%u" / "[dll]I%u" pairs of name and number, through the object's own scalar
// operations.
#include "settings/readWriteSettingsToFile.h"

#include "containers/hashMap.h"
#include "settings/readWriteSettingsToFileCollectionNames.h"
#include "support/stubString.h"

namespace {

// Entries of the dll map are removed over this many indices before the map is written.
constexpr unsigned int dllMapIndices = 1000;

} // namespace

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

int readWriteSettingsToFile::deleteMapStrings(const wchar_t* name, unsigned int count) {
    return removeComposed(L"S", name, count);
}

int readWriteSettingsToFile::deleteMapNumbers(const wchar_t* name, unsigned int count) {
    return removeComposed(L"I", name, count);
}
