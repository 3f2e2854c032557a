// Names of the bracketed collection elements, and removing the records they name.
#include "settings/readWriteSettingsToFileCollectionNames.h"

#include "settings/readWriteSettingsToFile.h"

#include <string>

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

int readWriteSettingsToFile::removeComposed(const wchar_t* tag, const wchar_t* name,
                                            unsigned int count) {
    composedName composed;
    for (unsigned int i = 0; i < count; ++i)
        if (composeCollectionName(composed, name, tag, i))
            removeRecord(composed);
    return 1;
}

int readWriteSettingsToFile::deleteCollections(const wchar_t* name, unsigned int count) {
    composedName composed;
    for (unsigned int i = 0; i < count; ++i)
        for (const wchar_t* tag : {L"SS", L"S", L"I"})
            if (composeCollectionName(composed, name, tag, i))
                removeRecord(composed);
    return 1;
}
