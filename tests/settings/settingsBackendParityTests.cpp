// One scenario through a readWriteSettings& on both backends, read back through the same
// reference.
#include "settings/readWriteSettingsToFile.h"
#include "settings/readWriteSettingsToRegistry.h"

#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "settings/CPersistStubStringArray.h"
#include "support/stubString.h"

#include "tests/testing/scratchRegistry.h"

#include <map>
#include <set>

namespace {

struct scenario {
    short word = 0;
    wchar_t wide = 0;
    char narrow = 0;
    unsigned char byte = 0;
    int number = 0;
    unsigned int unsignedNumber = 0;
    DWORD dword = 0;
    std::int64_t big = 0;
    std::uint64_t unsignedBig = 0;
    time_t time = 0;
    double real = 0;
    ULARGE_INTEGER opaque{};
    CString text;
    stubString stub;
    wchar_t buffer[8] = {};
    std::vector<CString> list;
    std::vector<unsigned int> numbers;
    std::vector<std::wstring> strings; // in the order read
    std::map<std::wstring, unsigned int> dlls;
};

void writeScenario(readWriteSettings& s) {
    ULARGE_INTEGER opaque{};
    opaque.QuadPart = 0x1122334455667788;
    const wchar_t* trace = nullptr;
    ASSERT_TRUE(s.writeWord(trace, L"word", -2) && s.writeWideChar(trace, L"wide", L'\x263A') &&
                s.writeChar(trace, L"char", -3) && s.writeUChar(trace, L"uchar", 250) &&
                s.writeInt(trace, L"int", -4) && s.writeUInt(trace, L"uint", 4000000000u) &&
                s.writeDword(trace, L"dword", 7) && s.writeInt64(trace, L"int64", -5) &&
                s.writeUInt64(trace, L"uint64", ~0ull) && s.writeTime(trace, L"time", 1700000000) &&
                s.writeDouble(trace, L"double", -1.5) &&
                s.writeBinary64(trace, L"binary", opaque) &&
                s.writeCString(trace, L"cstring", CString(L"text")) &&
                s.writeString(trace, L"string", stubString(L"stub")) &&
                s.writeText(trace, L"buffer", L"abc", 3));
    ASSERT_EQ(1, s.writeStringList(trace, L"list", {L"a", L"", L"c"}));
    CVector<unsigned int> numbers;
    for (unsigned int v : {3u, 1u, 2u})
        numbers.Add(v);
    ASSERT_EQ(1, s.writeUIntArray(trace, numbers, L"numbers"));
    CPersistStubStringArray strings;
    for (const wchar_t* text : {L"zeta", L"alpha", L"mid"})
        strings.AddString(text);
    ASSERT_EQ(1, s.writeStringArray(trace, strings, L"strings"));
    stubStringToUIntMap dlls(10);
    dlls.SetAt(L"one.dll", 1);
    dlls.SetAt(L"two.dll", 2);
    ASSERT_EQ(1, s.writeDllMap(trace, dlls));
}

scenario readScenario(readWriteSettings& s) {
    scenario r;
    EXPECT_TRUE(s.readWord(L"word", r.word) && s.readWideChar(L"wide", r.wide) &&
                s.readChar(L"char", r.narrow) && s.readUChar(L"uchar", r.byte) &&
                s.readInt(L"int", r.number) && s.readUInt(L"uint", r.unsignedNumber) &&
                s.readDword(L"dword", r.dword) && s.readInt64(L"int64", r.big) &&
                s.readUInt64(L"uint64", r.unsignedBig) && s.readTime(L"time", r.time) &&
                s.readDouble(L"double", r.real) && s.readBinary64(L"binary", r.opaque) &&
                s.readCString(L"cstring", r.text) && s.readString(L"string", r.stub) &&
                s.readText(L"buffer", r.buffer, 8) && s.readStringList(L"list", r.list));
    CVector<unsigned int> numbers;
    EXPECT_EQ(1, s.readUIntArray(numbers, L"numbers"));
    for (unsigned i = 0; i < numbers.GetCount(); ++i)
        r.numbers.push_back(numbers.GetAt(i));
    CPersistStubStringArray strings;
    EXPECT_EQ(1, s.readStringArray(strings, L"strings"));
    for (unsigned i = 0; i < strings.GetCount(); ++i)
        r.strings.emplace_back(static_cast<const wchar_t*>(*strings.GetAt(i)));
    stubStringToUIntMap dlls(10);
    EXPECT_EQ(1, s.readDllMap(dlls));
    stubString key;
    unsigned int value = 0;
    for (POSITION position = dlls.GetStartPosition(); position != nullptr;) {
        dlls.GetNextAssoc(position, key, value);
        r.dlls[static_cast<const wchar_t*>(key)] = value;
    }
    return r;
}

class settingsBackendParity : public scratchRegistry {};

} // namespace

