#pragma once
// A scratch key bound to a registry settings object, with raw access to check what was stored.
#include "settings/readWriteSettingsToRegistry.h"

#include "tests/testing/scratchRegistry.h"

#include <fstream>
#include <iterator>
#include <string>

class registryStore : public scratchRegistry {
protected:
    static constexpr const wchar_t* storePath = L"Software\\Store";

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
    void storeDword(const wchar_t* name, DWORD value) {
        store(name, REG_DWORD, &value, sizeof(value));
    }
    rawRegistryValue raw(const wchar_t* name) {
        return readRawValue(HKEY_CURRENT_USER, storePath, name);
    }
    bool has(const wchar_t* name) { return raw(name).status == ERROR_SUCCESS; }

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
    const std::size_t narrow = trace.find(text);
    if (narrow != std::string::npos)
        return narrow;
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return trace.find(wide);
}
