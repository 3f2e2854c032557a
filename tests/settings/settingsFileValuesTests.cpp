#include "settings/readWriteSettingsToFile.h"

#include "support/stubString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <type_traits>

namespace {

constexpr std::uint64_t pattern = 0x0807060504030201;

std::string recordBytes(const readWriteSettingsToFile& store, const wchar_t* name) {
    const settingRecord* record = store.findRecord(name);
    return record == nullptr
               ? "<none>"
               : std::string(reinterpret_cast<const char*>(record->getValue()), record->getSize());
}

// Writes the pattern cut to the slot's width.
template <typename A>
std::function<int(readWriteSettings&)> writer(int (readWriteSettings::*slot)(const wchar_t*,
                                                                             const wchar_t*, A)) {
    return [slot](readWriteSettings& store) {
        std::remove_cvref_t<A> value;
        std::memcpy(&value, &pattern, sizeof(value));
        return (store.*slot)(nullptr, L"n", value);
    };
}

// Reads into a variable preset to 0xAA bytes; out gets its bytes.
template <typename T>
std::function<int(readWriteSettings&, std::uint64_t&)>
reader(int (readWriteSettings::*slot)(const wchar_t*, T&)) {
    return [slot](readWriteSettings& store, std::uint64_t& out) {
        T value;
        std::memset(&value, 0xAA, sizeof(value));
        const int result = (store.*slot)(L"n", value);
        out = 0;
        std::memcpy(&out, &value, sizeof(value));
        return result;
    };
}

using rws = readWriteSettings;
const struct {
    const char* name;
    DWORD width;
    std::function<int(readWriteSettings&)> write;
    std::function<int(readWriteSettings&, std::uint64_t&)> read;
} numberSlots[] = {
    {"Char", 1, writer(&rws::writeChar), reader(&rws::readChar)},
    {"UChar", 1, writer(&rws::writeUChar), reader(&rws::readUChar)},
    {"Word", 2, writer(&rws::writeWord), reader(&rws::readWord)},
    {"WideChar", 2, writer(&rws::writeWideChar), reader(&rws::readWideChar)},
    {"Dword", 4, writer(&rws::writeDword), reader(&rws::readDword)},
    {"UInt", 4, writer(&rws::writeUInt), reader(&rws::readUInt)},
    {"Int", 4, writer(&rws::writeInt), reader(&rws::readInt)},
    {"Int64", 8, writer(&rws::writeInt64), reader(&rws::readInt64)},
    {"UInt64", 8, writer(&rws::writeUInt64), reader(&rws::readUInt64)},
    {"Time", 8, writer(&rws::writeTime), reader(&rws::readTime)},
    {"Binary64", 8, writer(&rws::writeBinary64), reader(&rws::readBinary64)},
    {"Double", 8, writer(&rws::writeDouble), reader(&rws::readDouble)},
};

} // namespace

TEST(settingsFileValues, numbersReadBackOnlyInTheWidthTheyWereWrittenWith) {
    for (const auto& written : numberSlots) {
        readWriteSettingsToFile store;
        ASSERT_EQ(1, written.write(store)) << written.name;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&pattern), written.width),
                  recordBytes(store, L"n"))
            << written.name;
        EXPECT_EQ(static_cast<DWORD>(REG_DWORD), store.findRecord(L"n")->getType());
        for (const auto& slot : numberSlots) {
            std::uint64_t value = 0;
            const bool sameWidth = slot.width == written.width;
            const std::uint64_t mask = slot.width == 8 ? ~0ull : (1ull << (8 * slot.width)) - 1;
            EXPECT_EQ(sameWidth ? 1 : 0, slot.read(store, value)) << written.name << slot.name;
            // A failed read leaves the caller's default.
            EXPECT_EQ((sameWidth ? pattern : 0xAAAAAAAAAAAAAAAAull) & mask, value)
                << written.name << " read by " << slot.name;
        }
        ASSERT_EQ(1, store.writeCString(nullptr, L"n", CString(L"x")));
        std::uint64_t value = 0;
        EXPECT_EQ(0, written.read(store, value)) << "text read as " << written.name;
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
    const char odd[] = {'o', 0, 'k', 0, '!'}; // an odd last byte is no character
    ASSERT_NE(nullptr, store.setRecord(L"odd", REG_SZ, sizeof(odd), odd));
    EXPECT_EQ(0, store.writeText(nullptr, L"negative", L"abc", -1));
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
        {L"odd", std::string(odd, 5), L"ok"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(r.bytes, recordBytes(store, r.name)) << r.text;
        CString text = L"default";
        stubString stub;
        EXPECT_TRUE(store.readCString(r.name, text) && text == r.text) << r.text;
        EXPECT_TRUE(store.readString(r.name, stub) && stub == r.text) << r.text;
    }
    stubString stub;
    EXPECT_TRUE(store.readStringA("ansi", stub) && stub == L"yz");
    EXPECT_EQ(nullptr, store.findRecord(L"negative"));
    ASSERT_EQ(1, store.writeDword(nullptr, L"number", 1));
    CString text = L"default";
    EXPECT_EQ(0, store.readCString(L"number", text));
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
        std::wstring wide;  // readText: then untouched '#'
        std::string narrow; // readTextA: then untouched '#'
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
    EXPECT_EQ(std::string("\1\0\0\0", 4), recordBytes(store, L"list_NumItems"));
    EXPECT_NE(nullptr, store.findRecord(L"list_2"));
    std::vector<CString> list = {L"old"};
    ASSERT_EQ(1, store.readStringList(L"list", list));
    EXPECT_EQ(std::vector<CString>{L"first"}, list);

    ASSERT_EQ(1, store.writeDword(nullptr, L"list_NumItems", 3));
    ASSERT_EQ(1, store.removeRecord(L"list_0"));
    ASSERT_EQ(1, store.readStringList(L"list", list));
    EXPECT_EQ((std::vector<CString>{L"", L"three"}), list); // a missing index is skipped
    // A damaged count ends with the records the store holds, not after billions of lookups.
    ASSERT_EQ(1, store.writeDword(nullptr, L"list_NumItems", 0xFFFFFFFF));
    ASSERT_EQ(1, store.readStringList(L"list", list));
    EXPECT_EQ((std::vector<CString>{L"", L"three"}), list);
    ASSERT_EQ(1, store.readStringList(L"none", list));
    EXPECT_TRUE(list.empty());
}
