#include "settings/readWriteSettingsToFile.h"

#include "support/stubString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

std::string recordBytes(const readWriteSettingsToFile& store, const wchar_t* name) {
    const settingRecord* record = store.findRecord(name);
    if (record == nullptr)
        return "<none>";
    return std::string(reinterpret_cast<const char*>(record->getValue()), record->getSize());
}

struct numberSlot {
    const char* name;
    DWORD width;
    std::function<int(readWriteSettings&)> write;
    std::function<int(readWriteSettings&, std::uint64_t&)> read; // fills the low bytes
};

template <typename T>
std::function<int(readWriteSettings&, std::uint64_t&)>
reader(int (readWriteSettings::*slot)(const wchar_t*, T&)) {
    return [slot](readWriteSettings& store, std::uint64_t& out) {
        T value{};
        std::memset(&value, 0xAA, sizeof(value));
        const int result = (store.*slot)(L"n", value);
        out = 0;
        std::memcpy(&out, &value, sizeof(value));
        return result;
    };
}

// Every number slot writes 0x0807060504030201 cut to its width.
const numberSlot numberSlots[] = {
    {"Char", 1, [](readWriteSettings& s) { return s.writeChar(nullptr, L"n", 0x01); },
     reader(&readWriteSettings::readChar)},
    {"UChar", 1, [](readWriteSettings& s) { return s.writeUChar(nullptr, L"n", 0x01); },
     reader(&readWriteSettings::readUChar)},
    {"Word", 2, [](readWriteSettings& s) { return s.writeWord(nullptr, L"n", 0x0201); },
     reader(&readWriteSettings::readWord)},
    {"WideChar", 2, [](readWriteSettings& s) { return s.writeWideChar(nullptr, L"n", 0x0201); },
     reader(&readWriteSettings::readWideChar)},
    {"Dword", 4, [](readWriteSettings& s) { return s.writeDword(nullptr, L"n", 0x04030201); },
     reader(&readWriteSettings::readDword)},
    {"UInt", 4, [](readWriteSettings& s) { return s.writeUInt(nullptr, L"n", 0x04030201); },
     reader(&readWriteSettings::readUInt)},
    {"Int", 4, [](readWriteSettings& s) { return s.writeInt(nullptr, L"n", 0x04030201); },
     reader(&readWriteSettings::readInt)},
    {"Int64", 8,
     [](readWriteSettings& s) { return s.writeInt64(nullptr, L"n", 0x0807060504030201); },
     reader(&readWriteSettings::readInt64)},
    {"UInt64", 8,
     [](readWriteSettings& s) { return s.writeUInt64(nullptr, L"n", 0x0807060504030201); },
     reader(&readWriteSettings::readUInt64)},
    {"Time", 8, [](readWriteSettings& s) { return s.writeTime(nullptr, L"n", 0x0807060504030201); },
     reader(&readWriteSettings::readTime)},
    {"Binary64", 8,
     [](readWriteSettings& s) {
         ULARGE_INTEGER value{};
         value.QuadPart = 0x0807060504030201;
         return s.writeBinary64(nullptr, L"n", value);
     },
     reader(&readWriteSettings::readBinary64)},
    {"Double", 8,
     [](readWriteSettings& s) {
         double value = 0;
         const std::uint64_t bits = 0x0807060504030201;
         std::memcpy(&value, &bits, sizeof(value));
         return s.writeDouble(nullptr, L"n", value);
     },
     reader(&readWriteSettings::readDouble)},
};

} // namespace

TEST(settingsFileValues, numbersReadBackOnlyInTheWidthTheyWereWrittenWith) {
    const std::uint64_t pattern = 0x0807060504030201;
    for (const numberSlot& writer : numberSlots) {
        readWriteSettingsToFile store;
        ASSERT_EQ(1, writer.write(store)) << writer.name;
        const settingRecord* record = store.findRecord(L"n");
        ASSERT_NE(nullptr, record);
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), record->getType()) << writer.name;
        EXPECT_EQ(writer.width, record->getSize()) << writer.name;
        for (const numberSlot& slot : numberSlots) {
            std::uint64_t value = 0;
            const bool sameWidth = slot.width == writer.width;
            EXPECT_EQ(sameWidth ? 1 : 0, slot.read(store, value)) << writer.name << slot.name;
            const std::uint64_t mask = slot.width == 8 ? ~0ull : (1ull << (8 * slot.width)) - 1;
            // A failed read leaves the caller's default.
            EXPECT_EQ(sameWidth ? pattern & mask : 0xAAAAAAAAAAAAAAAAull & mask, value)
                << writer.name << " read by " << slot.name;
        }
        ASSERT_EQ(1, store.writeCString(nullptr, L"n", CString(L"x")));
        std::uint64_t value = 0;
        EXPECT_EQ(0, writer.read(store, value)) << "text read as " << writer.name;
    }
}

