#pragma once
// The two stores that settingsSaveLoop saves in turn. They differ in size and in every record,
// so a torn or mixed file can equal neither. Long texts make the write itself a good part of
// each save, where a kill does the most harm.
#include "settings/readWriteSettingsToFile.h"

#include <string>

inline void fillCrashStore(readWriteSettingsToFile& store, int which) {
    for (int i = 0; i < 1000; ++i) {
        const std::wstring name = L"value_" + std::to_wstring(i);
        if (which == 0)
            store.writeDword(nullptr, name.c_str(), static_cast<DWORD>(i));
        else
            store.writeInt64(nullptr, name.c_str(), -i);
    }
    const std::wstring text(which == 0 ? 60000 : 40000, which == 0 ? L'a' : L'b');
    for (int i = 0; i < (which == 0 ? 12 : 20); ++i)
        store.writeCString(nullptr, (L"text_" + std::to_wstring(i)).c_str(), CString(text.c_str()));
}