TEST_F(settingsBackendParity, bothBackendsGiveBackTheSameValuesExceptWhereDocumented) {
    readWriteSettingsToFile file;
    readWriteSettingsToRegistry registry;
    uniqueHkey key;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Parity", 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
    registry.attachKey(key.get());
    writeScenario(file);
    writeScenario(registry);
    const scenario f = readScenario(file);
    const scenario r = readScenario(registry);

    EXPECT_TRUE(f.word == -2 && f.wide == L'\x263A' && f.narrow == -3 && f.byte == 250 &&
                f.number == -4 && f.unsignedNumber == 4000000000u && f.dword == 7 && f.big == -5 &&
                f.unsignedBig == ~0ull && f.time == 1700000000 && f.real == -1.5 &&
                f.opaque.QuadPart == 0x1122334455667788);
    EXPECT_TRUE(f.word == r.word && f.wide == r.wide && f.narrow == r.narrow && f.byte == r.byte &&
                f.number == r.number && f.unsignedNumber == r.unsignedNumber &&
                f.dword == r.dword && f.big == r.big && f.unsignedBig == r.unsignedBig &&
                f.time == r.time && f.real == r.real && f.opaque.QuadPart == r.opaque.QuadPart);
    EXPECT_TRUE(f.text == L"text" && r.text == L"text" && f.stub == L"stub" && r.stub == L"stub");
    EXPECT_STREQ(L"abc", f.buffer);
    EXPECT_STREQ(L"abc", r.buffer);
    EXPECT_EQ((std::vector<unsigned int>{3, 1, 2}), f.numbers);
    EXPECT_EQ(f.numbers, r.numbers);
    const std::map<std::wstring, unsigned int> dlls = {{L"one.dll", 1}, {L"two.dll", 2}};
    EXPECT_EQ(dlls, f.dlls);
    EXPECT_EQ(dlls, r.dlls);

    // Documented differences: the registry's list read drops empty elements, and its string
    // array comes back in the order of its name map, the file's in index order.
    EXPECT_EQ((std::vector<CString>{L"a", L"", L"c"}), f.list);
    EXPECT_EQ((std::vector<CString>{L"a", L"c"}), r.list);
    EXPECT_EQ((std::vector<std::wstring>{L"zeta", L"alpha", L"mid"}), f.strings);
    EXPECT_EQ(std::set<std::wstring>(f.strings.begin(), f.strings.end()),
              std::set<std::wstring>(r.strings.begin(), r.strings.end()));

    // The file store exported into a key reads back through the registry backend, but for the
    // string array, which the file keeps under the number array's names.
    uniqueHkey exportKey;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Exported", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, exportKey.put(), nullptr));
    ASSERT_EQ(1, file.exportToRegistry(exportKey.get()));
    readWriteSettingsToRegistry exported;
    exported.attachKey(exportKey.get());
    const scenario e = readScenario(exported);
    EXPECT_TRUE(e.word == f.word && e.wide == f.wide && e.big == f.big && e.real == f.real &&
                e.opaque.QuadPart == f.opaque.QuadPart && e.text == L"text");
    EXPECT_EQ(r.list, e.list);
    EXPECT_EQ(f.numbers, e.numbers);
    EXPECT_EQ(dlls, e.dlls);
    EXPECT_TRUE(e.strings.empty());
    exported.closeKeys();
    registry.closeKeys();
}

TEST_F(settingsBackendParity, listsKeepTheirStoredElementsWhenLowerOnesAreMissing) {
    const struct {
        DWORD count;
        std::map<std::wstring, std::wstring> stored;
        std::vector<CString> expected;
    } rows[] = {
        {3, {{L"x_2", L"c"}}, {L"c"}},
        {12,
         {{L"x_10", L"ten"}, {L"x_2", L"two"}, {L"x_11", L"eleven"}},
         {L"two", L"ten", L"eleven"}},
        {0xFFFFFFFF, {{L"x_0", L"a"}, {L"x_5", L"b"}}, {L"a", L"b"}}, // a hostile count
        {2,
         {{L"x_0", L"a"}, {L"x_2", L"beyond"}, {L"x_01", L"padded"}, {L"x_-1", L"signed"}},
         {L"a"}},
    };
    for (const auto& r : rows) {
        readWriteSettingsToRegistry registry;
        uniqueHkey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Gaps", 0, nullptr,
                                                   0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr));
        registry.attachKey(key.get());
        readWriteSettingsToFile file;
        for (readWriteSettings* s :
             {static_cast<readWriteSettings*>(&registry), static_cast<readWriteSettings*>(&file)}) {
            ASSERT_EQ(1, s->writeDword(nullptr, L"x_NumItems", r.count));
            for (const auto& [name, text] : r.stored)
                ASSERT_EQ(1, s->writeCString(nullptr, name.c_str(), CString(text.c_str())));
            std::vector<CString> list{L"stale"};
            s->readStringList(L"x", list);
            EXPECT_EQ(r.expected, list) << r.count;
        }
        CStringArray array;
        ASSERT_EQ(1, registry.writeInt64(nullptr, L"x_SA_LEN", r.count));
        for (const auto& [name, text] : r.stored)
            registry.writeCString(nullptr, (L"x_SA_" + name.substr(2)).c_str(),
                                  CString(text.c_str()));
        EXPECT_EQ(0, registry.readFrameworkStringArray(L"x", array));
        std::vector<CString> elements;
        for (int i = 0; i < array.GetSize(); ++i)
            elements.push_back(array[i]);
        EXPECT_EQ(r.expected, elements) << r.count;
        registry.attachKey(nullptr);
        key.reset();
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Gaps");
    }
}
