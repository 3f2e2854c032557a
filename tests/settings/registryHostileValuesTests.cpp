#include "tests/settings/registryTesting.h"

#include "containers/hashMap.h"
#include "settings/CPersistStubStringArray.h"
#include "support/tarnHeapTesting.h"

#include <cstring>
#include <random>

namespace {

// Names shaped like every collection family, with small, random and absurd indices.
std::wstring hostileName(std::mt19937& random) {
    const wchar_t* const prefixes[] = {L"[x]I",  L"[x]SS",  L"[dll]S", L"[dll]I",
                                       L"list_", L"fa_SA_", L"plain"};
    const wchar_t* const odd[] = {L"", L"-1", L"99999999999", L"NumItems", L"LEN"};
    const std::wstring index = random() % 2 == 0   ? std::to_wstring(random() % 8)
                               : random() % 2 == 0 ? std::to_wstring(random())
                                                   : odd[random() % std::size(odd)];
    return prefixes[random() % std::size(prefixes)] + index;
}

} // namespace

TEST_F(registryStore, hostileValuesNeverBreakAReadOrItsBuffer) {
    std::mt19937 random(20261208);
    const DWORD types[] = {REG_NONE,  REG_SZ,       REG_EXPAND_SZ, REG_BINARY,
                           REG_DWORD, REG_MULTI_SZ, REG_QWORD,     0x4711};
    std::set<std::wstring> names;
    std::vector<BYTE> data(600);
    for (int value = 0; value < 3000; ++value) {
        const std::wstring name = hostileName(random);
        for (BYTE& byte : data)
            byte = static_cast<BYTE>(random() % 4 == 0 ? 0 : random()); // some terminators
        ::RegSetValueExW(key.get(), name.c_str(), 0, types[random() % std::size(types)],
                         data.data(), random() % 601);
        names.insert(name);
    }

    for (const std::wstring& name : names) {
        const wchar_t* n = name.c_str();
        const std::string narrow(name.begin(), name.end());
        // A failed read keeps the default.
        std::int64_t number = 0x5A5A5A5A5A5A5A5A;
        DWORD dword = 0x5A5A5A5A, narrowDword = 0x5A5A5A5A;
        CString text = L"default";
        EXPECT_TRUE(settings.readInt64(n, number) || number == 0x5A5A5A5A5A5A5A5A) << name;
        EXPECT_TRUE(settings.readDword(n, dword) || dword == 0x5A5A5A5A) << name;
        EXPECT_TRUE(settings.readDwordA(narrow.c_str(), narrowDword) || narrowDword == 0x5A5A5A5A)
            << name;
        EXPECT_TRUE(settings.readCString(n, text) || text == L"default") << name;
        stubString wide, ansi;
        settings.readString(n, wide);
        settings.readStringA(narrow.c_str(), ansi);

        const int capacity = 1 + static_cast<int>(random() % 300);
        wchar_t buffer[320];
        char bytes[320];
        std::wmemset(buffer, L'#', 320);
        std::memset(bytes, '#', 320);
        settings.readText(n, buffer, capacity);
        settings.readTextA(narrow.c_str(), bytes, capacity);
        EXPECT_LT(std::wcslen(buffer), static_cast<std::size_t>(capacity)) << name;
        EXPECT_LT(strnlen(bytes, 320), static_cast<std::size_t>(capacity)) << name;
        EXPECT_EQ(L'#', buffer[capacity]);
        EXPECT_EQ('#', bytes[capacity]);
    }

    tarnHeapSeam seam;
    {
        CVector<unsigned> numbers;
        CPersistStubStringArray strings;
        stubStringToUIntMap dll(10);
        stubStringMap all(10);
        std::vector<CString> list;
        CStringArray framework;
        stubString listing;
        EXPECT_EQ(1, settings.readUIntArray(numbers, L"x"));
        EXPECT_LE(numbers.GetCount(), readWriteSettingsToRegistry::maxArrayIndex);
        EXPECT_EQ(1, settings.readStringArray(strings, L"x"));
        EXPECT_EQ(1, settings.readDllMap(dll));
        EXPECT_EQ(1, settings.collectNames(L"", all));
        EXPECT_LE(static_cast<std::size_t>(all.GetCount()), names.size());
        settings.readStringList(L"list", list);
        settings.readFrameworkStringArray(L"fa", framework);
        EXPECT_EQ(1, settings.listValueNames(listing));
    }
    EXPECT_EQ(0, seam.liveBlocks()) << "every block given back";
}
