// The registry settings store against raw registry calls doing the same work on the same key, in
// the same run: 32-bit writes and reads, a number array written and read back, and emptying a
// tree of keys. Prints both times and their ratio; best of several alternating rounds.
#include "settings/readWriteSettingsToRegistry.h"

#include "containers/CVector.h"
#include "support/uniqueResource.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int scalarCount = 10000;
constexpr int arrayCount = 1000;
constexpr int rounds = 5;

LONGLONG counterNow() {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double secondsSince(LONGLONG start) {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counterNow() - start) / static_cast<double>(frequency.QuadPart);
}

double timed(const std::function<void()>& work) {
    const LONGLONG start = counterNow();
    work();
    return secondsSince(start);
}

struct comparison {
    const char* what;
    std::function<void()> prepare; // untimed, before each timed run
    std::function<void()> store;
    std::function<void()> raw;
};

void report(const comparison& c) {
    double store = 1e9, raw = 1e9;
    // Alternating which goes first, so neither always runs on a freshly cleared key.
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            c.prepare();
            if ((round + turn) % 2 == 0)
                store = std::min(store, timed(c.store));
            else
                raw = std::min(raw, timed(c.raw));
        }
    }
    std::printf("%-34s store %9.1f ms   raw %9.1f ms   ratio %.2f\n", c.what, store * 1000.0,
                raw * 1000.0, store / raw);
}

std::vector<std::wstring> numberedNames(const wchar_t* format, int count) {
    std::vector<std::wstring> names;
    wchar_t name[64];
    for (int index = 0; index < count; ++index) {
        _snwprintf_s(name, std::size(name), _TRUNCATE, format, index);
        names.emplace_back(name);
    }
    return names;
}

// 10 keys of 99 keys each below key\name: 1 000 keys, one value each.
void buildTree(HKEY key, const wchar_t* name) {
    uniqueHkey top;
    ::RegCreateKeyExW(key, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, top.put(), nullptr);
    const DWORD one = 1;
    for (const std::wstring& middleName : numberedNames(L"m%d", 10)) {
        uniqueHkey middle;
        ::RegCreateKeyExW(top.get(), middleName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          middle.put(), nullptr);
        ::RegSetValueExW(middle.get(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
        for (const std::wstring& leafName : numberedNames(L"l%d", 99)) {
            uniqueHkey leaf;
            ::RegCreateKeyExW(middle.get(), leafName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, leaf.put(), nullptr);
            ::RegSetValueExW(leaf.get(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                             4);
        }
    }
}

} // namespace

int wmain() {
    const std::wstring path =
        L"Software\\LogsmithBench\\registryStore-" + std::to_wstring(::GetCurrentProcessId());
    uniqueHkey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS)
        return 1;
    readWriteSettingsToRegistry settings;
    settings.attachKey(key.get());
    HKEY handle = key.get();
    const auto clearValues = [&] {
        readWriteSettingsToRegistry::deleteRegistryValues(&handle, nullptr, nullptr);
    };

    const std::vector<std::wstring> names = numberedNames(L"value%d", scalarCount);
    DWORD sink = 0;
    report({"10000 writeDword + readDword", clearValues,
            [&] {
                for (const std::wstring& name : names)
                    settings.writeDword(nullptr, name.c_str(), 7);
                for (const std::wstring& name : names)
                    settings.readDword(name.c_str(), sink);
            },
            [&] {
                const DWORD value = 7;
                for (const std::wstring& name : names)
                    ::RegSetValueExW(handle, name.c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&value), sizeof(value));
                for (const std::wstring& name : names) {
                    DWORD type = REG_NONE;
                    DWORD bytes = sizeof(sink);
                    ::RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&sink), &bytes);
                }
            }});

    // The store finds the elements by listing the key's names; the raw loop knows the count.
    CVector<unsigned> array, readBack;
    for (unsigned index = 0; index < arrayCount; ++index)
        array.Add(index);
    const std::vector<std::wstring> elementNames = numberedNames(L"[bench]I%u", arrayCount);
    report({"1000-element writeUIntArray + read", clearValues,
            [&] {
                settings.writeUIntArray(nullptr, array, L"bench");
                settings.readUIntArray(readBack, L"bench");
            },
            [&] {
                for (unsigned index = 0; index < arrayCount; ++index) {
                    const DWORD value = array.GetAt(index);
                    ::RegSetValueExW(handle, elementNames[index].c_str(), 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&value), sizeof(value));
                }
                for (const std::wstring& name : elementNames) {
                    DWORD bytes = sizeof(sink);
                    ::RegQueryValueExW(handle, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(&sink), &bytes);
                }
            }});

    report({"emptyRegistryKey of 1000 keys", [&] { buildTree(handle, L"tree"); },
            [&] { readWriteSettingsToRegistry::emptyRegistryKey(&handle, L"tree"); },
            [&] { ::RegDeleteTreeW(handle, L"tree"); }});

    settings.closeKeys();
    key.reset();
    ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    return 0;
}
