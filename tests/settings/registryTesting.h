#pragma once
// A scratch key bound to a registry settings object, with raw access to check what was stored.
#include "settings/readWriteSettingsToRegistry.h"

#include "tests/testing/scratchRegistry.h"

#include <fstream>
#include <iterator>
#include <set>
#include <string>

class registryStore : public scratchRegistry {
public:
    static constexpr const wchar_t* storePath = L"Software\\Store";

protected:
    void SetUp() override {
        scratchRegistry::SetUp();
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, storePath, 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
        settings.attachKey(key.get());
    }
    void TearDown() override {
        settings.closeKeys();
        key.reset();
        scratchRegistry::TearDown();
    }

    void store(const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
        writeRawValue(HKEY_CURRENT_USER, storePath, name, type, data, bytes);
    }
    void storeText(const wchar_t* name, const std::wstring& text) {
        store(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void storeDword(const wchar_t* name, DWORD value) { store(name, REG_DWORD, &value, 4); }
    rawRegistryValue raw(const wchar_t* name) {
        return readRawValue(HKEY_CURRENT_USER, storePath, name);
    }
    bool has(const wchar_t* name) { return raw(name).status == ERROR_SUCCESS; }

    // Every value name of a key below HKEY_CURRENT_USER, however long.
    static std::set<std::wstring> valueNamesOf(const std::wstring& path) {
        std::set<std::wstring> names;
        uniqueHkey key;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put());
        std::wstring name(16384, L'\0');
        DWORD length = static_cast<DWORD>(name.size());
        for (DWORD i = 0; ::RegEnumValueW(key.get(), i, name.data(), &length, nullptr, nullptr,
                                          nullptr, nullptr) == ERROR_SUCCESS;
             ++i, length = static_cast<DWORD>(name.size()))
            names.insert(name.substr(0, length));
        return names;
    }

    uniqueHkey key;
    readWriteSettingsToRegistry settings;
};

// The trace file's bytes; wide and 8-bit records may share one file.
inline std::string readTraceFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Position of an ASCII text in the trace, written either as 8-bit or as UTF-16 text.
inline std::size_t findInTrace(const std::string& trace, const std::string& text) {
    std::string wide;
    for (char c : text)
        wide += {c, '\0'};
    const std::size_t narrow = trace.find(text);
    return narrow != std::string::npos ? narrow : trace.find(wide);
}