TEST(settingsFileValues, textRecordsHoldTheirTerminator) {
    readWriteSettingsToFile store;
    ASSERT_EQ(1, store.writeCString(nullptr, L"empty", CString(L"")));
    ASSERT_EQ(1, store.writeString(nullptr, L"stub", stubString(L"hi")));
    ASSERT_EQ(1, store.writeText(nullptr, L"three", L"abc", 3));
    ASSERT_EQ(1, store.writeText(nullptr, L"two", L"abc", 2));
    ASSERT_EQ(1, store.writeTextA(nullptr, "narrow\xE9", "x\xE9"));
    ASSERT_EQ(1, store.writeStringA(nullptr, "ansi", stubString(L"yz")));
    EXPECT_EQ(0, store.writeText(nullptr, L"negative", L"abc", -1));
    EXPECT_EQ(0, store.writeText(nullptr, L"null", nullptr, 0));
    EXPECT_EQ(0, store.writeTextA(nullptr, "null", nullptr));

    const struct {
        const wchar_t* name;
        std::string bytes;
        const wchar_t* text;
    } rows[] = {
        {L"empty", std::string(2, '\0'), L""},
        {L"stub", std::string("h\0i\0\0\0", 6), L"hi"},
        {L"three", std::string("a\0b\0c\0\0\0", 8), L"abc"},
        {L"two", std::string("a\0b\0c\0", 6), L"abc"}, // no terminator: read to the end
        {L"narrow\x00E9", std::string("x\0\xE9\0\0\0", 6), L"x\x00E9"},
        {L"ansi", std::string("y\0z\0\0\0", 6), L"yz"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.bytes, recordBytes(store, r.name)) << r.text;
        CString text = L"default";
        EXPECT_EQ(1, store.readCString(r.name, text));
        EXPECT_EQ(std::wstring(r.text), text.str());
        stubString stub;
        EXPECT_EQ(1, store.readString(r.name, stub));
        EXPECT_TRUE(stub == r.text);
    }
    stubString stub;
    EXPECT_EQ(1, store.readStringA("ansi", stub));
    EXPECT_TRUE(stub == L"yz");
    EXPECT_EQ(nullptr, store.findRecord(L"negative"));

    // An odd last byte is no character; the text stops at the record's end.
    const char odd[] = {'o', 0, 'k', 0, '!'};
    ASSERT_NE(nullptr, store.setRecord(L"odd", REG_SZ, sizeof(odd), odd));
    CString text;
    ASSERT_EQ(1, store.readCString(L"odd", text));
    EXPECT_EQ(L"ok", text.str());
    ASSERT_EQ(1, store.writeDword(nullptr, L"number", 1));
    text = L"default";
    EXPECT_EQ(0, store.readCString(L"number", text));
    EXPECT_EQ(0, store.readCString(L"missing", text));
    EXPECT_EQ(L"default", text.str());
}

TEST(settingsFileValues, callerBuffersAreFilledWithinTheirCapacity) {
    readWriteSettingsToFile store;
    ASSERT_EQ(1, store.writeText(nullptr, L"abc", L"abc", 3));
    ASSERT_EQ(1, store.writeText(nullptr, L"cut", L"abcd", 2)); // "abc" without a terminator
    ASSERT_EQ(1, store.writeDword(nullptr, L"number", 1));
    const struct {
        const wchar_t* name;
        int capacity;
        int result;
        std::wstring wide;  // readText: capacity characters, then untouched '#'
        std::string narrow; // readTextA: capacity bytes, then untouched '#'
    } rows[] = {
        {L"abc", 2, 1, std::wstring(L"ab##", 4), std::string("a\0##", 4)},
        {L"abc", 5, 1, std::wstring(L"abc\0\0#", 6), std::string("abc\0##", 6)},
        {L"abc", 0, 1, L"####", "####"},
        {L"cut", 5, 1, std::wstring(L"abc\0\0", 5), std::string("abc\0#", 5)},
        {L"number", 5, 0, L"######", "######"},
        {L"missing", 5, 0, L"######", "######"},
    };
    for (const auto& r : rows) {
        wchar_t wide[8];
        std::wmemset(wide, L'#', 8);
        EXPECT_EQ(r.result, store.readText(r.name, wide, r.capacity)) << r.name << r.capacity;
        EXPECT_EQ(r.wide, std::wstring(wide, r.wide.size())) << r.name << r.capacity;
        char narrow[8];
        std::memset(narrow, '#', 8);
        const std::string name(r.name, r.name + std::wcslen(r.name));
        EXPECT_EQ(r.result, store.readTextA(name.c_str(), narrow, r.capacity)) << name;
        EXPECT_EQ(r.narrow, std::string(narrow, r.narrow.size())) << name << r.capacity;
    }
}

TEST(settingsFileValues, stringListsKeepStaleElementsAndEmptyOnes) {
    readWriteSettingsToFile store;
    ASSERT_EQ(1, store.writeStringList(nullptr, L"list", {L"one", L"", L"three"}));
    ASSERT_EQ(1, store.writeStringList(nullptr, L"list", {L"first"}));
    DWORD count = 0;
    ASSERT_EQ(1, store.readDword(L"list_NumItems", count));
    EXPECT_EQ(1u, count);
    EXPECT_NE(nullptr, store.findRecord(L"list_2"));
    std::vector<CString> list = {L"old"};
    ASSERT_EQ(1, store.readStringList(L"list", list));
    ASSERT_EQ(1u, list.size());
    EXPECT_EQ(L"first", list[0].str());

    ASSERT_EQ(1, store.writeDword(nullptr, L"list_NumItems", 3));
    ASSERT_EQ(1, store.removeRecord(L"list_0"));
    ASSERT_EQ(1, store.readStringList(L"list", list));
    ASSERT_EQ(2u, list.size()); // the missing index is skipped, the empty one kept
    EXPECT_EQ(L"", list[0].str());
    EXPECT_EQ(L"three", list[1].str());
    ASSERT_EQ(1, store.readStringList(L"none", list));
    EXPECT_TRUE(list.empty());
}
